#include "run.hpp"

#include <cstdlib>
#include <memory>

#include "detection.hpp"
#include "engine/kernels/route.hpp"
#include "options.hpp"
#include "parallel_translation.hpp"
#include "platform/mapped_view.hpp"
#include "platform/system_io.hpp"
#include "translation.hpp"
#include "usage.hpp"
#include "utf8_input.hpp"
#include "utf8_output.hpp"

namespace cli {

namespace {

void write_text(int fd, const std::string& text) {
    std::string ignored;
    platform::system_io::write_all(fd, text.data(), text.size(), ignored);
}

void report(const std::string& message) {
    write_text(platform::system_io::kStandardError, "mirelo: " + message + "\n");
}

struct Input {
    int fd;
    std::string name;  // for messages
};

// Bytes to characters to the translator; decoding reads whole groups from the bytes.
template <typename Translator>
bool decode_bytes(Translator&, const unsigned char* bytes, std::size_t length, Utf8Input& utf8,
                  CharacterSink<Translator>& sink) {
    return utf8.decode(bytes, length, sink);
}
bool decode_bytes(DecodingStream& stream, const unsigned char* bytes, std::size_t length,
                  Utf8Input& utf8, CharacterSink<DecodingStream>& sink) {
    return stream.decode_bytes(bytes, length, utf8, sink, sink.out);
}

// On failure: what was written must not pass for a translation.
void abandon_output(std::uint64_t written, const platform::system_io::Retraction& retraction) {
    if (retraction.possible()) {
        if (!retraction.retract()) report("could not cut the incomplete output off the file");
    } else if (written != 0) {
        report("the " + std::to_string(written) +
               " bytes written before the error are incomplete: discard them");
    }
}

// Reads the input in chunks through the translator. A read that returns less
// than asked for means the writer is slow: what is ready goes out at once.
template <typename Translator>
int translate(Translator& translator, const Input& input, std::size_t chunk_size) {
    Utf8Output out(platform::system_io::kStandardOutput);
    const platform::system_io::Retraction retraction(platform::system_io::kStandardOutput);
    std::unique_ptr<unsigned char[]> chunk(new unsigned char[chunk_size]);
    Utf8Input utf8;
    CharacterSink<Translator> sink{translator, out};
    std::string failure;
    for (;;) {
        std::string error;
        const long long got =
            platform::system_io::read_some(input.fd, chunk.get(), chunk_size, error);
        if (got < 0) {
            failure = input.name + ": " + error;
            break;
        }
        const bool decoded =
            got == 0 ? utf8.finish()
                     : decode_bytes(translator, chunk.get(), std::size_t(got), utf8, sink);
        if (sink.ok && decoded && got == 0) sink.ok = translator.finish(out);
        if (!sink.ok) {
            failure = input.name + ": " + translator.failure_text();
        } else if (!decoded) {
            failure = input.name + ": " + utf8.failure_text();
        } else if ((got == 0 || std::size_t(got) < chunk_size) && !out.flush()) {
            failure = "cannot write the output: " + out.error();
        }
        if (!failure.empty() || got == 0) break;
    }
    if (failure.empty()) return kSuccess;
    report(failure);
    out.drop();
    abandon_output(out.written(), retraction);
    return kBadInput;
}

int translate_in_parallel(ParallelTranslation& translation, const Input& input,
                          std::size_t read_size) {
    static std::string shrank;
    shrank = "mirelo: " + input.name +
             ": the file shrank while it was read: the output is incomplete, discard it\n";
    platform::MappedView::exit_on_fault(shrank.c_str(), kBadInput);
    const platform::system_io::Retraction retraction(platform::system_io::kStandardOutput);
    const ParallelOutcome outcome =
        translation.run(input.fd, input.name, platform::system_io::kStandardOutput, read_size);
    if (outcome.failure.empty()) return kSuccess;
    report(outcome.failure);
    abandon_output(outcome.written, retraction);
    return kBadInput;
}

int translate(const Invocation& invocation, const Input& input) {
    if (invocation.action == Action::encode || invocation.action == Action::decode) {
        const languages::Row& row = *invocation.row;
        if (const unsigned workers = ParallelTranslation::workers_for(row)) {
            ParallelTranslation translation(row, workers,
                                            ParallelTranslation::piece_sizes_for(row));
            if (translation.started())
                return translate_in_parallel(translation, input, invocation.chunk_size);
        }
    }
    if (invocation.action == Action::encode) {
        EncodingStream stream(*invocation.row);
        return translate(stream, input, invocation.chunk_size);
    }
    if (invocation.action == Action::decode) {
        DecodingStream stream(*invocation.row);
        return translate(stream, input, invocation.chunk_size);
    }
    Detection detection;
    return translate(detection, input, invocation.chunk_size);
}

}  // namespace

int run(const std::vector<std::string>& arguments) {
    platform::system_io::use_binary_standard_streams();
    engine::Route route;
    std::string route_error;
    if (!engine::route_named(std::getenv("MIRELO_KERNEL"), route, route_error)) {
        report(route_error);
        return kBadUsage;
    }
    engine::choose_route(route);
    const ParsedArguments parsed = parse_arguments(arguments);
    if (!parsed.ok) {
        report(parsed.error);
        write_text(platform::system_io::kStandardError, kUsageHint);
        return kBadUsage;
    }
    const Invocation& invocation = parsed.invocation;
    if (invocation.action == Action::help) {
        write_text(platform::system_io::kStandardOutput, kHelpText);
        return kSuccess;
    }
    if (invocation.action == Action::version) {
        write_text(platform::system_io::kStandardOutput, std::string("mirelo ") + kVersion + "\n");
        return kSuccess;
    }
    if (invocation.file.empty())
        return translate(invocation, Input{platform::system_io::kStandardInput, "standard input"});
    std::string error;
    const int fd = platform::system_io::open_for_reading(invocation.file, error);
    if (fd < 0) {
        report(invocation.file + ": " + error);
        return kBadInput;
    }
    const int status = translate(invocation, Input{fd, invocation.file});
    platform::system_io::close_file(fd);
    return status;
}

}  // namespace cli
