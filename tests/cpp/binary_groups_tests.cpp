// Unit tests of the block reader of binary groups: both vector widths read the
// same groups, stop at the same byte, and read what the groups say.
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "checks.hpp"
#include "engine/decoder.hpp"
#include "engine/kernels/binary_groups.hpp"
#include "engine/kernels/route.hpp"
#include "routes.hpp"

namespace {

using checks::check;

// Bubble language's way back: blank "0", digits "O" and "o".
engine::Decoder bubble_decoder() {
    return engine::Decoder(2, {{U"0", U" "}, {U"O", U"1"}, {U"o", U"0"}});
}

struct Reading {
    std::vector<char32_t> characters;
    std::size_t stopped_at = 0;
    std::uint64_t passed = 0;  // characters passed over, as the reader counts them
};

// Call after call, as a stream does, until a call reads nothing.
Reading block_reading(const std::string& text, const engine::BinaryGroups& groups) {
    Reading reading;
    const unsigned char* const start = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* from = start;
    for (;;) {
        const unsigned char* const before = from;
        char32_t read[engine::BinaryGroups::kMostRead];
        const std::size_t count = groups.read(from, start + text.size(), read, reading.passed);
        reading.characters.insert(reading.characters.end(), read, read + count);
        if (from == before) break;
    }
    reading.stopped_at = std::size_t(from - start);
    return reading;
}

// What the groups before `end` say, read one byte at a time; false where
// anything is not a digit or the blank, or a group is no character.
bool plain_reading(const std::string& text, std::size_t end, std::vector<char32_t>& characters) {
    std::uint64_t value = 0;
    std::size_t digits = 0;
    for (std::size_t k = 0; k < end; ++k) {
        if (text[k] == 'O' || text[k] == 'o') {
            value = value * 2 + (text[k] == 'O');
            ++digits;
            continue;
        }
        if (text[k] != '0' || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        if (digits != 0) characters.push_back(char32_t(value));
        value = 0;
        digits = 0;
    }
    return digits == 0;
}

// Groups of 0 to 24 digits (leading zeros, numbers above U+10FFFF and
// surrogates among them), now and then a byte that is neither a digit nor
// the blank.
std::string random_text(std::mt19937_64& random) {
    std::string text;
    for (std::size_t group = random() % 200; group > 0; --group) {
        std::size_t length = random() % 4 == 0 ? random() % 25 : random() % 17;
        if (random() % 50 == 0) {
            for (std::uint32_t bit = 0x8000; bit != 0; bit >>= 1)
                text += ((0xD800 + random() % 0x800) & bit) ? 'O' : 'o';
            length = 0;
        }
        for (std::size_t k = 0; k < length; ++k) text += random() % 2 ? 'O' : 'o';
        text += '0';
        if (random() % 60 == 0) text[random() % text.size()] = "x\n1 "[random() % 4];
    }
    return text;
}

void blocks_read_what_the_groups_say() {
    engine::Decoder decoder = bubble_decoder();
    for (const engine::Route route : routes_to_test()) {
        check(engine::BinaryGroups(decoder, '0', route).usable() == (route >= engine::Route::sse2),
              "usable for bubble language from the sse2 route on", unsigned(route));
    }
    const engine::BinaryGroups groups(decoder, '0', routes_to_test().back());
    if (!groups.usable()) return;
    std::mt19937_64 random(64);
    std::size_t read_some = 0;
    for (unsigned long long seed = 0; seed < 4000; ++seed) {
        const std::string text = random_text(random);
        const Reading expected = block_reading(text, groups);
        std::vector<char32_t> plain;
        check(plain_reading(text, expected.stopped_at, plain) && plain == expected.characters,
              "what is read is what the groups say", seed);
        check(expected.passed == expected.stopped_at, "one character per byte", seed);
        read_some += expected.stopped_at != 0;
    }
    check(read_some > 1000, "most texts are read at least in part");
}

void clean_text_is_read_up_to_its_last_block() {
    engine::Decoder decoder = bubble_decoder();
    const engine::BinaryGroups groups(decoder, '0', routes_to_test().back());
    if (!groups.usable()) return;
    std::string text;
    std::vector<char32_t> characters;
    for (char32_t c = 1; text.size() < 100000; c = (c * 7 + 3) % 0xD000 + 1) {
        for (std::uint32_t bit = 0x8000; bit != 0; bit >>= 1)
            if (c >= bit || bit == 1) text += (c & bit) ? 'O' : 'o';
        text += '0';
        characters.push_back(c);
    }
    const Reading reading = block_reading(text, groups);
    check(text.size() - reading.stopped_at < 64 + 17, "stops only near the end");
    check(reading.characters.size() + 64 > characters.size() &&
              std::equal(reading.characters.begin(), reading.characters.end(), characters.begin()),
          "every character in order");
}

}  // namespace

int main() {
    blocks_read_what_the_groups_say();
    clean_text_is_read_up_to_its_last_block();
    return checks::exit_status();
}
