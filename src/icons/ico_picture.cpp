#include "icons/ico_picture.hpp"

#include <algorithm>
#include <array>
#include <cstring>

namespace icons {

namespace {

// Larger pictures are no icons a window system shows; the limit also keeps
// every size computation below far from overflow.
constexpr std::uint32_t kMaxSide = 1024;

std::uint16_t u16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::int32_t i32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(u32(p));
}

bool is_png(const std::uint8_t* data, std::size_t size) {
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    return size >= sizeof signature && std::memcmp(data, signature, sizeof signature) == 0;
}

struct Entry {
    std::uint64_t area;
    std::uint16_t bit_count;
    std::uint32_t size;
    std::uint32_t offset;
};

// Rows of DIBs and masks are padded to whole 32-bit words.
std::size_t row_stride(std::uint32_t width, std::uint32_t bits) {
    return ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
}

bool mask_bit(const std::uint8_t* row, std::uint32_t x) {
    return (row[x / 8] >> (7 - x % 8)) & 1;
}

std::uint32_t palette_index(const std::uint8_t* row, std::uint32_t x, std::uint16_t bits) {
    switch (bits) {
        case 1:
            return (row[x / 8] >> (7 - x % 8)) & 1;
        case 4:
            return (row[x / 2] >> (x % 2 ? 0 : 4)) & 0xf;
        default:
            return row[x];
    }
}

class Crc32 {
  public:
    Crc32() {
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320u ^ (c >> 1) : c >> 1;
            table_[n] = c;
        }
    }
    std::uint32_t of(const std::uint8_t* data, std::size_t size) const {
        std::uint32_t c = 0xffffffffu;
        for (std::size_t i = 0; i < size; ++i) c = table_[(c ^ data[i]) & 0xff] ^ (c >> 8);
        return c ^ 0xffffffffu;
    }

  private:
    std::array<std::uint32_t, 256> table_{};
};

void put_u32_be(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void put_chunk(Bytes& out, const char* type, const Bytes& body) {
    static const Crc32 crc;
    put_u32_be(out, static_cast<std::uint32_t>(body.size()));
    std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    put_u32_be(out, crc.of(out.data() + start, out.size() - start));
}

// A zlib stream of stored blocks: icons are small, so compression would
// only cost code.
Bytes zlib_stored(const Bytes& data) {
    Bytes out = {0x78, 0x01};
    std::size_t position = 0;
    do {
        std::size_t length = std::min<std::size_t>(data.size() - position, 0xffff);
        bool last = position + length == data.size();
        out.push_back(static_cast<std::uint8_t>(last ? 1 : 0));
        out.push_back(static_cast<std::uint8_t>(length));
        out.push_back(static_cast<std::uint8_t>(length >> 8));
        out.push_back(static_cast<std::uint8_t>(~length));
        out.push_back(static_cast<std::uint8_t>(~length >> 8));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(position),
                   data.begin() + static_cast<std::ptrdiff_t>(position + length));
        position += length;
    } while (position < data.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    put_u32_be(out, b << 16 | a);
    return out;
}

// The AND mask, bottom row first: a set bit is a transparent pixel.
void apply_mask(Picture& picture, const std::uint8_t* mask, std::size_t stride) {
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        const std::uint8_t* row = mask + stride * (picture.height - 1 - y);
        for (std::uint32_t x = 0; x < picture.width; ++x)
            picture.rgba[(static_cast<std::size_t>(y) * picture.width + x) * 4 + 3] =
                static_cast<std::uint8_t>(mask_bit(row, x) ? 0 : 255);
    }
}

}  // namespace

