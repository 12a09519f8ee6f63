// Unit tests of the translation engine against the plain reference: the
// encoder's every form of output, the decoder, the engine cache and the
// proof that passes act token by token. Random cases use fixed seeds so that
// a failure replays.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "checks.hpp"
#include "engine/decoder.hpp"
#include "engine/encoder.hpp"
#include "engine/engine_cache.hpp"
#include "engine/kernels/narrow_groups.hpp"
#include "engine/kernels/route.hpp"
#include "engine/kernels/run_groups.hpp"
#include "engine/token_alphabet.hpp"
#include "engine/utf8.hpp"
#include "reference.hpp"
#include "routes.hpp"

namespace {

using engine::CodePoint;
using engine::Pass;
using engine::Text;

using checks::check;

using reference::apply_passes;

// Decoding where every group is plain ASCII digits of the base; false for
// any other group, which the tests' readers refuse.
bool reference_decode(const Text& input, unsigned base, const std::vector<Pass>& passes,
                      Text& out) {
    for (CodePoint c : apply_passes(input, passes)) {
        if (!reference::is_whitespace(c) && (c < U'0' || c - U'0' >= base)) return false;
    }
    const reference::Decoded decoded = reference::decode(input, base, passes, false);
    out = decoded.characters;
    return decoded.stop == reference::Decoded::Stop::none;
}

Text encode(engine::Encoder& encoder, const Text& input, std::size_t piece) {
    Text out;
    auto sink = [&](const CodePoint* units, std::size_t n) { out.append(units, n); };
    encoder.restart();
    for (std::size_t at = 0; at < input.size(); at += piece)
        encoder.feed_units<CodePoint>(input.data() + at, std::min(piece, input.size() - at), sink);
    encoder.finish_units<CodePoint>(sink);
    return out;
}

// The UTF-8 form, read as the command line reads it: whole padded blocks.
std::string encode_utf8(engine::Encoder& encoder, const Text& input, std::size_t piece) {
    std::string out;
    auto sink = [&](const char* bytes, std::size_t n) {
        char block[engine::Encoder::kReadableBytes];
        std::memcpy(block, bytes + n, sizeof(block));
        out.append(bytes, n);
    };
    encoder.restart();
    for (std::size_t at = 0; at < input.size(); at += piece)
        encoder.feed_utf8(input.data() + at, std::min(piece, input.size() - at), sink);
    encoder.finish_utf8(sink);
    return out;
}

// The UTF-8 form as the command line writes it: straight into windows of
// `window` bytes, each followed by guard bytes that must stay untouched, and
// one character at a time through the sink where the window stops.
std::string encode_utf8_into(engine::Encoder& encoder, const Text& input, std::size_t window,
                             bool& guards_kept) {
    std::string out;
    auto sink = [&](const char* bytes, std::size_t n) { out.append(bytes, n); };
    std::vector<char> buffer(window + 64, '#');
    encoder.restart();
    for (std::size_t at = 0; at < input.size();) {
        char* end = buffer.data();
        const std::size_t done = encoder.feed_utf8_into(input.data() + at, input.size() - at, end,
                                                        buffer.data() + window);
        out.append(buffer.data(), end);
        for (std::size_t k = window; k < buffer.size(); ++k) guards_kept &= buffer[k] == '#';
        at += done;
        if (at < input.size()) encoder.feed_utf8(input.data() + at++, 1, sink);
    }
    encoder.finish_utf8(sink);
    return out;
}

// The code-unit form in the narrowest width that holds every character of
// `expected`, read in whole padded blocks as the module's writer reads it.
template <typename Unit>
Text encode_units(engine::Encoder& encoder, const Text& input, std::size_t piece) {
    Text out;
    auto sink = [&](const Unit* units, std::size_t n) {
        Unit block[engine::Encoder::kReadableBytes / sizeof(Unit)];
        std::memcpy(block, units + n, sizeof(block));
        out.append(units, units + n);
    };
    encoder.restart();
    for (std::size_t at = 0; at < input.size(); at += piece)
        encoder.feed_units<Unit>(input.data() + at, std::min(piece, input.size() - at), sink);
    encoder.finish_units<Unit>(sink);
    return out;
}

Text encode_narrowest(engine::Encoder& encoder, const Text& input, std::size_t piece,
                      const Text& expected) {
    const CodePoint widest =
        expected.empty() ? 0 : *std::max_element(expected.begin(), expected.end());
    if (widest < 0x100) return encode_units<std::uint8_t>(encoder, input, piece);
    if (widest < 0x10000) return encode_units<std::uint16_t>(encoder, input, piece);
    return encode_units<CodePoint>(encoder, input, piece);
}

// The module's two passes: the measure of the result, then the result in
// 32-bit units, each with the loop over known segments and the general path
// for the rest.
Text measure_then_encode(engine::Encoder& encoder, const Text& input, std::size_t& count,
                         CodePoint& max_char) {
    auto measure = [&](const CodePoint* units, std::size_t n) {
        count += n;
        for (std::size_t k = 0; k < n; ++k) max_char = std::max(max_char, units[k]);
    };
    encoder.restart();
    engine::Encoder::fast_then_one(
        input.data(), input.size(),
        [&](const CodePoint* rest, std::size_t n) {
            return encoder.measure_into(rest, n, count, max_char);
        },
        [&](const CodePoint* one) { return encoder.feed_units<CodePoint>(one, 1, measure); });
    encoder.finish_units<CodePoint>(measure);
    Text out(count + engine::Encoder::kReadableBytes, U'#');
    CodePoint* at = &out[0];
    bool measured_enough = true;
    auto write = [&](const CodePoint* units, std::size_t n) {
        measured_enough &= std::size_t(at - out.data()) + n <= count;
        if (!measured_enough) return;
        std::copy(units, units + n, at);
        at += n;
    };
    encoder.restart();
    engine::Encoder::fast_then_one(
        input.data(), input.size(),
        [&](const CodePoint* rest, std::size_t n) {
            return encoder.feed_units_into<CodePoint>(rest, n, at, out.data() + count);
        },
        [&](const CodePoint* one) { return encoder.feed_units<CodePoint>(one, 1, write); });
    encoder.finish_units<CodePoint>(write);
    if (!measured_enough) return U"(more than measured)";
    return out.substr(0, std::size_t(at - out.data()));
}

std::string utf8_of(const Text& text) {
    std::string bytes;
    engine::append_utf8(text.data(), text.size(), bytes);
    return bytes;
}

// Decodes as 16-bit units when every character fits, so the table paths run.
template <typename Unit>
bool decode(engine::Decoder& decoder, const Text& input, std::size_t piece, Text& out) {
    const std::vector<Unit> units(input.begin(), input.end());
    out.clear();
    auto emit = [&](CodePoint c) { out += c; };
    auto refuse = [](const Text&, decltype(emit)&) { return false; };
    decoder.restart();
    for (std::size_t at = 0; at < units.size(); at += piece) {
        if (decoder.feed(units.data() + at, std::min(piece, units.size() - at), emit, refuse) !=
            engine::Decoder::Status::ok)
            return false;
    }
    return decoder.finish(emit, refuse) == engine::Decoder::Status::ok;
}

const std::vector<Pass> cat_encoding = {
    {U"2", U"喵喵喵！"}, {U"0", U"喵喵？"}, {U"1", U"喵"}, {U"喵呜~ ", U","}};
const std::vector<Pass> cat_decoding = {
    {U"喵呜~", U""}, {U"喵喵喵！", U"2"}, {U"喵喵？", U"0"}, {U"喵", U"1"}};

void worked_examples() {
    engine::Encoder made_up(2, {{U"1", U"b"}, {U"0", U"a"}, {U" ", U"z"}});
    check(encode(made_up, U"Hi", 100) == U"baabaaazbbabaab", "encoding Hi with b, a, z");
    engine::Encoder bubble(2, {{U"1", U"O"}, {U"0", U"o"}, {U" ", U"0"}});
    check(encode(bubble, U"Hi", 1) == U"OooOooo0OOoOooO", "bubble Hi");
    engine::Encoder cat(3, cat_encoding);
    check(encode(cat, U"Hi", 1) == U"喵喵喵！喵喵喵！喵喵？喵喵？ 喵喵喵？喵喵喵！喵喵喵！喵喵？",
          "cat Hi");
    check(encode(cat, U"", 1).empty(), "empty text encodes to nothing");
    engine::Decoder bubble_back(2, {{U"0", U" "}, {U"O", U"1"}, {U"o", U"0"}});
    Text out;
    check(decode<char16_t>(bubble_back, U" baabaaa\n\tbbabaab ", 3, out) == false,
          "letters outside the alphabet are left to the reader");
    engine::Decoder made_up_back(2, {{U"0", U" "}, {U"b", U"1"}, {U"a", U"0"}});
    check(decode<char16_t>(made_up_back, U" baabaaa\n\tbbabaab ", 3, out) && out == U"Hi",
          "blanks of every kind between groups");
    check(decode<char16_t>(made_up_back, U"\u3000 \u2028", 1, out) && out.empty(),
          "whitespace only decodes to nothing");
}

// The passes part-way through a match after a wide character, fed on its
// own, then narrow text: its table rows start in a state the wide
// character's step reached.
void a_wide_step_leads_into_narrow_text() {
    engine::Decoder decoder(2, {{U"\U0001F600a", U"1"}, {U"b", U"0"}});
    Text out;
    auto emit = [&](CodePoint c) { out += c; };
    auto refuse = [](const Text&, decltype(emit)&) { return false; };
    const CodePoint wide[] = {U'\U0001F600'};
    const char16_t narrow[] = u"ab ";
    const auto ok = engine::Decoder::Status::ok;
    check(decoder.feed(wide, 1, emit, refuse) == ok &&
              decoder.feed(narrow, 3, emit, refuse) == ok && decoder.finish(emit, refuse) == ok &&
              out == Text(1, CodePoint(2)),
          "a wide character, then narrow text");
}

void whitespace_is_the_interpreters() {
    const Text blanks =
        U"\t\n\v\f\r\x1c\x1d\x1e\x1f \x85\xa0\u1680\u2000\u2001\u2002\u2003\u2004"
        U"\u2005\u2006\u2007\u2008\u2009\u200a\u2028\u2029\u202f\u205f\u3000";
    int count = 0;
    for (CodePoint c = 0; c <= engine::kMaxCodePoint; ++c) count += engine::is_whitespace(c);
    check(count == 29, "exactly 29 whitespace characters");
    for (CodePoint c : blanks) check(engine::is_whitespace(c), "listed blank is whitespace", c);
    check(!engine::is_whitespace(U'\u200b') && !engine::is_whitespace(U'\u180e'),
          "zero-width space and Mongolian vowel separator are not whitespace");
}

Text random_text(std::mt19937_64& random, const Text& pool, std::size_t length) {
    Text text;
    for (std::size_t i = 0; i < length; ++i) text += pool[random() % pool.size()];
    return text;
}

std::vector<Pass> random_alphabet(std::mt19937_64& random, unsigned base, bool encoding) {
    const Text pool = U"0123 abAB喵吱！~";
    std::vector<Pass> passes;
    for (unsigned digit = 0; digit < base; ++digit) {
        Text syllable = random_text(random, pool, random() % 4);
        Text number(1, CodePoint(U'0' + digit));
        passes.push_back(encoding ? Pass{number, syllable} : Pass{syllable, number});
    }
    Text separator = random_text(random, pool, random() % 3);
    passes.insert(passes.begin() + std::ptrdiff_t(random() % (base + 1)),
                  encoding ? Pass{U" ", separator} : Pass{separator, U" "});
    // Now and then a pass of any pattern, which may match only after earlier
    // replacements or never.
    if (random() % 2)
        passes.push_back(
            {random_text(random, pool, 1 + random() % 3), random_text(random, pool, random() % 3)});
    std::shuffle(passes.begin(), passes.end(), random);
    return passes;
}

void random_alphabets_match_whole_text_passes() {
    const Text characters = U"aZ 0\n喵\U0001F600\u3000";
    for (unsigned long long seed = 0; seed < 3000; ++seed) {
        std::mt19937_64 random(seed);
        const unsigned base = 2 + unsigned(random() % 4);
        const Text input = random_text(random, characters, random() % 12);
        const std::vector<Pass> encoding = random_alphabet(random, base, true);
        engine::Encoder encoder(base, encoding);
        const Text expected = reference::encode(input, base, encoding);
        check(encode(encoder, input, 1 + random() % 5) == expected, "encoder in pieces", seed);
        check(encode_utf8(encoder, input, 1 + random() % 5) == utf8_of(expected),
              "encoder in pieces, as UTF-8", seed);
        check(encode_narrowest(encoder, input, 1 + random() % 5, expected) == expected,
              "encoder in pieces, as code units of the narrowest width", seed);
        bool guards_kept = true;
        check(encode_utf8_into(encoder, input, random() % 300, guards_kept) == utf8_of(expected),
              "encoder straight into windows, as UTF-8", seed);
        check(guards_kept, "nothing written past a window", seed);
        std::size_t count = 0;
        CodePoint max_char = 0;
        check(measure_then_encode(encoder, input, count, max_char) == expected &&
                  count == expected.size() &&
                  max_char ==
                      (expected.empty() ? 0 : *std::max_element(expected.begin(), expected.end())),
              "encoder measuring, then straight into the result", seed);

        const Text encoded =
            random() % 2 ? expected : random_text(random, U"0123 abAB喵吱！~\t", 30);
        const std::vector<Pass> decoding = random_alphabet(random, base, false);
        Text want, got_narrow, got_wide;
        const bool readable = reference_decode(encoded, base, decoding, want);
        engine::Decoder narrow(base, decoding);
        const bool narrow_ok = decode<char16_t>(narrow, encoded, 1 + random() % 7, got_narrow);
        engine::Decoder wide(base, decoding);
        const bool wide_ok = decode<char32_t>(wide, encoded, 1 + random() % 7, got_wide);
        check(narrow_ok == readable && wide_ok == readable,
              "decoder accepts what the reference reads", seed);
        if (readable) check(got_narrow == want && got_wide == want, "decoder result", seed);
    }
}

void long_texts_round_trip_in_any_pieces() {
    std::mt19937_64 random(7);
    Text input;
    for (int i = 0; i < 20000; ++i)
        input += CodePoint(random() % 2 ? 0x4E00 + random() % 0x5000 : 0x20 + random() % 0x5F);
    engine::Encoder encoder(3, cat_encoding);
    const Text encoded = encode(encoder, input, 4096);
    check(encoded == reference::encode(input, 3, cat_encoding), "long cat text");
    check(encode_utf8(encoder, input, 4096) == utf8_of(encoded), "long cat text as UTF-8");
    bool guards_kept = true;
    check(encode_utf8_into(encoder, input, 5000, guards_kept) == utf8_of(encoded) && guards_kept,
          "long cat text straight into windows");
    check(encode_units<std::uint16_t>(encoder, input, 4096) == encoded,
          "long cat text as 16-bit units");
    engine::Decoder decoder(3, cat_decoding);
    Text whole, pieces;
    check(decode<char16_t>(decoder, encoded, encoded.size(), whole) && whole == input,
          "long cat text decodes whole");
    check(decode<char16_t>(decoder, encoded, 3, pieces) && pieces == input,
          "long cat text decodes in pieces of three");
}

void unusual_groups_go_to_the_reader() {
    engine::Decoder decoder(3, {});
    std::vector<Text> read;
    Text out;
    auto emit = [&](CodePoint c) { out += c; };
    auto reader = [&](const Text& group, decltype(emit)& emit_to) {
        read.push_back(group);
        emit_to(U'?');
        return true;
    };
    const Text input = U"12 -1 1_0 2222222222222 ０１ 0000000000001";
    const std::vector<char16_t> units(input.begin(), input.end());
    decoder.feed(units.data(), units.size(), emit, reader);
    decoder.finish(emit, reader);
    check(out == U"\x05????\x01", "plain groups read natively, the others by the reader");
    check(read.size() == 4, "sign, underscore, too large and full-width digits go to the reader");
    check(read.size() == 4 && read[2] == U"2222222222222", "a group too large keeps its digits");
}

void leading_zeros_survive_a_long_group() {
    engine::Decoder decoder(10, {});
    Text zeros(700, U'0');
    zeros += U'7';
    std::vector<Text> read;
    Text out;
    auto emit = [&](CodePoint c) { out += c; };
    auto reader = [&](const Text& group, decltype(emit)&) {
        read.push_back(group);
        return true;
    };
    decoder.feed(zeros.data(), zeros.size(), emit, reader);
    decoder.finish(emit, reader);
    check(read.size() == 1 && read[0] == zeros, "a group of 701 digits reaches the reader whole");
}

void cached_engines_start_afresh() {
    engine::EngineCache<engine::Encoder> cache(2);
    Text first, second;
    {
        auto lease = cache.lend(2, {{U"1", U"O"}, {U"0", U"o"}, {U" ", U"0"}});
        auto sink = [&](const CodePoint* c, std::size_t n) { first.append(c, n); };
        (*lease).feed_units<CodePoint>(U"ab", 2, sink);
    }
    {
        auto lease = cache.lend(2, {{U"1", U"O"}, {U"0", U"o"}, {U" ", U"0"}});
        auto sink = [&](const CodePoint* c, std::size_t n) { second.append(c, n); };
        (*lease).feed_units<CodePoint>(U"ab", 2, sink);
        (*lease).finish_units<CodePoint>(sink);
    }
    check(second == U"OOooooO0OOoooOo",
          "an engine left mid-text starts a new text when lent again");
}

// An engine is found again by its base and passes, never while it is lent
// out, and goes back to the cache afterwards.
void cached_engines_are_found_by_their_passes() {
    engine::EngineCache<engine::Encoder> cache(2);
    const std::vector<engine::Pass> bubble{{U"1", U"O"}, {U"0", U"o"}, {U" ", U"0"}};
    const engine::Encoder* first = nullptr;
    { first = &*cache.lend(2, bubble); }
    {
        auto lease = cache.lend(2, bubble);
        check(&*lease == first, "found by its passes");
        check(&*cache.lend(2, bubble) != first, "not lent twice");
        check(&*cache.lend(3, bubble) != first, "nor for another base");
    }
    check(&*cache.lend(2, bubble) == first, "back in the cache");
}

bool means(const Text& alone, const engine::Token& token) {
    if (token.meaning == engine::Token::kNothing) return alone.empty();
    if (token.meaning == engine::Token::kBlank)
        return !alone.empty() && std::all_of(alone.begin(), alone.end(), engine::is_whitespace);
    return alone == Text(1, CodePoint(U'0' + token.meaning));
}

// Wherever tokens are found, the passes over any concatenation of them give
// what each gives alone, and a blank token at the end cuts the text cleanly
// from whatever follows.
void tokens_act_alone_wherever_they_are_found() {
    std::size_t found = 0;
    for (unsigned long long seed = 0; seed < 6000; ++seed) {
        std::mt19937_64 random(seed);
        const unsigned base = 2 + unsigned(random() % 3);
        const std::vector<Pass> passes = random_alphabet(random, base, false);
        const std::vector<engine::Token> tokens = engine::tokens_of(passes, base, U' ');
        if (tokens.empty()) continue;
        ++found;
        for (const engine::Token& token : tokens)
            check(means(apply_passes(token.text, passes), token), "token's meaning", seed);
        for (int trial = 0; trial < 20; ++trial) {
            Text text, alone;
            for (std::size_t k = random() % 12; k > 0; --k) {
                const Text& piece = tokens[random() % tokens.size()].text;
                text += piece;
                alone += apply_passes(piece, passes);
            }
            check(apply_passes(text, passes) == alone, "passes act token by token", seed);
            text += U' ';
            alone += apply_passes(U" ", passes);
            const Text after = random_text(random, U"0123 abAB喵吱！~", random() % 8);
            check(apply_passes(text + after, passes) == alone + apply_passes(after, passes),
                  "a blank token cuts cleanly", seed);
        }
    }
    check(found > 300, "tokens are found for many alphabets", found);
}

void tokens_of_the_languages() {
    const std::vector<Pass> pigeon{{U"哩", U"2"}, {U"鸽", U"1"}, {U"咕", U"0"}, {U" ", U" "}};
    check(engine::tokens_of(pigeon, 3, U' ').size() == 4, "pigeon's syllables and blank");
    // A pattern that overlaps itself: the scan never takes the straddling one.
    const std::vector<Pass> monkey{{U"吱吱", U"1"}, {U"唧唧", U"0"}, {U" ", U" "}};
    check(engine::tokens_of(monkey, 2, U' ').size() == 3, "monkey's syllables and blank");
    const std::vector<engine::Token> cat = engine::tokens_of(
        {{U"喵呜~", U""}, {U"喵喵喵！", U"2"}, {U"喵喵？", U"0"}, {U"喵", U"1"}}, 3, U' ');
    check(cat.size() == 5 && std::any_of(cat.begin(), cat.end(),
                                         [](const engine::Token& token) {
                                             return token.text == U"喵呜~" &&
                                                    token.meaning == engine::Token::kNothing;
                                         }),
          "cat's separator leaves nothing, its blank follows");
    // "ba" + "ba" holds "ab" where the scan takes it.
    check(engine::tokens_of({{U"ab", U"1"}, {U"ba", U"0"}, {U" ", U" "}}, 2, U' ').empty(),
          "a match across tokens");
    check(engine::tokens_of({{U"aa", U"1"}, {U"a", U"0"}, {U" ", U" "}}, 2, U' ').empty(),
          "two short tokens make a long one");
    check(engine::tokens_of({{U"a", U"1"}, {U"b", U"0"}, {U" a", U" "}}, 2, U' ').empty(),
          "a blank that begins a match");
    check(engine::tokens_of({{U"a", U"12"}, {U"b", U"0"}, {U" ", U" "}}, 3, U' ').empty(),
          "a token of two digits");
    check(engine::tokens_of({{U"a", U"3"}, {U"b", U"0"}, {U" ", U" "}}, 3, U' ').empty(),
          "a digit beyond the base");
}

}  // namespace

