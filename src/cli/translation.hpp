// Streaming translation of one language row: characters in, UTF-8 out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/decoder.hpp"
#include "engine/encoder.hpp"
#include "engine/group_reader.hpp"
#include "engine/kernels/binary_groups.hpp"
#include "engine/kernels/route.hpp"
#include "engine/kernels/run_planes.hpp"
#include "engine/kernels/token_groups.hpp"
#include "languages/alphabet.hpp"
#include "utf8_input.hpp"
#include "utf8_output.hpp"

namespace cli {

// Why a decoding stopped.
struct DecodeFailure {
    enum class Kind { none, unreadable_group, lone_surrogate, too_large } kind = Kind::none;
    std::uint64_t position = 0;  // character offset where the group began
    engine::GroupProblem problem = engine::GroupProblem::none;
    engine::CodePoint surrogate = 0;
};

// "鸽语 (pigeon)"
std::string language_name(const languages::Row& row);
// What went wrong, as a sentence fragment: "the group at character offset 5 ...".
std::string describe(const DecodeFailure& failure, std::int64_t base);

// Hands decoded characters to a translator until it fails.
template <typename Translator>
struct CharacterSink {
    Translator& translator;
    Utf8Output& out;
    bool ok = true;
    template <typename CharT>
    void operator()(const CharT* text, std::size_t length) {
        if (ok) ok = translator.feed(text, length, out);
    }
};

class EncodingStream {
  public:
    explicit EncodingStream(const languages::Row& row);
    explicit EncodingStream(languages::Alphabet alphabet);

    // False only when the alphabet's tables outgrow their budget, which the
    // languages of the table never do.
    // Mostly straight into the output's buffer; one character at a time
    // through the sink where that stops.
    template <typename CharT>
    bool feed(const CharT* text, std::size_t length, Utf8Output& out) {
        Sink sink{out};
        return engine::Encoder::fast_then_one(
            text, length,
            [&](const CharT* rest, std::size_t count) {
                char* at = out.free_space();
                const std::size_t done = encoder_.feed_utf8_into(rest, count, at, out.space_end());
                out.fill_to(at);
                return done;
            },
            [&](const CharT* one) { return encoder_.feed_utf8(one, 1, sink); });
    }
    bool finish(Utf8Output& out) {
        Sink sink{out};
        return encoder_.finish_utf8(sink);
    }
    // Goes on with a text whose first characters another stream encoded
    // (only where every pattern is one character long).
    void restart_after_first() { encoder_.restart_after_first(); }
    std::string failure_text() const;

  private:
    struct Sink {
        Utf8Output& out;
        static_assert(engine::Encoder::kReadableBytes >= Utf8Output::kBlockCopy,
                      "pieces can be copied in blocks");
        void operator()(const char* bytes, std::size_t length) {
            out.put_padded_bytes(bytes, length);
        }
    };
    engine::Encoder encoder_;
};

class DecodingStream {
  public:
    // The route decides which readers of whole groups there are.
    explicit DecodingStream(const languages::Row& row,
                            engine::Route route = engine::active_route());
    // Any alphabet; `name`, such as "鸽语 (pigeon)", begins the messages.
    DecodingStream(const languages::Alphabet& alphabet, std::string name, engine::Route route);
    // The reader refers to the stream's own members.
    DecodingStream(const DecodingStream&) = delete;
    DecodingStream& operator=(const DecodingStream&) = delete;

    // False at the first group that does not read as a character UTF-8 can
    // hold; failure() tells which and why.
    template <typename CharT>
    bool feed(const CharT* text, std::size_t length, Utf8Output& out) {
        Characters characters{out};
        return settle(decoder_.feed(text, length, characters, reader_));
    }
    bool finish(Utf8Output& out) {
        Characters characters{out};
        return settle(decoder_.finish(characters, reader_));
    }

    // Decodes bytes through utf8 into sink, which feeds this stream, with the
    // same outcome as utf8.decode(): false for invalid UTF-8. Wherever the
    // stream is between groups, whole groups are read straight from the
    // bytes (binary ones in blocks, runs through bit planes, others token by
    // token); the rest goes the long way a group at a time, or in one piece
    // once the readers have refused many groups in a row.
    template <typename Sink>
    bool decode_bytes(const unsigned char* bytes, std::size_t length, Utf8Input& utf8, Sink& sink,
                      Utf8Output& out) {
        const unsigned char* p = bytes;
        const unsigned char* const end = bytes + length;
        std::size_t refused = 0;
        while (whole_groups_usable() && refused <= kMostRefused) {
            if (at_rest(utf8)) refused = take_whole_groups(p, end, utf8, out) ? 0 : refused + 1;
            const void* const blank = std::memchr(p, blank_, std::size_t(end - p));
            if (!blank) break;
            const unsigned char* const group_end = static_cast<const unsigned char*>(blank) + 1;
            if (!utf8.decode(p, std::size_t(group_end - p), sink)) return false;
            if (failure_.kind != DecodeFailure::Kind::none) return true;
            p = group_end;
        }
        return utf8.decode(p, std::size_t(end - p), sink);
    }

