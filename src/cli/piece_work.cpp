#include "piece_work.hpp"

namespace cli {

bool PieceWork::translate(const PieceOfInput& piece, Utf8Output& out) {
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

}  // namespace cli