// Takes characters one at a time and in arrays, as the module's output does.
struct Collected {
    Text text;
    void operator()(CodePoint c) { text += c; }
    void operator()(const CodePoint* characters, std::size_t count) {
        text.append(characters, count);
    }
};

// The decoder alone, or with whole groups read from narrowed blocks; in
// pieces of the given size, as units of the given width.
template <typename Unit>
bool decode_in_blocks(engine::Decoder& decoder, const engine::NarrowGroups* groups,
                      const Text& input, std::size_t piece, Text& out) {
    const std::vector<Unit> units(input.begin(), input.end());
    decoder.restart();
    Collected collected;
    auto refuse = [](const Text&, Collected&) { return false; };
    for (std::size_t at = 0; at < units.size(); at += piece) {
        const std::size_t length = std::min(piece, units.size() - at);
        const auto status =
            groups ? groups->feed(decoder, units.data() + at, length, collected, refuse)
                   : decoder.feed(units.data() + at, length, collected, refuse);
        if (status != engine::Decoder::Status::ok) {
            out = collected.text;
            return false;
        }
    }
    const bool finished = decoder.finish(collected, refuse) == engine::Decoder::Status::ok;
    out = collected.text;
    return finished;
}

// Groups of the alphabet's digit syllables, long and short, with other
// syllables, other blanks, broken syllables and foreign characters now and
// then.
Text syllable_text(std::mt19937_64& random, const std::vector<Pass>& passes, std::size_t groups) {
    std::vector<Text> digits;
    for (const Pass& pass : passes) {
        if (pass.replacement.size() == 1 && pass.replacement[0] >= U'0' &&
            pass.replacement[0] <= U'9')
            digits.push_back(pass.pattern);
    }
    Text text;
    for (std::size_t g = 0; g < groups; ++g) {
        const std::size_t syllables = random() % 8 == 0 ? random() % 40 : random() % 14;
        for (std::size_t k = 0; k < syllables; ++k) {
            const Text& syllable = digits.empty() || random() % 100 == 0
                                       ? passes[random() % passes.size()].pattern
                                       : digits[random() % digits.size()];
            const std::size_t cut = random() % 60 == 0 ? random() % syllable.size() : 0;
            text += syllable.substr(cut, random() % 60 == 0 ? 1 : Text::npos);
        }
        if (random() % 150 == 0) text += U"\t\u3000x\0"[random() % 4];
        text += U' ';
    }
    return text;
}

