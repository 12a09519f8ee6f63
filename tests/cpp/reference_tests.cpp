// Every route through the readers against the plain reference: alphabets
// shaped for each reader and adversarial ones, texts of every size with
// damage of every kind, fed in random pieces. Decoding must give the same
// characters, stop at the same group, for the same reason, named at the same
// offset: in the module's way (code units, through the narrowed blocks) and
// in the command line's (UTF-8, through the readers of whole groups).
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "checks.hpp"
#include "decodings.hpp"
#include "engine/decoder.hpp"
#include "engine/kernels/binary_groups.hpp"
#include "engine/kernels/narrow_groups.hpp"
#include "engine/kernels/run_planes.hpp"
#include "engine/kernels/token_groups.hpp"
#include "engine/utf8.hpp"
#include "reference.hpp"
#include "routes.hpp"
#include "translation.hpp"
#include "utf8_input.hpp"
#include "utf8_output.hpp"

namespace {

using checks::check;
using engine::CodePoint;
using engine::Pass;
using engine::Text;
using Random = std::mt19937_64;

struct Alphabet {
    unsigned base;
    std::vector<Pass> encoding;
    std::vector<Pass> decoding;
    // Whether a group's first character is where the passes last stood at
    // rest: not where a later pass takes away, or turns into a blank, what an
    // earlier one still holds back.
    bool offsets_exact = true;
};

CodePoint pick(Random& random, const Text& pool) {
    return pool[random() % pool.size()];
}

// Distinct characters from the pool, in random order.
Text distinct(Random& random, Text pool, std::size_t count) {
    std::shuffle(pool.begin(), pool.end(), random);
    return pool.substr(0, count);
}

Alphabet with_syllables(unsigned base, const std::vector<Text>& syllables, const Text& blank) {
    Alphabet alphabet{base, {}, {}};
    for (unsigned digit = 0; digit < base; ++digit) {
        const Text number(1, CodePoint(U'0' + digit));
        alphabet.encoding.push_back({number, syllables[digit]});
        alphabet.decoding.push_back({syllables[digit], number});
    }
    alphabet.encoding.push_back({U" ", blank});
    alphabet.decoding.insert(alphabet.decoding.begin(), {blank, U" "});
    return alphabet;
}

// One ASCII letter per binary digit and one for the blank, as bubble language.
Alphabet binary_alphabet(Random& random) {
    const Text letters = distinct(random, U"OoXxab01~", 3);
    return with_syllables(2, {Text(1, letters[0]), Text(1, letters[1])}, Text(1, letters[2]));
}

// Tokens of one length, as pigeon and monkey language, and the space.
Alphabet token_alphabet(Random& random) {
    const unsigned base = 2 + unsigned(random() % 2);
    const std::size_t length = 1 + random() % 3;
    const Text characters = distinct(random, U"哩鸽咕吱唧喵aZ\u0100\u07ff", base * length);
    std::vector<Text> tokens;
    for (unsigned digit = 0; digit < base; ++digit)
        tokens.push_back(random() % 2 ? Text(length, characters[digit])
                                      : characters.substr(digit * length, length));
    return with_syllables(base, tokens, U" ");
}

// Runs of one character ended by terminators, as cat language.
Alphabet run_alphabet(Random& random) {
    const unsigned base = 2 + unsigned(random() % 2);
    const Text terminators = distinct(random, U"！？#\u00bf", base - 1);
    const unsigned bare = unsigned(random() % base);
    std::vector<Text> syllables(base);
    for (unsigned digit = 0, t = 0; digit < base; ++digit)
        syllables[digit] =
            digit == bare ? Text(U"喵") : Text(1 + random() % 4, U'喵') + terminators[t++];
    Alphabet alphabet{base, {}, {}};
    for (unsigned digit = 0; digit < base; ++digit) {
        const Text number(1, CodePoint(U'0' + digit));
        alphabet.encoding.push_back({number, syllables[digit]});
        if (digit != bare) alphabet.decoding.push_back({syllables[digit], number});
    }
    alphabet.decoding.push_back({U"喵", Text(1, CodePoint(U'0' + bare))});
    if (random() % 2) alphabet.decoding.insert(alphabet.decoding.begin(), {U"喵呜~", U""});
    return alphabet;
}

// Syllables from a small pool that overlap, contain blanks and digits, or
// are empty; decoding them rarely gives back what was encoded.
Alphabet adversarial_alphabet(Random& random) {
    const Text pool = U"01 ab喵吱！~\t";
    const unsigned base = 2 + unsigned(random() % 3);
    std::vector<Text> syllables;
    for (unsigned digit = 0; digit < base; ++digit) {
        Text syllable;
        for (std::size_t k = random() % 4; k > 0; --k) syllable += pick(random, pool);
        syllables.push_back(syllable);
    }
    Alphabet alphabet = with_syllables(base, syllables, Text(1, pick(random, pool)));
    std::shuffle(alphabet.decoding.begin(), alphabet.decoding.end(), random);
    alphabet.offsets_exact = false;
    return alphabet;
}

// One of the four languages, both ways.
Alphabet language(const std::string& english) {
    Alphabet alphabet{0, {}, {}};
    for (const languages::Row& row : languages::rows) {
        if (row.english != english) continue;
        languages::Alphabet passes = languages::alphabet_of(row);
        alphabet.base = unsigned(passes.base);
        (row.direction == languages::Direction::encode ? alphabet.encoding : alphabet.decoding) =
            std::move(passes.passes);
    }
    return alphabet;
}

Alphabet random_alphabet(Random& random, unsigned k) {
    static const char* const languages[] = {"bubble", "pigeon", "cat", "monkey"};
    switch (k % 6) {
        case 0:
            return binary_alphabet(random);
        case 1:
            return token_alphabet(random);
        case 2:
            return run_alphabet(random);
        case 3:
            return adversarial_alphabet(random);
        default:
            return language(languages[random() % 4]);
    }
}

// How long a text is: mostly short, now and then around a reader's block,
// rarely long.
std::size_t random_length(Random& random) {
    switch (random() % 8) {
        case 0:
            return random() % 4;
        case 1:
            return 60 + random() % 10;
        case 2:
            return 1300 + random() % 200;
        case 3:
            return random() % 20 == 0 ? 30000 + random() % 5000 : 400;
        default:
            return random() % 120;
    }
}

CodePoint random_character(Random& random) {
    switch (random() % 8) {
        case 0:
            return CodePoint(random() % 0x80);
        case 1:
            return CodePoint(0x10000 + random() % 0x100000);
        case 2:
            return CodePoint(0xD800 + random() % 0x800);
        default:
            return CodePoint(0x4E00 + random() % 0x5000);
    }
}

// Damage of every kind, once in a while: syllables broken or out of place,
// other blanks, digits and signs, characters of the other alphabets, lone
// surrogates' groups, numbers too large, groups too long.
Text damage(Random& random, const Alphabet& alphabet) {
    switch (random() % 7) {
        case 0:
            return alphabet.decoding[random() % alphabet.decoding.size()].pattern.substr(0, 1);
        case 1:
            return Text(1, pick(random, U"\t\n\u3000\u2028\x85  "));
        case 2:
            return Text(1, pick(random, U"0123+-_bx\uff11\u0661"));
        case 3:
            return Text(1, pick(random, U"喵呜~！？哩鸽咕吱唧Oo0\U0001F600"));
        case 4:
            return reference::encode(Text(1, CodePoint(0xD800 + random() % 0x800)), alphabet.base,
                                     alphabet.encoding);
        case 5:
            return reference::apply_passes(Text(30, U'1'), alphabet.encoding);
        default:
            return reference::apply_passes(Text(random() % 3000, U'0') + U"1", alphabet.encoding);
    }
}

Text random_encoded_text(Random& random, const Alphabet& alphabet) {
    Text plain;
    for (std::size_t k = random_length(random); k > 0; --k) plain += random_character(random);
    Text text = reference::encode(plain, alphabet.base, alphabet.encoding);
    for (std::size_t k = random() % 3 == 0 ? 1 + random() % 3 : 0; k > 0; --k)
        text.insert(random() % (text.size() + 1), damage(random, alphabet));
    return text;
}

// Piece sizes: one character, a few, around a block, or the whole.
std::size_t random_piece(Random& random, std::size_t length) {
    switch (random() % 4) {
        case 0:
            return 1 + random() % 3;
        case 1:
            return 1 + random() % 200;
        case 2:
            return 4000 + random() % 200;
        default:
            return length + 1;
    }
}

// How many alphabets each reader takes on the best route tested, so that a
// reader that never reads cannot pass for one that agrees.
struct Usable {
    unsigned narrow = 0, binary = 0, tokens = 0, runs = 0;
    void count(const Alphabet& alphabet, engine::Route route) {
        engine::Decoder decoder(alphabet.base, alphabet.decoding);
        narrow += engine::NarrowGroups(decoder, alphabet.decoding, route).usable();
        binary +=
            engine::BinaryGroups(decoder, ' ', route).usable() ||
            engine::BinaryGroups(decoder, alphabet.decoding[0].pattern[0] & 0x7F, route).usable();
        tokens += engine::TokenGroups(alphabet.decoding, alphabet.base, ' ', route).usable();
        runs += engine::RunPlanes(alphabet.decoding, alphabet.base, ' ', route).usable();
    }
};

void every_route_decodes_as_the_reference() {
    const std::vector<engine::Route> routes = routes_to_test();
    Usable usable;
    for (unsigned k = 0; k < 1500; ++k) {
        Random random(k);
        const Alphabet alphabet = random_alphabet(random, k);
        usable.count(alphabet, routes.back());
        const Text text = random_encoded_text(random, alphabet);
        // Lone surrogates in the module's strings and in UTF-8 are other matters.
        if (std::any_of(text.begin(), text.end(),
                        [](CodePoint c) { return (c & ~CodePoint(0x7FF)) == 0xD800; }))
            continue;
        const reference::Decoded module =
            reference::decode(text, alphabet.base, alphabet.decoding, false);
        const reference::Decoded command =
            reference::decode(text, alphabet.base, alphabet.decoding, true);
        const bool narrow =
            std::all_of(text.begin(), text.end(), [](CodePoint c) { return c <= 0xFFFF; });
        const bool latin =
            std::all_of(text.begin(), text.end(), [](CodePoint c) { return c <= 0xFF; });
        const std::uint64_t plain_offset =
            alphabet.offsets_exact
                ? module.offset
                : decode_units<CodePoint>(alphabet.base, alphabet.decoding, engine::Route::plain,
                                          text, text.size() + 1)
                      .offset;
        const std::uint64_t command_offset =
            alphabet.offsets_exact ? command.offset
                                   : decode_bytes(alphabet.base, alphabet.decoding,
                                                  engine::Route::plain, text, text.size() + 1)
                                         .offset;
        for (engine::Route route : routes) {
            const std::size_t piece = random_piece(random, text.size());
            const unsigned at = k * 4 + unsigned(route);
            if (narrow)
                check(same(decode_units<std::uint16_t>(alphabet.base, alphabet.decoding, route,
                                                       text, piece),
                           module, plain_offset),
                      "code units as the reference", at);
            if (latin)
                check(same(decode_units<std::uint8_t>(alphabet.base, alphabet.decoding, route, text,
                                                      piece),
                           module, plain_offset),
                      "bytes of Latin-1 as the reference", at);
            check(
                same(decode_units<CodePoint>(alphabet.base, alphabet.decoding, route, text, piece),
                     module, plain_offset),
                "wide code units as the reference", at);
            check(same(decode_bytes(alphabet.base, alphabet.decoding, route, text, piece), command,
                       command_offset),
                  "UTF-8 as the reference", at);
        }
    }
    const engine::Route best = routes.back();
    check(usable.binary > 300 || best < engine::Route::sse2, "binary groups read");
    check(usable.tokens > 500 || best < engine::Route::ssse3, "token groups read");
    check(usable.narrow > 1000 || best < engine::Route::avx2, "narrowed blocks read");
    check(usable.runs > 450 || best < engine::Route::avx2, "runs read from UTF-8");
}

// A lone surrogate's group and a foreign word, at several places in a text
// of each language: named at the group's first character on every route.
void errors_name_the_first_character_of_their_group() {
    for (const char* english : {"bubble", "pigeon", "cat", "monkey"}) {
        const Alphabet alphabet = language(english);
        Random random(alphabet.base);
        for (std::size_t groups : {0, 1, 7, 150, 1400}) {
            Text before;
            while (before.size() < groups) {
                const CodePoint c = random_character(random);
                if ((c & ~CodePoint(0x7FF)) != 0xD800) before += c;
            }
            const Text encoded = reference::encode(before, alphabet.base, alphabet.encoding);
            const Text start = encoded.empty() ? encoded : encoded + U" ";
            const Text surrogate = reference::encode(U"\xdc00", alphabet.base, alphabet.encoding);
            const Text rest = reference::encode(U"abc", alphabet.base, alphabet.encoding);
            for (const Text& bad : {surrogate, Text(U"hello")}) {
                const Text text = start + bad + U" " + rest;
                const reference::Decoded want =
                    reference::decode(text, alphabet.base, alphabet.decoding, true);
                check(want.offset == start.size(), "the reference names the group's start");
                for (engine::Route route : routes_to_test()) {
                    const Outcome got = decode_bytes(alphabet.base, alphabet.decoding, route, text,
                                                     random_piece(random, text.size()));
                    check(same(got, want, start.size()), "named at its first character",
                          groups * 4 + unsigned(route));
                }
            }
        }
    }
}

void every_alphabet_encodes_as_the_reference() {
    for (unsigned k = 0; k < 600; ++k) {
        Random random(k);
        const Alphabet alphabet = random_alphabet(random, k);
        Text plain;
        for (std::size_t n = random_length(random); n > 0; --n) plain += random_character(random);
        const std::string got = encode_bytes(alphabet.base, alphabet.encoding, plain,
                                             random_piece(random, plain.size()));
        std::string want;
        const Text encoded = reference::encode(plain, alphabet.base, alphabet.encoding);
        engine::append_utf8(encoded.data(), encoded.size(), want);
        check(got == want, "encoded as the reference", k);
    }
}

}  // namespace

int main() {
    every_route_decodes_as_the_reference();
    errors_name_the_first_character_of_their_group();
    every_alphabet_encodes_as_the_reference();
    return checks::exit_status();
}
