// Unit tests of the pure platform rules (both layers, on any machine) and of
// the icon reader that shows .ico files where Tk cannot.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "checks.hpp"
#include "icons/ico_picture.hpp"
#include "platform/file_view.hpp"
#include "platform/rules.hpp"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using checks::check;

void check_text(const std::optional<std::string>& got, const std::string& want, const char* what) {
    if (!got || *got != want) {
        std::printf("FAILED: %s\n  want: %s\n  got:  %s\n", what, want.c_str(),
                    got ? got->c_str() : "(nothing)");
        checks::failed();
    }
}

platform::EnvironmentLookup environment(std::map<std::string, std::string> values) {
    return [values](const char* name) -> std::optional<std::string> {
        auto found = values.find(name);
        if (found == values.end()) return std::nullopt;
        return found->second;
    };
}

using platform::Layer;

void windows_folder_is_temp_with_the_name_appended() {
    check_text(platform::program_temp_path(Layer::windows,
                                           environment({{"Temp", "C:\\Users\\ann\\Temp"}}), 7),
               "C:\\Users\\ann\\Temp\\Quenzariv2.2", "Windows folder");
    check_text(platform::program_temp_path(Layer::windows, environment({{"Temp", "D:\\t\\"}}), 7),
               "D:\\t\\\\Quenzariv2.2", "a trailing backslash is kept: plain concatenation");
    check_text(platform::program_temp_path(Layer::windows, environment({{"Temp", ""}}), 7),
               "\\Quenzariv2.2", "an empty Temp is still a value");
    check(!platform::program_temp_path(Layer::windows, environment({{"TMP", "C:\\x"}}), 7),
          "Windows without Temp has no folder");
    check_text(platform::program_temp_path(
                   Layer::windows, environment({{"Temp", "C:\\T"}, {"XDG_RUNTIME_DIR", "/r"}}), 7),
               "C:\\T\\Quenzariv2.2", "Windows ignores the POSIX variables");
}

void posix_folder_prefers_the_runtime_directory() {
    check_text(platform::program_temp_path(Layer::posix,
                                           environment({{"XDG_RUNTIME_DIR", "/run/user/1000"},
                                                        {"TMPDIR", "/var/tmp"},
                                                        {"Temp", "C:\\T"}}),
                                           1000),
               "/run/user/1000/Quenzariv2.2", "runtime directory wins");
    check_text(
        platform::program_temp_path(
            Layer::posix, environment({{"XDG_RUNTIME_DIR", ""}, {"TMPDIR", "/var/tmp"}}), 1000),
        "/var/tmp/Quenzariv2.2-1000", "an empty runtime directory counts as unset");
    check_text(platform::program_temp_path(Layer::posix, environment({{"TMPDIR", "/scratch"}}), 42),
               "/scratch/Quenzariv2.2-42", "TMPDIR with the user id");
    check_text(platform::program_temp_path(Layer::posix, environment({{"TMPDIR", ""}}), 42),
               "/tmp/Quenzariv2.2-42", "an empty TMPDIR falls back to /tmp");
    check_text(platform::program_temp_path(Layer::posix, environment({}), 0), "/tmp/Quenzariv2.2-0",
               "nothing set: /tmp");
}

void icon_paths_join_by_concatenation() {
    std::string folder =
        *platform::program_temp_path(Layer::windows, environment({{"Temp", "C:\\Temp"}}), 0);
    check_text(folder + platform::icon_file_suffix(Layer::windows, "3"),
               "C:\\Temp\\Quenzariv2.2\\3.ico", "Windows icon path");
    check_text(platform::icon_file_suffix(Layer::posix, "12"), "/12.ico", "POSIX icon file name");
    check_text(platform::icon_file_suffix(Layer::windows, "(1, 2)"), "\\(1, 2).ico",
               "the number text is used as it is");
}

void folders_open_to_others_are_refused() {
    using platform::FolderStatus;
    check(platform::unsafe_folder_reason(FolderStatus{false, true, 5, 0700}, 5) == nullptr,
          "a private directory of ours is fine");
    check(platform::unsafe_folder_reason(FolderStatus{false, true, 5, 0500}, 5) == nullptr,
          "fewer rights for ourselves are our own business");
    check(platform::unsafe_folder_reason(FolderStatus{true, false, 5, 0700}, 5) != nullptr,
          "a link is refused");
    check(platform::unsafe_folder_reason(FolderStatus{false, false, 5, 0600}, 5) != nullptr,
          "a file is refused");
    check(platform::unsafe_folder_reason(FolderStatus{false, true, 6, 0700}, 5) != nullptr,
          "another user's folder is refused");
    for (unsigned long bit : {0040ul, 0020ul, 0010ul, 0004ul, 0002ul, 0001ul})
        check(
            platform::unsafe_folder_reason(FolderStatus{false, true, 5, 0700 | bit}, 5) != nullptr,
            "any right for group or others is refused");
}