// Decodes random texts of the alphabet's syllables with and without the
// narrowed blocks; false where the blocks disagree with the decoder.
bool blocks_agree(const std::vector<Pass>& passes, unsigned base, unsigned long long seeds,
                  const engine::NarrowGroups& groups) {
    engine::Decoder decoder(base, passes);
    bool agree = true;
    for (unsigned long long seed = 0; seed < seeds; ++seed) {
        std::mt19937_64 random(seed);
        const Text input = syllable_text(random, passes, 1 + random() % 1500);
        const std::size_t piece = seed % 2 ? input.size() + 1 : 1 + random() % 5000;
        Text expected, got;
        const bool readable =
            decode_in_blocks<std::uint16_t>(decoder, nullptr, input, piece, expected);
        const bool bytes =
            std::all_of(input.begin(), input.end(), [](CodePoint c) { return c <= 0xFF; });
        agree = agree &&
                decode_in_blocks<std::uint16_t>(decoder, &groups, input, piece, got) == readable &&
                got == expected;
        if (bytes)
            agree =
                agree &&
                decode_in_blocks<std::uint8_t>(decoder, &groups, input, piece, got) == readable &&
                got == expected;
    }
    return agree;
}

void narrow_blocks_read_what_the_decoder_reads() {
    const std::vector<std::vector<Pass>> alphabets = {
        {{U"0", U" "}, {U"O", U"1"}, {U"o", U"0"}},
        {{U"哩", U"2"}, {U"鸽", U"1"}, {U"咕", U"0"}, {U" ", U" "}},
        {{U"吱吱", U"1"}, {U"唧唧", U"0"}, {U" ", U" "}},
        {{U"\u0100\u0100", U"2"}, {U"\u0101\u0101", U"1"}, {U"\u0102\u0102", U"0"}},
        cat_decoding,
    };
    const unsigned bases[] = {2, 3, 2, 3, 3};
    for (engine::Route route : routes_to_test()) {
        for (std::size_t a = 0; a < alphabets.size(); ++a) {
            engine::Decoder decoder(bases[a], alphabets[a]);
            const engine::NarrowGroups groups(decoder, alphabets[a], route);
            check(groups.usable() == (route == engine::Route::avx2), "read in blocks", a);
            check(blocks_agree(alphabets[a], bases[a], 30, groups), "blocks agree", a);
        }
    }
}

