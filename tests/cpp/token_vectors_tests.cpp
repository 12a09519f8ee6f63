// Unit tests of the vector reader of token groups: both vector widths read
// exactly the groups a plain reading of the tokens accepts, and stop at the
// same byte before anything else.
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "checks.hpp"
#include "engine/kernels/route.hpp"
#include "engine/kernels/token_vectors.hpp"
#include "routes.hpp"

namespace {

using checks::check;

struct Language {
    std::vector<std::string> digits;
    unsigned most_tokens;
};

struct Reading {
    std::vector<char32_t> characters;
    std::size_t stopped_at = 0;
    std::uint64_t tokens = 0;
    std::uint64_t groups = 0;
};

// Token by token: groups of whole tokens and a blank, read until one is not.
Reading plain_reading(const std::string& text, const Language& language, std::size_t most) {
    Reading reading;
    const std::size_t length = language.digits[0].size();
    const std::uint32_t base = std::uint32_t(language.digits.size());
    std::size_t at = 0;
    while (reading.characters.size() < most) {
        std::size_t end = at;
        std::uint32_t value = 0;
        unsigned tokens = 0;
        for (bool token = true; token && tokens <= language.most_tokens;) {
            token = false;
            for (std::uint32_t d = 0; d < base && !token; ++d) {
                if (text.compare(end, length, language.digits[d]) != 0) continue;
                token = true;
                value = value * base + d;
                end += length;
                ++tokens;
            }
        }
        if (tokens > language.most_tokens || end >= text.size() || text[end] != ' ' ||
            value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            break;
        if (tokens != 0) reading.characters.push_back(value);
        reading.tokens += tokens;
        ++reading.groups;
        at = end + 1;
    }
    reading.stopped_at = at;
    return reading;
}

Reading vector_reading(const std::string& text, const engine::TokenVectors& vectors,
                       std::size_t most) {
    Reading reading;
    reading.characters.resize(most);
    const unsigned char* const start = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* from = start;
    const std::size_t count = vectors.read(from, start + text.size(), reading.characters.data(),
                                           most, reading.tokens, reading.groups);
    reading.characters.resize(count);
    reading.stopped_at = std::size_t(from - start);
    return reading;
}

bool same(const Reading& a, const Reading& b) {
    return a.characters == b.characters && a.stopped_at == b.stopped_at && a.tokens == b.tokens &&
           a.groups == b.groups;
}

// Groups of 0 to 18 tokens, some with a byte changed, other blanks or a
// character that is no token, then filler that no group reads: every reader
// stops there, however much it needs to see ahead.
std::string random_text(std::mt19937_64& random, const Language& language) {
    std::string text;
    for (std::size_t group = 1 + random() % 60; group > 0; --group) {
        const std::size_t tokens = random() % 4 == 0 ? random() % 19 : random() % 8;
        for (std::size_t k = 0; k < tokens; ++k)
            text += language.digits[random() % language.digits.size()];
        text += random() % 40 == 0 ? "\n" : " ";
        if (random() % 30 == 0) text[random() % text.size()] ^= char(1 << (random() % 8));
    }
    return text + std::string(256, 'x');
}

void vectors_read_what_the_tokens_say() {
    const Language pigeon{{"\xE5\x92\x95", "\xE9\xB8\xBD", "\xE5\x93\xA9"}, 15};
    const Language monkey{{"\xE5\x94\xA7\xE5\x94\xA7", "\xE5\x90\xB1\xE5\x90\xB1"}, 16};
    for (const engine::Route route : routes_to_test()) {
        for (const Language* language : {&pigeon, &monkey}) {
            const engine::TokenVectors vectors(language->digits, ' ', route);
            check(vectors.usable() == (route >= engine::Route::ssse3), "usable with SSSE3");
            if (!vectors.usable()) continue;
            std::mt19937_64 random(language->digits[0].size());
            for (unsigned long long seed = 0; seed < 3000; ++seed) {
                const std::string text = random_text(random, *language);
                const std::size_t most = seed % 3 == 0 ? 1 + random() % 8 : 256;
                const Reading expected = plain_reading(text, *language, most);
                check(same(vector_reading(text, vectors, most), expected), "16-byte vectors", seed);
            }
        }
    }
}

void tokens_that_no_half_byte_tells_apart_are_refused() {
    if (!engine::route_runs_here(engine::Route::ssse3)) return;
    // The same last byte, and halves that repeat between the other bytes.
    const engine::Route route = engine::Route::ssse3;
    const engine::TokenVectors vectors({"\x41\x41", "\x14\x41", "\x11\x41"}, ' ', route);
    check(!vectors.usable(), "no telling half-byte");
    check(!engine::TokenVectors({"ab", "cd", "ef", "gh"}, ' ', route).usable(), "base 4");
    check(!engine::TokenVectors({"abcdefgh", "bcdefghi"}, ' ', route).usable(),
          "too long for a window");
}

}  // namespace

int main() {
    vectors_read_what_the_tokens_say();
    tokens_that_no_half_byte_tells_apart_are_refused();
    return checks::exit_status();
}