// ---- icon reading -------------------------------------------------------

using icons::Bytes;

void put16(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(Bytes& out, unsigned long value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

Bytes info_header(int width, int height, unsigned bits, unsigned long colours_used = 0) {
    Bytes out;
    put32(out, 40);
    put32(out, static_cast<unsigned long>(width));
    put32(out, static_cast<unsigned long>(height) * 2);
    put16(out, 1);
    put16(out, bits);
    for (int i = 0; i < 3; ++i) put32(out, 0);  // compression, image size, x resolution
    put32(out, 0);                              // y resolution
    put32(out, colours_used);
    put32(out, 0);
    return out;
}

Bytes ico_of(const std::vector<std::pair<int, Bytes>>& entries) {
    Bytes out;
    put16(out, 0);
    put16(out, 1);
    put16(out, static_cast<unsigned>(entries.size()));
    unsigned long offset = 6 + 16 * entries.size();
    for (const auto& [side, data] : entries) {
        out.push_back(static_cast<std::uint8_t>(side % 256));
        out.push_back(static_cast<std::uint8_t>(side % 256));
        out.push_back(0);
        out.push_back(0);
        put16(out, 1);
        put16(out, 32);
        put32(out, data.size());
        put32(out, offset);
        offset += data.size();
    }
    for (const auto& entry : entries)
        out.insert(out.end(), entry.second.begin(), entry.second.end());
    return out;
}

// A 2 x 2 picture, bottom row first in the file: the top row is red (opaque)
// and half-transparent green, the bottom row blue and fully transparent.
Bytes dib_32bit(bool with_mask = true) {
    Bytes out = info_header(2, 2, 32);
    const std::uint8_t bottom[] = {255, 0, 0, 255, 9, 9, 9, 0};
    const std::uint8_t top[] = {0, 0, 255, 255, 0, 255, 0, 128};
    out.insert(out.end(), bottom, bottom + 8);
    out.insert(out.end(), top, top + 8);
    if (with_mask) {
        for (int row = 0; row < 2; ++row) put32(out, 0);
    }
    return out;
}

bool pixel_is(const icons::Picture& p, unsigned x, unsigned y, std::uint8_t r, std::uint8_t g,
              std::uint8_t b, std::uint8_t a) {
    const std::uint8_t* px = p.rgba.data() + (y * p.width + x) * 4;
    return px[0] == r && px[1] == g && px[2] == b && px[3] == a;
}

void dib_pictures_are_decoded_top_down() {
    Bytes dib = dib_32bit();
    auto picture = icons::decode_dib(dib.data(), dib.size());
    check(picture && picture->width == 2 && picture->height == 2, "32-bit DIB size");
    if (!picture) return;
    check(pixel_is(*picture, 0, 0, 255, 0, 0, 255), "32-bit top left is opaque red");
    check(pixel_is(*picture, 1, 0, 0, 255, 0, 128), "32-bit alpha is kept");
    check(pixel_is(*picture, 0, 1, 0, 0, 255, 255),
          "32-bit bottom row comes from the file's first");
    check(pixel_is(*picture, 1, 1, 9, 9, 9, 0), "32-bit transparent pixel");

    Bytes no_mask = dib_32bit(false);
    check(bool(icons::decode_dib(no_mask.data(), no_mask.size())),
          "a 32-bit picture may come without its mask");
}

void pictures_without_alpha_use_the_mask() {
    // 1-bit, 3 x 2, palette black and white: top row W B W, bottom row B W B;
    // the mask hides the middle of the top row.
    Bytes dib = info_header(3, 2, 1);
    put32(dib, 0x000000);
    put32(dib, 0xffffff);
    const std::uint8_t rows[] = {0x40, 0, 0, 0, 0xa0, 0, 0, 0};  // bottom row first
    const std::uint8_t mask[] = {0x00, 0, 0, 0, 0x40, 0, 0, 0};
    dib.insert(dib.end(), rows, rows + 8);
    dib.insert(dib.end(), mask, mask + 8);
    auto picture = icons::decode_dib(dib.data(), dib.size());
    check(bool(picture), "1-bit DIB decodes");
    if (picture) {
        check(pixel_is(*picture, 0, 0, 255, 255, 255, 255) &&
                  pixel_is(*picture, 1, 0, 0, 0, 0, 0) &&
                  pixel_is(*picture, 2, 0, 255, 255, 255, 255),
              "1-bit top row with its mask");
        check(
            pixel_is(*picture, 0, 1, 0, 0, 0, 255) && pixel_is(*picture, 1, 1, 255, 255, 255, 255),
            "1-bit bottom row");
    }

    // 24-bit, 1 x 1, masked out; and 32-bit with every alpha zero, which
    // old icons use together with a mask.
    Bytes rgb = info_header(1, 1, 24);
    const std::uint8_t rgb_rest[] = {10, 20, 30, 0, 0x80, 0, 0, 0};
    rgb.insert(rgb.end(), rgb_rest, rgb_rest + 8);
    auto masked = icons::decode_dib(rgb.data(), rgb.size());
    check(masked && pixel_is(*masked, 0, 0, 30, 20, 10, 0), "24-bit pixel hidden by the mask");

    Bytes flat = info_header(1, 1, 32);
    const std::uint8_t flat_rest[] = {10, 20, 30, 0, 0x00, 0, 0, 0};
    flat.insert(flat.end(), flat_rest, flat_rest + 8);
    auto opaque = icons::decode_dib(flat.data(), flat.size());
    check(opaque && pixel_is(*opaque, 0, 0, 30, 20, 10, 255),
          "32-bit without alpha values takes the mask");

    // 4-bit and 8-bit palettes: the high nibble is the left pixel.
    Bytes nibbles = info_header(2, 1, 4, 3);
    put32(nibbles, 0x000000);
    put32(nibbles, 0x0000ff);
    put32(nibbles, 0x00ff00);
    const std::uint8_t nibble_rest[] = {0x21, 0, 0, 0, 0, 0, 0, 0};
    nibbles.insert(nibbles.end(), nibble_rest, nibble_rest + 8);
    auto four = icons::decode_dib(nibbles.data(), nibbles.size());
    check(four && pixel_is(*four, 0, 0, 0, 255, 0, 255) && pixel_is(*four, 1, 0, 0, 0, 255, 255),
          "4-bit palette order");
    nibbles[40 + 12] = 0x23;  // index 3 lies outside the three colours given
    check(!icons::decode_dib(nibbles.data(), nibbles.size()), "palette index out of range");
}

void broken_icons_are_refused() {
    Bytes good = ico_of({{2, dib_32bit()}});
    check(bool(icons::largest_picture_png(good)), "the well-formed icon is read");
    for (std::size_t size = 0; size < good.size(); ++size) {
        Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
        if (icons::largest_picture_png(cut)) {
            std::printf("FAILED: an icon cut to %zu bytes was read\n", size);
            checks::failed();
        }
    }
    Bytes cursor = good;
    cursor[2] = 2;
    check(!icons::largest_picture_png(cursor), "a cursor file is no icon");
    Bytes empty_directory = good;
    empty_directory[4] = 0;
    check(!icons::largest_picture_png(empty_directory), "an icon without pictures");
    Bytes far_offset = good;
    far_offset[6 + 12 + 3] = 0x7f;
    check(!icons::largest_picture_png(far_offset), "a picture beyond the end of the file");
    Bytes huge = ico_of({{0, info_header(70000, 70000, 32)}});
    check(!icons::largest_picture_png(huge), "absurd picture sizes");
    Bytes compressed = dib_32bit();
    compressed[16] = 1;
    check(!icons::decode_dib(compressed.data(), compressed.size()), "compressed DIBs");
    Bytes odd_height = dib_32bit();
    odd_height[8] = 3;
    check(!icons::decode_dib(odd_height.data(), odd_height.size()), "odd doubled height");
    const char text[] = "plain text, not an icon at all";
    check(!icons::largest_picture_png(Bytes(text, text + sizeof text)), "text");
}

void the_largest_picture_is_chosen() {
    const std::uint8_t png_start[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 1, 2, 3};
    Bytes png(png_start, png_start + sizeof png_start);
    auto chosen = icons::largest_picture_png(ico_of({{2, dib_32bit()}, {0, png}}));
    check(chosen && *chosen == png, "a 256-pixel PNG entry is passed on as stored");
    chosen = icons::largest_picture_png(ico_of({{16, png}, {2, dib_32bit()}}));
    check(chosen && *chosen == png, "the biggest of the directory wins");
    chosen = icons::largest_picture_png(ico_of({{1, png}, {2, dib_32bit()}}));
    const std::uint8_t signature[] = {0x89, 'P', 'N', 'G'};
    check(chosen && *chosen != png && std::memcmp(chosen->data(), signature, 4) == 0,
          "a DIB entry becomes a PNG");
}

void base64_matches_the_standard_vectors() {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        Bytes bytes(plain, plain + std::strlen(plain));
        check(icons::base64_text(bytes) == encoded, "base64 vector");
    }
    Bytes high = {0xfb, 0xff, 0xbf};
    check(icons::base64_text(high) == "+/+/", "base64 uses + and /");
}

}  // namespace

