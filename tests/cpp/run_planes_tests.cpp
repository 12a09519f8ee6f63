// Unit tests of cat language read from UTF-8 through bit planes: the command
// line's decoding of the bytes gives what its decoder gives for the same
// characters fed to it, the characters written before a failure included,
// wherever the groups lie against the blocks of the planes.
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "checks.hpp"
#include "engine/kernels/route.hpp"
#include "engine/kernels/run_planes.hpp"
#include "languages/alphabet.hpp"
#include "routes.hpp"
#include "translation.hpp"
#include "utf8_input.hpp"
#include "utf8_output.hpp"

namespace {

using checks::check;

struct Result {
    std::string output;
    std::string failure;
};

const languages::Row& cat_decoding() {
    for (const languages::Row& row : languages::rows) {
        if (row.direction == languages::Direction::decode && std::string(row.english) == "cat")
            return row;
    }
    throw std::logic_error("no cat row");
}

std::string utf8_of(const std::u32string& text) {
    cli::Utf8Output out(cli::Utf8Output::kInMemory);
    for (char32_t c : text) out.put(c);
    return std::string(out.data(), out.size());
}

Result through_bytes(const std::u32string& text, engine::Route route) {
    cli::DecodingStream stream(cat_decoding(), route);
    cli::Utf8Input utf8;
    cli::Utf8Output out(cli::Utf8Output::kInMemory);
    cli::CharacterSink<cli::DecodingStream> sink{stream, out};
    const std::string bytes = utf8_of(text);
    bool ok = stream.decode_bytes(reinterpret_cast<const unsigned char*>(bytes.data()),
                                  bytes.size(), utf8, sink, out) &&
              sink.ok && utf8.finish() && stream.finish(out);
    return {std::string(out.data(), out.size()), ok ? "" : stream.failure_text()};
}

Result through_characters(const std::u32string& text) {
    cli::DecodingStream stream(cat_decoding());
    cli::Utf8Output out(cli::Utf8Output::kInMemory);
    const bool ok = stream.feed(text.data(), text.size(), out) && stream.finish(out);
    return {std::string(out.data(), out.size()), ok ? "" : stream.failure_text()};
}

std::u32string group_of(std::uint32_t value) {
    static const std::u32string digits[] = {U"喵喵？", U"喵", U"喵喵喵！"};
    std::u32string group;
    do {
        group = digits[value % 3] + group;
        value /= 3;
    } while (value != 0);
    return group;
}

// Mostly whole groups, with runs and terminators in any order, terminators
// at a group's start, characters a byte away from the language's, other
// blanks and other characters, and groups too long or of unreadable numbers.
std::u32string random_text(std::mt19937_64& random) {
    static const std::u32string odd[] = {
        U"！",     U"？",         U"喵喵喵喵喵", U"呜",
        U"~",      U"喵呜~",      U"\n",         U"\u3000",
        U"x",      U"\u55b6",     U"\u55b4",     U"\uff02",
        U"\uff20", U"\U0001f600", U"  ",         std::u32string(70, U'喵')};
    std::u32string text;
    const std::size_t groups = 1 + random() % 600;
    const unsigned damage = unsigned(random() % 4);
    for (std::size_t k = 0; k < groups; ++k) {
        const std::uint32_t value =
            random() % 4 == 0 ? std::uint32_t(random() % 0x80) : std::uint32_t(random() % 0x110000);
        const bool odd_before = damage != 0 && random() % (40 * damage) == 0;
        if (odd_before) text += odd[random() % std::size(odd)];
        text += random() % 200 == 0 ? group_of(0x110000 + std::uint32_t(random() % 1000))
                                    : group_of(value);
        if (!odd_before && damage != 0 && random() % (40 * damage) == 0)
            text += odd[random() % std::size(odd)];
        text += U' ';
    }
    return text;
}

void bytes_decode_as_the_characters_do() {
    const languages::Alphabet cat = languages::alphabet_of(cat_decoding());
    const engine::Route route = routes_to_test().back();
    const engine::RunPlanes runs(cat.passes, cat.base, ' ', route);
    check(runs.usable() == (route == engine::Route::avx2), "read through planes on the avx2 route");
    std::mt19937_64 random(20261209);
    for (unsigned k = 0; k < 400; ++k) {
        const std::u32string text = random_text(random);
        const Result bytes = through_bytes(text, route);
        const Result characters = through_characters(text);
        check(bytes.failure == characters.failure, "the same message", k);
        check(bytes.output == characters.output, "the same characters", k);
    }
}

}  // namespace

int main() {
    bytes_decode_as_the_characters_do();
    return checks::exit_status();
}
