// Translating in each way the program has, to hold against the reference:
// decoding the module's way (code units through the narrowed blocks and the
// decoder) and the command line's (UTF-8 through the readers of whole
// groups), and encoding into UTF-8 as the command line does.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/decoder.hpp"
#include "engine/group_reader.hpp"
#include "engine/kernels/narrow_groups.hpp"
#include "engine/kernels/route.hpp"
#include "reference.hpp"

// What a decoding came to.
struct Outcome {
    engine::Text characters;
    reference::Decoded::Stop stop = reference::Decoded::Stop::none;
    engine::GroupProblem problem = engine::GroupProblem::none;
    engine::CodePoint surrogate = 0;
    std::uint64_t offset = 0;
};

// The same characters, stop and reason as the reference; the offset is the
// reference's, or where that is not where the decoder's passes rest, the one
// given.
inline bool same(const Outcome& got, const reference::Decoded& want, std::uint64_t offset) {
    return got.characters == want.characters && got.stop == want.stop &&
           got.problem == want.problem && got.surrogate == want.surrogate &&
           (want.stop == reference::Decoded::Stop::none || got.offset == offset);
}

// The module's way, fed in pieces of `piece` units; groups the decoder
// leaves are read as int() reads them.
template <typename Unit>
Outcome decode_units(unsigned base, const std::vector<engine::Pass>& passes, engine::Route route,
                     const engine::Text& text, std::size_t piece) {
    engine::Decoder decoder(base, passes);
    const engine::NarrowGroups groups(decoder, passes, route);
    Outcome outcome;
    struct Out {
        engine::Text& text;
        void operator()(engine::CodePoint c) { text += c; }
        void operator()(const engine::CodePoint* c, std::size_t n) { text.append(c, n); }
    } out{outcome.characters};
    engine::GroupReader reader_of_groups(base);
    auto reader = [&](const engine::Text& group, Out& to) {
        for (engine::CodePoint c : group) reader_of_groups.take(c);
        const engine::GroupValue value = reader_of_groups.finish();
        outcome.problem = value.problem;
        if (value.problem != engine::GroupProblem::none) return false;
        to(value.character);
        return true;
    };
    const std::vector<Unit> units(text.begin(), text.end());
    engine::Decoder::Status status = engine::Decoder::Status::ok;
    for (std::size_t at = 0; at < units.size() && status == engine::Decoder::Status::ok;
         at += piece)
        status = groups.feed(decoder, units.data() + at, std::min(piece, units.size() - at), out,
                             reader);
    if (status == engine::Decoder::Status::ok) status = decoder.finish(out, reader);
    if (status != engine::Decoder::Status::ok) {
        outcome.stop = reference::Decoded::Stop::unreadable;
        outcome.offset = decoder.group_position();
    }
    return outcome;
}

// The command line's way, fed in pieces of `piece` bytes.
Outcome decode_bytes(unsigned base, const std::vector<engine::Pass>& passes, engine::Route route,
                     const engine::Text& text, std::size_t piece);

// The command line's encoding, fed in pieces of `piece` characters.
std::string encode_bytes(unsigned base, const std::vector<engine::Pass>& passes,
                         const engine::Text& text, std::size_t piece);
