#include "piece_work.hpp"

namespace cli {

namespace {

class DecodingWork final : public PieceWork {
  public:
    explicit DecodingWork(const languages::Row& row) : stream_(row) {}

    bool translate(const PieceOfInput& piece, Utf8Output& out) override {
        if (piece.opens) utf8_.restart();
        CharacterSink<DecodingStream> sink{stream_, out};
        bool decoded = stream_.decode_bytes(piece.bytes, piece.size, utf8_, sink, out);
        if (decoded && sink.ok && piece.closes) {
            decoded = utf8_.finish();
            characters_ = stream_.position();
            if (decoded) sink.ok = stream_.finish(out);
        }
        read_ = sink.ok;
        return decoded && sink.ok;
    }
    std::uint64_t characters() const override { return characters_; }
    std::string failure_text(std::uint64_t characters_before,
                             std::uint64_t bytes_before) const override {
        return read_ ? utf8_.failure_text(bytes_before) : stream_.failure_text(characters_before);
    }

  private:
    DecodingStream stream_;
    Utf8Input utf8_;
    std::uint64_t characters_ = 0;
    bool read_ = true;  // false when the stream failed rather than UTF-8
};

class EncodingWork final : public PieceWork {
  public:
    explicit EncodingWork(const languages::Row& row) : stream_(row) {}

    bool translate(const PieceOfInput& piece, Utf8Output& out) override {
        if (piece.opens) {
            utf8_.restart();
            if (!piece.first) stream_.restart_after_first();
        }
        CharacterSink<EncodingStream> sink{stream_, out};
        bool decoded = utf8_.decode(piece.bytes, piece.size, sink);
        if (decoded && sink.ok && piece.last) {
            decoded = utf8_.finish();
            if (decoded) sink.ok = stream_.finish(out);
        }
        encoded_ = sink.ok;
        return decoded && sink.ok;
    }
    std::uint64_t characters() const override { return 0; }
    std::string failure_text(std::uint64_t, std::uint64_t bytes_before) const override {
        return encoded_ ? utf8_.failure_text(bytes_before) : stream_.failure_text();
    }

  private:
    EncodingStream stream_;
    Utf8Input utf8_;
    bool encoded_ = true;  // false when the stream failed rather than UTF-8
};

}  // namespace

TextCuts cuts_for(const languages::Row& row) {
    const languages::Alphabet alphabet = languages::alphabet_of(row);
    return row.direction == languages::Direction::decode
               ? TextCuts::after_blanks(alphabet.passes)
               : TextCuts::between_characters(alphabet.base, alphabet.passes);
}

std::unique_ptr<PieceWork> work_for(const languages::Row& row) {
    if (row.direction == languages::Direction::decode) return std::make_unique<DecodingWork>(row);
    return std::make_unique<EncodingWork>(row);
}

}  // namespace cli