// Runs of one character ended by terminators, in any order and base, now and
// then with a pass that breaks the pattern or one that can never match.
void random_runs_read_what_the_decoder_reads() {
    std::size_t usable = 0;
    for (unsigned long long seed = 0; seed < 300; ++seed) {
        std::mt19937_64 random(seed);
        const unsigned base = 2 + unsigned(random() % 9);
        const auto digit = [&] { return Text(1, CodePoint(U'0' + random() % base)); };
        std::vector<Pass> passes;
        const Text terminators = U"!?#";
        for (std::size_t k = 0, count = 1 + random() % 3; k < count; ++k)
            passes.push_back({Text(1 + random() % 5, U'a') + terminators[k], digit()});
        passes.push_back({U"a", digit()});
        if (random() % 4 == 0) passes.insert(passes.begin(), {U"a~q", U""});
        if (random() % 4 == 0) passes.push_back({U" ", U" "});
        if (random() % 8 == 0) passes.push_back({U"a ", U"1"});
        if (random() % 5 == 0) std::swap(passes.front(), passes.back());
        const engine::Route route = routes_to_test().back();
        engine::Decoder decoder(base, passes);
        const engine::NarrowGroups groups(decoder, passes, route);
        usable += groups.usable();
        check(blocks_agree(passes, base, 3, groups), "random runs agree", seed);
    }
    check(usable > 100 || routes_to_test().back() != engine::Route::avx2,
          "most random runs are read in blocks");
}

