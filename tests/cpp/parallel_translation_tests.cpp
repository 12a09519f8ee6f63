// Unit tests of translation on several processors: for any text, cut into
// pieces of any size and read in any steps, the output and the message are
// those of one stream translating the whole text at once; decoding cuts only
// after blanks that no pattern can reach, encoding only between characters
// and only where every pattern is one character long.
#include <cstdio>
#include <initializer_list>
#include <random>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "checks.hpp"
#include "parallel_translation.hpp"
#include "platform/system_io.hpp"
#include "translation.hpp"
#include "utf8_input.hpp"
#include "utf8_output.hpp"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define close _close
#define fileno _fileno
#define lseek _lseeki64
#else
#include <unistd.h>
#endif

namespace {

using checks::check;
using Bytes = std::string;

struct Result {
    Bytes output;
    std::string failure;
};

const languages::Row& row_of(const char* english, languages::Direction direction) {
    for (const languages::Row& row : languages::rows) {
        if (row.direction == direction && std::string(row.english) == english) return row;
    }
    throw std::logic_error("no such row");
}

Bytes encoded(const languages::Row& row, const std::u32string& text) {
    cli::EncodingStream stream(row);
    cli::Utf8Output out(cli::Utf8Output::kInMemory);
    stream.feed(text.data(), text.size(), out);
    stream.finish(out);
    return Bytes(out.data(), out.size());
}

Bytes utf8_of(const std::u32string& text) {
    cli::Utf8Output out(cli::Utf8Output::kInMemory);
    for (char32_t c : text) out.put(c);
    return Bytes(out.data(), out.size());
}

// The reference: one stream, the whole text in one piece.
template <typename Stream>
Result translated_at_once(const languages::Row& row, const Bytes& text) {
    Stream stream(row);
    cli::Utf8Input utf8;
    cli::Utf8Output out(cli::Utf8Output::kInMemory);
    cli::CharacterSink<Stream> sink{stream, out};
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    bool decoded = false;
    if constexpr (std::is_same_v<Stream, cli::DecodingStream>)
        decoded = stream.decode_bytes(bytes, text.size(), utf8, sink, out);
    else
        decoded = utf8.decode(bytes, text.size(), sink);
    if (decoded && sink.ok) {
        decoded = utf8.finish();
        if (decoded) sink.ok = stream.finish(out);
    }
    Result result{Bytes(out.data(), out.size()), ""};
    if (!sink.ok) {
        result.failure = "in: " + stream.failure_text();
    } else if (!decoded) {
        result.failure = "in: invalid UTF-8 at byte offset " + std::to_string(utf8.error_offset()) +
                         ": " + utf8.error_reason();
    }
    return result;
}

Result translated_at_once(const languages::Row& row, const Bytes& text) {
    return row.direction == languages::Direction::decode
               ? translated_at_once<cli::DecodingStream>(row, text)
               : translated_at_once<cli::EncodingStream>(row, text);
}

class TemporaryFile {
  public:
    TemporaryFile() : file_(std::tmpfile()) {
        if (!file_) throw std::runtime_error("no temporary file");
    }
    ~TemporaryFile() { std::fclose(file_); }
    int fd() const { return fileno(file_); }
    void rewind() const { lseek(fd(), 0, SEEK_SET); }

  private:
    std::FILE* file_;
};

// A pipe whose writer hands the text over in pieces of random sizes, so that
// reads come back short.
class FedPipe {
  public:
    FedPipe(const Bytes& text, std::mt19937_64& random) {
        int ends[2];
#ifdef _WIN32
        if (_pipe(ends, 1 << 16, _O_BINARY) != 0) throw std::runtime_error("no pipe");
#else
        if (pipe(ends) != 0) throw std::runtime_error("no pipe");
#endif
        read_end_ = ends[0];
        std::vector<std::size_t> sizes;
        for (std::size_t left = text.size(); left != 0;) {
            sizes.push_back(std::min(left, std::size_t(1 + random() % 100)));
            left -= sizes.back();
        }
        writer_ = std::thread([text, sizes, write_end = ends[1]] {
            std::string error;
            std::size_t at = 0;
            for (std::size_t size : sizes) {
                platform::system_io::write_all(write_end, text.data() + at, size, error);
                at += size;
            }
            close(write_end);
        });
    }
    ~FedPipe() {
        writer_.join();
        close(read_end_);
    }
    int fd() const {
        return read_end_;
    }

