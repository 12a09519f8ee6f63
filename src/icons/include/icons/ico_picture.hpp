// Reading a Windows icon file and re-encoding its largest picture as PNG, for
// window systems whose Tk takes photo images but no .ico files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace icons {

using Bytes = std::vector<std::uint8_t>;

// Top-down rows of RGBA pixels.
struct Picture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    Bytes rgba;
};

// The largest picture of an .ico file: a PNG entry as it is stored, a DIB
// entry converted to PNG. Nothing when the bytes are not a readable icon.
std::optional<Bytes> largest_picture_png(const Bytes& ico);

// One DIB icon entry (header, optional palette, colour rows, AND mask).
std::optional<Picture> decode_dib(const std::uint8_t* data, std::size_t size);

Bytes encode_png(const Picture& picture);

std::string base64_text(const Bytes& bytes);

}  // namespace icons