// MIRELO_KERNEL's values: the best route for nothing, empty or "best"; a
// route by its name where the processor runs it; anything else refused.
void routes_are_chosen_by_name() {
    using engine::Route;
    std::string error;
    for (const char* best : {static_cast<const char*>(nullptr), "", "best"}) {
        Route route = Route::plain;
        check(engine::route_named(best, route, error) && route == engine::best_route(),
              "the best route by default");
    }
    check(engine::route_runs_here(Route::plain), "plain runs everywhere");
    for (Route want : {Route::plain, Route::sse2, Route::ssse3, Route::avx2}) {
        Route route = Route::plain;
        error.clear();
        const bool named = engine::route_named(engine::route_name(want), route, error);
        check(named == engine::route_runs_here(want) && (!named || route == want),
              "a route by its name", unsigned(want));
        check(named || error.find("cannot run") != std::string::npos, "why not", unsigned(want));
        check(want <= engine::best_route() || !engine::route_runs_here(want) || want == Route::avx2,
              "the best route includes the others", unsigned(want));
    }
    Route route = Route::plain;
    check(
        !engine::route_named("AVX2", route, error) &&
            error == "MIRELO_KERNEL=AVX2: unknown route (choose plain, sse2, ssse3, avx2 or best)",
        "unknown names are refused");
}

int main() {
    routes_are_chosen_by_name();
    worked_examples();
    a_wide_step_leads_into_narrow_text();
    whitespace_is_the_interpreters();
    random_alphabets_match_whole_text_passes();
    long_texts_round_trip_in_any_pieces();
    unusual_groups_go_to_the_reader();
    leading_zeros_survive_a_long_group();
    cached_engines_start_afresh();
    cached_engines_are_found_by_their_passes();
    tokens_act_alone_wherever_they_are_found();
    tokens_of_the_languages();
    narrow_blocks_read_what_the_decoder_reads();
    random_runs_read_what_the_decoder_reads();
    return checks::exit_status();
}