  private:
    int read_end_;
    std::thread writer_;
};

enum class Input { file, pipe };

Result translated_in_pieces(const languages::Row& row, const Bytes& text, unsigned workers,
                            std::size_t piece_size, std::size_t read_size, Input input,
                            std::mt19937_64& random) {
    TemporaryFile file, output;
    // The file is read from where its descriptor stands, past bytes before.
    const Bytes before(random() % 5000, '\xff');
    std::string error;
    platform::system_io::write_all(file.fd(), before.data(), before.size(), error);
    platform::system_io::write_all(file.fd(), text.data(), text.size(), error);
    lseek(file.fd(), long(before.size()), SEEK_SET);
    // The texts fit in a pipe's buffer: the writer never waits for a
    // translation that stopped early.
    FedPipe pipe(input == Input::pipe ? text : Bytes(), random);
    cli::ParallelTranslation translation(row, workers, {piece_size, piece_size + random() % 8});
    check(translation.started(), "the workers start");
    const cli::ParallelOutcome outcome =
        translation.run(input == Input::pipe ? pipe.fd() : file.fd(), "in", output.fd(), read_size);
    if (input == Input::file && outcome.failure.empty()) {
        const auto at = lseek(file.fd(), 0, SEEK_CUR);
        check(at == lseek(file.fd(), 0, SEEK_END), "the file is read to its end");
    }
    output.rewind();
    Result result{"", outcome.failure};
    unsigned char buffer[4096];
    for (long long got;
         (got = platform::system_io::read_some(output.fd(), buffer, sizeof buffer, error)) > 0;)
        result.output.append(reinterpret_cast<const char*>(buffer), std::size_t(got));
    check(result.output.size() == outcome.written, "the bytes written are counted");
    return result;
}

char32_t random_character(std::mt19937_64& random) {
    switch (random() % 6) {
        case 0:
            return char32_t(random() % 0x80);
        case 1:
            return U" \n\t\u3000"[random() % 4];
        case 2:
            return char32_t(0x4E00 + random() % 0x5000);
        case 3:
            return char32_t(0x10000 + random() % 0x100000);
        default:
            return U"\u55b5\u5471!~ 0Oo"[random() % 9];
    }
}

// Text, in the language for decoding, then spoiled at random: bytes changed,
// cut out or put in, among them blanks, syllable bytes and bytes UTF-8 never
// holds.
Bytes random_text(const languages::Row& row, std::mt19937_64& random) {
    std::u32string plain;
    const std::size_t length = random() % 60;
    for (std::size_t k = 0; k < length; ++k) plain += random_character(random);
    Bytes text = row.direction == languages::Direction::decode
                     ? encoded(row_of(row.english, languages::Direction::encode), plain)
                     : utf8_of(plain);
    if (random() % 8 == 0) text += Bytes(random() % 40, text.empty() ? ' ' : text[0]);
    static const char stray[] = {' ', '0', 'O', '~', '\xe5', '\x96', '\xb5', '\xff', '\n', '1'};
    const std::size_t changes = random() % 3 == 0 ? 0 : random() % 3;
    for (std::size_t k = 0; k < changes && !text.empty(); ++k) {
        const std::size_t at = random() % text.size();
        const char byte = stray[random() % sizeof stray];
        switch (random() % 3) {
            case 0:
                text[at] = byte;
                break;
            case 1:
                text.erase(at, 1);
                break;
            default:
                text.insert(text.begin() + std::ptrdiff_t(at), byte);
        }
    }
    return text;
}

void pieces_translate_as_the_whole_text() {
    std::mt19937_64 random(20261209);
    for (unsigned k = 0; k < 1200; ++k) {
        const languages::Row& row =
            languages::rows[k % (sizeof languages::rows / sizeof languages::rows[0])];
        const Bytes text = random_text(row, random);
        const Result whole = translated_at_once(row, text);
        const Input input = k % 16 < 8 ? Input::file : Input::pipe;
        const Result pieces =
            translated_in_pieces(row, text, 1 + unsigned(random() % 3), 1 + random() % 64,
                                 1 + random() % 80, input, random);
        check(pieces.failure == whole.failure, "the same message", k);
        if (whole.failure.empty()) {
            check(pieces.output == whole.output, "the same output", k);
        } else {
            check(whole.output.compare(0, pieces.output.size(), pieces.output) == 0,
                  "what was written before the failure is the start of the output", k);
        }
    }
}

// Groups longer than a piece go on from worker to worker's turn as one text,
// and their offsets count every character before them.
void long_groups_and_their_offsets() {
    const languages::Row& decoding = row_of("monkey", languages::Direction::decode);
    const Bytes zero = "\xe5\x94\xa7\xe5\x94\xa7", one = "\xe5\x90\xb1\xe5\x90\xb1";
    Bytes text = one + " " + one + one + " ";
    for (int k = 0; k < 200; ++k) text += zero;
    text += one + " " + one + " ";
    // 23 ones in base 2: a number above U+10FFFF, whose first syllable
    // takes character offsets 414 and 415.
    Bytes too_large = text;
    for (int k = 0; k < 23; ++k) too_large += one;
    too_large += " " + one;
    std::mt19937_64 random(414);
    for (std::size_t piece_size : {1, 7, 64, 300}) {
        for (const Bytes& case_text : {text, too_large}) {
            const Result whole = translated_at_once(decoding, case_text);
            const Result pieces =
                translated_in_pieces(decoding, case_text, 2, piece_size, 5,
                                     piece_size % 2 ? Input::file : Input::pipe, random);
            check(pieces.failure == whole.failure && pieces.output.size() <= whole.output.size(),
                  "a long group read across pieces", piece_size);
            if (whole.failure.empty())
                check(pieces.output == whole.output, "its output", piece_size);
        }
    }
    const std::string failure = translated_at_once(decoding, too_large).failure;
    check(failure.find("character offset 414 ") != std::string::npos ||
              failure.find("character offset 415 ") != std::string::npos,
          "the number too large is named at its offset");
}

engine::Text text_of(const char32_t* text) {
    return engine::Text(text, text + std::char_traits<char32_t>::length(text));
}

bool cuts_after(const std::vector<engine::Pass>& passes, unsigned char byte) {
    const unsigned char text[] = {'a', byte, 'b'};
    return cli::TextCuts::after_blanks(passes).last_cut(text, text + 3) == text + 2;
}

// Where a text is cut last for encoding, as an offset (-1 for nowhere).
long last_character_cut(const std::vector<engine::Pass>& passes,
                        std::initializer_list<unsigned char> text) {
    const unsigned char* const cut =
        cli::TextCuts::between_characters(2, passes).last_cut(text.begin(), text.end());
    return cut ? long(cut - text.begin()) : -1;
}

void only_blanks_no_pattern_reaches_are_cuts() {
    const engine::Pass space_to_zero{text_of(U" "), text_of(U"0")};
    const engine::Pass zero_to_space{text_of(U"0"), text_of(U" ")};
    check(cuts_after({}, ' ') && cuts_after({}, '\n'), "a blank alone");
    check(!cuts_after({}, 'x'), "no other character");
    check(cuts_after({zero_to_space}, '0'), "a character replaced by a blank");
    check(!cuts_after({zero_to_space, space_to_zero}, '0'), "a blank replaced again");
    check(!cuts_after({{text_of(U"a "), text_of(U"1")}}, ' '), "a blank a pattern spans");
    check(!cuts_after({{text_of(U" "), text_of(U"")}}, ' '), "a blank taken out");
    check(!cuts_after({{text_of(U" "), text_of(U"  ")}}, ' '), "a blank made longer");
}

void characters_are_cuts_where_each_is_written_alone() {
    const std::vector<engine::Pass> single{{text_of(U"1"), text_of(U"\u55b5\u55b5")}};
    check(last_character_cut(single, {'a', 0xE4, 0xB8, 0xAD, 'b'}) == 4,
          "before the last character");
    check(last_character_cut({}, {'a', 'b'}) == 1, "no pass at all");
    check(last_character_cut(single, {0xE4, 0xB8, 0xAD, 0xE4, 0xB8}) == 3,
          "never inside a character");
    check(last_character_cut(single, {0xE4, 0xB8, 0xAD}) == -1, "one character is no cut");
    check(last_character_cut(single, {'a', 0xE5, 'b', 0x80}) == 1,
          "never after a sequence the next byte may break");
    check(last_character_cut({{text_of(U"1"), text_of(U"x")}, {text_of(U"x "), text_of(U"y")}},
                             {'a', 'b', 'c'}) == -1,
          "none where a longer pattern can match");
    check(last_character_cut({{text_of(U"1"), text_of(U"x")}, {text_of(U"2 "), text_of(U"y")}},
                             {'a', 'b', 'c'}) == 2,
          "a longer pattern of what the text never holds");
}

// The pieces grow as the language's encoding shrinks, and no character makes
// a piece's output longer than 4 MB.
void encoding_pieces_keep_their_output_small() {
    const auto mapped = [](const char* english) {
        return cli::ParallelTranslation::piece_sizes_for(
                   row_of(english, languages::Direction::encode))
            .mapped;
    };
    check(mapped("bubble") > mapped("monkey"), "bubble language's pieces larger");
    for (const char* english : {"bubble", "pigeon", "cat", "monkey"}) {
        for (char32_t c : {U'\x7F', U'a', U'\x7FF', U'\xFFFF', U'\x10FFFF'}) {
            const std::u32string text(100, c);
            const double per_byte =
                double(encoded(row_of(english, languages::Direction::encode), text).size()) /
                double(utf8_of(text).size());
            check(per_byte * double(mapped(english)) <= double(4 << 20),
                  "a piece's output within 4 MB");
        }
    }
}

}  // namespace

int main() {
    pieces_translate_as_the_whole_text();
    long_groups_and_their_offsets();
    only_blanks_no_pattern_reaches_are_cuts();
    characters_are_cuts_where_each_is_written_alone();
    encoding_pieces_keep_their_output_small();
    return checks::exit_status();
}