#ifndef _WIN32
std::uint8_t pattern_at(std::size_t i) {
    return std::uint8_t((i * 2654435761u) >> 13) | 1;
}

// A view shows the file's bytes from any offset, and the rest of a file is
// counted from where its descriptor stands; pipes have no rest to see.
void files_are_seen_from_any_offset() {
    std::FILE* const file = std::tmpfile();
    check(file != nullptr, "a temporary file");
    if (!file) return;
    const int fd = fileno(file);
    std::string bytes;
    for (std::size_t i = 0; i < 3 * 4096 + 100; ++i) bytes += char(pattern_at(i));
    check(write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()), "written");
    lseek(fd, 5000, SEEK_SET);
    std::uint64_t offset = 0, remaining = 0;
    check(platform::FileView::rest_of_file(fd, offset, remaining) && offset == 5000 &&
              remaining == bytes.size() - 5000,
          "the rest of a file");
    for (std::uint64_t from : {std::uint64_t(0), std::uint64_t(1), std::uint64_t(4095),
                               std::uint64_t(4096), std::uint64_t(9000)}) {
        platform::FileView view;
        const std::size_t length = bytes.size() - std::size_t(from);
        check(view.see(fd, from, length) && view.size() == length &&
                  std::memcmp(view.data(), bytes.data() + from, length) == 0,
              "a view holds the file's bytes", from);
        platform::FileView moved = std::move(view);
        check(view.data() == nullptr && moved.size() == length, "a view moves", from);
    }
    platform::FileView::move_to(fd, 7);
    check(lseek(fd, 0, SEEK_CUR) == 7, "the descriptor moves");
    std::fclose(file);
    int ends[2];
    check(pipe(ends) == 0, "a pipe");
    check(!platform::FileView::rest_of_file(ends[0], offset, remaining), "no rest in a pipe");
    close(ends[0]);
    close(ends[1]);
}

