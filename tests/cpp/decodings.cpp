#include "decodings.hpp"

#include "engine/utf8.hpp"
#include "translation.hpp"
#include "utf8_input.hpp"
#include "utf8_output.hpp"

namespace {

reference::Decoded::Stop stop_of(cli::DecodeFailure::Kind kind) {
    switch (kind) {
        case cli::DecodeFailure::Kind::lone_surrogate:
            return reference::Decoded::Stop::surrogate;
        case cli::DecodeFailure::Kind::unreadable_group:
            return reference::Decoded::Stop::unreadable;
        default:
            return reference::Decoded::Stop::none;
    }
}

}  // namespace

Outcome decode_bytes(unsigned base, const std::vector<engine::Pass>& passes, engine::Route route,
                     const engine::Text& text, std::size_t piece) {
    cli::DecodingStream stream({std::int64_t(base), passes}, "x", route);
    cli::Utf8Input utf8;
    cli::Utf8Output out(cli::Utf8Output::kInMemory);
    cli::CharacterSink<cli::DecodingStream> sink{stream, out};
    std::string bytes;
    engine::append_utf8(text.data(), text.size(), bytes);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    bool read = true;
    for (std::size_t at = 0; at < bytes.size() && read && sink.ok; at += piece)
        read = stream.decode_bytes(data + at, std::min(piece, bytes.size() - at), utf8, sink, out);
    if (read && sink.ok) sink.ok = stream.finish(out);
    Outcome outcome;
    cli::Utf8Input back;
    auto collect = [&](const auto* c, std::size_t n) { outcome.characters.append(c, c + n); };
    back.decode(reinterpret_cast<const unsigned char*>(out.data()), out.size(), collect);
    const cli::DecodeFailure& failure = stream.failure();
    outcome.stop = read ? stop_of(failure.kind) : reference::Decoded::Stop::unreadable;
    outcome.problem = failure.problem;
    outcome.surrogate = failure.surrogate;
    outcome.offset = failure.position;
    return outcome;
}

std::string encode_bytes(unsigned base, const std::vector<engine::Pass>& passes,
                         const engine::Text& text, std::size_t piece) {
    cli::EncodingStream stream({std::int64_t(base), passes});
    cli::Utf8Output out(cli::Utf8Output::kInMemory);
    for (std::size_t at = 0; at < text.size(); at += piece)
        stream.feed(text.data() + at, std::min(piece, text.size() - at), out);
    stream.finish(out);
    return std::string(out.data(), out.size());
}