    const DecodeFailure& failure() const { return failure_; }
    // "the text is not in 鸽语 (pigeon): the group at ...", its offset counted
    // from `characters_before` characters ahead of this stream's text.
    std::string failure_text(std::uint64_t characters_before = 0) const;
    // Characters read since the start or the last finish.
    std::uint64_t position() const { return decoder_.position(); }
    const std::string& name() const { return name_; }
    std::int64_t base() const { return base_; }

  private:
    // Receives the decoded characters, which the decoder has checked.
    struct Characters {
        Utf8Output& out;
        void operator()(engine::CodePoint c) { out.put(c); }
    };
    // Reads the groups the engine leaves to its caller, the start of a long
    // one as the engine spills it.
    struct Reader final : engine::Decoder::GroupSpill {
        Reader(unsigned base, const engine::Decoder& decoder, DecodeFailure& failure)
            : group(base), decoder(decoder), failure(failure) {}
        engine::GroupReader group;
        const engine::Decoder& decoder;
        DecodeFailure& failure;
        void spill(const engine::Text& start) override {
            for (engine::CodePoint c : start) group.take(c);
        }
        bool operator()(const engine::Text& rest, Characters& characters) {
            if (failure.kind != DecodeFailure::Kind::none) return false;
            for (engine::CodePoint c : rest) group.take(c);
            const engine::GroupValue value = group.finish();
            failure.position = decoder.group_position();
            if (value.problem != engine::GroupProblem::none) {
                failure.kind = DecodeFailure::Kind::unreadable_group;
                failure.problem = value.problem;
                return false;
            }
            if ((value.character & ~engine::CodePoint(0x7FF)) == 0xD800) {
                failure.kind = DecodeFailure::Kind::lone_surrogate;
                failure.surrogate = value.character;
                return false;
            }
            characters(value.character);
            return true;
        }
    };

    static constexpr std::size_t kMostRefused = 16;
    bool whole_groups_usable() const {
        return binary_.usable() || tokens_.usable() || runs_.usable();
    }
    std::size_t read_whole_groups(const unsigned char*& p, const unsigned char* end,
                                  engine::CodePoint* read, std::uint64_t& characters) const {
        if (binary_.usable()) return binary_.read(p, end, read, characters);
        if (tokens_.usable()) return tokens_.read(p, end, read, characters);
        return runs_.read(p, end, read, characters);
    }
    // Whole groups read straight from the bytes: in blocks, token by token
    // or as runs. False when not a byte could be taken.
    bool take_whole_groups(const unsigned char*& p, const unsigned char* end, Utf8Input& utf8,
                           Utf8Output& out) {
        static_assert(engine::BinaryGroups::kMostRead == engine::TokenGroups::kMostRead &&
                          engine::BinaryGroups::kMostRead == engine::RunPlanes::kMostRead,
                      "one buffer fits all");
        engine::CodePoint read[engine::BinaryGroups::kMostRead];
        const unsigned char* const start = p;
        for (;;) {
            const unsigned char* const from = p;
            std::uint64_t characters = 0;
            out.put_each(read, read_whole_groups(p, end, read, characters));
            decoder_.skip(characters);
            utf8.skip(std::size_t(p - from));
            if (p == from) return p != start;
        }
    }

    bool at_rest(const Utf8Input& utf8) const {
        return decoder_.at_rest() && utf8.between_characters() &&
               failure_.kind == DecodeFailure::Kind::none;
    }

    bool settle(engine::Decoder::Status status) {
        if (status == engine::Decoder::Status::ok || failure_.kind != DecodeFailure::Kind::none)
            return failure_.kind == DecodeFailure::Kind::none;
        if (status == engine::Decoder::Status::too_large) {
            failure_.kind = DecodeFailure::Kind::too_large;
        } else {
            failure_.kind = DecodeFailure::Kind::lone_surrogate;
            failure_.position = decoder_.group_position();
            failure_.surrogate = decoder_.refused_surrogate();
        }
        return false;
    }

    const std::string name_;
    const std::int64_t base_;
    const unsigned char blank_;  // the byte that ends the row's groups
    engine::Decoder decoder_;
    DecodeFailure failure_;
    Reader reader_;
    engine::BinaryGroups binary_;
    engine::TokenGroups tokens_;
    engine::RunPlanes runs_;
};

}  // namespace cli