std::optional<Picture> decode_dib(const std::uint8_t* data, std::size_t size) {
    if (size < 40) return std::nullopt;
    std::uint32_t header_size = u32(data);
    std::int32_t width = i32(data + 4), doubled_height = i32(data + 8);
    std::uint16_t bits = u16(data + 14);
    std::uint32_t compression = u32(data + 16), colours_used = u32(data + 32);
    if (header_size < 40 || header_size > size || compression != 0) return std::nullopt;
    if (width <= 0 || doubled_height <= 0 || doubled_height % 2 != 0) return std::nullopt;
    auto w = static_cast<std::uint32_t>(width), h = static_cast<std::uint32_t>(doubled_height / 2);
    if (w > kMaxSide || h > kMaxSide) return std::nullopt;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return std::nullopt;

    std::size_t palette_size = 0;
    if (bits <= 8) {
        palette_size = colours_used ? colours_used : 1u << bits;
        if (palette_size > (1u << bits)) return std::nullopt;
    }
    const std::uint8_t* palette = data + header_size;
    std::size_t colour_offset = header_size + palette_size * 4;
    std::size_t colour_stride = row_stride(w, bits), mask_stride = row_stride(w, 1);
    std::size_t mask_offset = colour_offset + colour_stride * h;
    bool has_mask = mask_offset + mask_stride * h <= size;
    // Only 32-bit pictures carry their own transparency and may do without a mask.
    if (mask_offset > size || (!has_mask && bits != 32)) return std::nullopt;

    Picture picture;
    picture.width = w;
    picture.height = h;
    picture.rgba.resize(static_cast<std::size_t>(w) * h * 4);
    bool any_alpha = false;
    for (std::uint32_t y = 0; y < h; ++y) {
        const std::uint8_t* row = data + colour_offset + colour_stride * (h - 1 - y);
        std::uint8_t* out = picture.rgba.data() + static_cast<std::size_t>(y) * w * 4;
        for (std::uint32_t x = 0; x < w; ++x, out += 4) {
            const std::uint8_t* bgr;
            if (bits >= 24) {
                bgr = row + static_cast<std::size_t>(x) * (bits / 8);
                out[3] = bits == 32 ? bgr[3] : std::uint8_t{255};
                any_alpha = any_alpha || (bits == 32 && bgr[3] != 0);
            } else {
                std::uint32_t index = palette_index(row, x, bits);
                if (index >= palette_size) return std::nullopt;
                bgr = palette + index * 4;
                out[3] = 255;
            }
            out[0] = bgr[2];
            out[1] = bgr[1];
            out[2] = bgr[0];
        }
    }
    // A picture without alpha values takes its transparency from the mask.
    if (has_mask && !(bits == 32 && any_alpha))
        apply_mask(picture, data + mask_offset, mask_stride);
    return picture;
}

std::optional<Bytes> largest_picture_png(const Bytes& ico) {
    if (ico.size() < 6 || u16(ico.data()) != 0 || u16(ico.data() + 2) != 1) return std::nullopt;
    std::uint16_t count = u16(ico.data() + 4);
    if (count == 0 || 6 + static_cast<std::size_t>(count) * 16 > ico.size()) return std::nullopt;
    std::optional<Entry> best;
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint8_t* p = ico.data() + 6 + static_cast<std::size_t>(i) * 16;
        std::uint32_t w = p[0] ? p[0] : 256, h = p[1] ? p[1] : 256;
        Entry entry{static_cast<std::uint64_t>(w) * h, u16(p + 6), u32(p + 8), u32(p + 12)};
        if (entry.offset > ico.size() || entry.size > ico.size() - entry.offset)
            return std::nullopt;
        if (!best || entry.area > best->area ||
            (entry.area == best->area && entry.bit_count > best->bit_count))
            best = entry;
    }
    const std::uint8_t* data = ico.data() + best->offset;
    if (is_png(data, best->size)) return Bytes(data, data + best->size);
    std::optional<Picture> picture = decode_dib(data, best->size);
    if (!picture) return std::nullopt;
    return encode_png(*picture);
}

Bytes encode_png(const Picture& picture) {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    Bytes header;
    put_u32_be(header, picture.width);
    put_u32_be(header, picture.height);
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8-bit RGBA, no interlace
    put_chunk(out, "IHDR", header);
    Bytes scanlines;
    std::size_t row_bytes = static_cast<std::size_t>(picture.width) * 4;
    scanlines.reserve((row_bytes + 1) * picture.height);
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        scanlines.push_back(0);  // no filter
        auto row = picture.rgba.begin() + static_cast<std::ptrdiff_t>(y * row_bytes);
        scanlines.insert(scanlines.end(), row, row + static_cast<std::ptrdiff_t>(row_bytes));
    }
    put_chunk(out, "IDAT", zlib_stored(scanlines));
    put_chunk(out, "IEND", {});
    return out;
}

std::string base64_text(const Bytes& bytes) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = static_cast<std::uint32_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) group |= bytes[i + 2];
        out.push_back(alphabet[group >> 18 & 63]);
        out.push_back(alphabet[group >> 12 & 63]);
        out.push_back(i + 1 < bytes.size() ? alphabet[group >> 6 & 63] : '=');
        out.push_back(i + 2 < bytes.size() ? alphabet[group & 63] : '=');
    }
    return out;
}

}  // namespace icons