// A file cut short under its view: the process says so and ends with the
// status given, rather than dying of the fault.
void a_file_that_shrinks_ends_the_process_with_a_message() {
    std::FILE* const file = std::tmpfile();
    check(file != nullptr, "a temporary file");
    if (!file) return;
    const int fd = fileno(file);
    const std::string bytes(3 * 4096, 'x');
    check(write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()), "written");
    int message[2];
    check(pipe(message) == 0, "a pipe for the message");
    const pid_t child = fork();
    if (child == 0) {
        dup2(message[1], 2);
        platform::FileView::exit_on_fault("the file shrank\n", 42);
        platform::FileView view;
        if (!view.see(fd, 0, bytes.size())) _exit(1);
        if (ftruncate(fd, 0) != 0) _exit(2);
        const volatile unsigned char last = view.data()[bytes.size() - 1];
        _exit(last == 'x' ? 3 : 4);
    }
    close(message[1]);
    char said[64] = {};
    const ssize_t length = read(message[0], said, sizeof said - 1);
    close(message[0]);
    int status = 0;
    waitpid(child, &status, 0);
    check(WIFEXITED(status) && WEXITSTATUS(status) == 42, "the given status");
    check(length > 0 && std::string(said) == "the file shrank\n", "the given message");
    std::fclose(file);
}
#endif

int main() {
    windows_folder_is_temp_with_the_name_appended();
    posix_folder_prefers_the_runtime_directory();
    icon_paths_join_by_concatenation();
    folders_open_to_others_are_refused();
    dib_pictures_are_decoded_top_down();
    pictures_without_alpha_use_the_mask();
    broken_icons_are_refused();
    the_largest_picture_is_chosen();
    base64_matches_the_standard_vectors();
#ifndef _WIN32
    files_are_seen_from_any_offset();
    a_file_that_shrinks_ends_the_process_with_a_message();
#endif
    return checks::exit_status();
}
