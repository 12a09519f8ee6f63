#include "cli/parallel_decoding.hpp"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>

#include "cli/translation.hpp"
#include "cli/utf8_input.hpp"
#include "cli/utf8_output.hpp"
#include "platform/system_io.hpp"
#include "requests/language_passes.hpp"

namespace cli {

namespace {

// Each worker keeps a memo and buffers of its own: a few MB.
constexpr unsigned kMostWorkers = 4;

}  // namespace

struct ParallelDecoding::Piece {
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t size = 0;
    std::uint64_t sequence = 0;
    std::uint64_t text_at = 0;  // byte offset in the input where the worker's text began
    bool opens = false;         // starts a text
    bool closes = false;        // ends it
};

struct ParallelDecoding::Worker {
    Worker(const languages::Row& row, std::size_t piece_size)
        : stream(row), out(Utf8Output::kInMemory) {
        piece.bytes.reset(new unsigned char[piece_size]);
    }
    DecodingStream stream;
    Utf8Input utf8;
    Utf8Output out;
    Piece piece;
    bool busy = false;  // guarded by mutex_: holds a piece not yet written
    std::thread thread;
};

unsigned ParallelDecoding::workers_for(const languages::Row& row) {
    const unsigned processors = std::thread::hardware_concurrency();
    if (processors < 2 || !TextCuts(languages::alphabet_of(row).passes).any()) return 0;
    return std::min(processors, kMostWorkers);
}

ParallelDecoding::ParallelDecoding(const languages::Row& row, unsigned workers,
                                   std::size_t piece_size)
    : cuts_(languages::alphabet_of(row).passes),
      piece_size_(piece_size),
      gathered_(new unsigned char[piece_size]) {
    for (unsigned k = 0; k < workers; ++k)
        workers_.push_back(std::make_unique<Worker>(row, piece_size));
    try {
        for (const std::unique_ptr<Worker>& worker : workers_)
            worker->thread = std::thread([this, &worker] { work(*worker); });
        started_ = !workers_.empty();
    } catch (const std::system_error&) {
        started_ = false;
    }
}

ParallelDecoding::~ParallelDecoding() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (const std::unique_ptr<Worker>& worker : workers_) {
        if (worker->thread.joinable()) worker->thread.join();
    }
}

void ParallelDecoding::work(Worker& worker) {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return worker.busy || stopping_; });
            if (!worker.busy) return;
        }
        decode_piece(worker);
    }
}

void ParallelDecoding::decode_piece(Worker& worker) {
    const Piece& piece = worker.piece;
    if (piece.opens) worker.utf8.restart();
    CharacterSink<DecodingStream> sink{worker.stream, worker.out};
    bool decoded =
        worker.stream.decode_bytes(piece.bytes.get(), piece.size, worker.utf8, sink, worker.out);
    std::uint64_t characters = 0;
    if (decoded && sink.ok && piece.closes) {
        decoded = worker.utf8.finish();
        characters = worker.stream.position();
        if (decoded) sink.ok = worker.stream.finish(worker.out);
    }
    write_in_turn(worker, decoded, sink.ok, characters);
}

void ParallelDecoding::write_in_turn(Worker& worker, bool decoded, bool read,
                                     std::uint64_t characters) {
    const Piece& piece = worker.piece;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return turn_ == piece.sequence || !failure_.empty(); });
    if (failure_.empty()) {
        if (!read) {
            failure_ = input_name_ + ": " + worker.stream.failure_text(characters_written_);
        } else if (!decoded) {
            failure_ = input_name_ + ": invalid UTF-8 at byte offset " +
                       std::to_string(piece.text_at + worker.utf8.error_offset()) + ": " +
                       worker.utf8.error_reason();
        } else {
            write_output(worker, lock, characters);
        }
    }
    worker.out.drop();
    ++turn_;
    worker.busy = false;
    changed_.notify_all();
}

void ParallelDecoding::write_output(Worker& worker, std::unique_lock<std::mutex>& lock,
                                    std::uint64_t characters) {
    // Only the piece whose turn it is writes: the lock can go meanwhile.
    lock.unlock();
    std::string error;
    const bool wrote =
        worker.out.size() == 0 ||
        platform::system_io::write_all(out_fd_, worker.out.data(), worker.out.size(), error);
    lock.lock();
    if (!wrote) {
        failure_ = "cannot write the output: " + error;
        return;
    }
    written_ += worker.out.size();
    if (worker.piece.closes) characters_written_ += characters;
}

ParallelOutcome ParallelDecoding::run(int in_fd, const std::string& input_name, int out_fd,
                                      std::size_t read_size) {
    input_name_ = input_name;
    out_fd_ = out_fd;
    std::string read_error;
    bool read_failed = false;
    for (;;) {
        const std::size_t wanted = std::min(read_size, piece_size_ - gathered_size_);
        const long long got = platform::system_io::read_some(
            in_fd, gathered_.get() + gathered_size_, wanted, read_error);
        if (got < 0) {
            read_failed = true;
            break;
        }
        gathered_size_ += std::size_t(got);
        const bool at_end = got == 0;
        const bool short_read = std::size_t(got) < wanted;
        if ((at_end || short_read || gathered_size_ == piece_size_) && !send(at_end)) break;
        if (at_end) break;
        // The input is slow: what it gave goes out before the next wait.
        if (short_read) drain();
    }
    drain();
    std::lock_guard<std::mutex> lock(mutex_);
    ParallelOutcome outcome{failure_, written_};
    if (outcome.failure.empty() && read_failed) outcome.failure = input_name + ": " + read_error;
    return outcome;
}

bool ParallelDecoding::send(bool at_end) {
    if (at_end) {
        return (gathered_size_ == 0 && open_text_ == nullptr) || hand_over(gathered_size_, true);
    }
    const unsigned char* const begin = gathered_.get();
    if (const unsigned char* cut = cuts_.last_cut(begin, begin + gathered_size_))
        return hand_over(std::size_t(cut - begin), true);
    // No place to cut: a full buffer goes on as the same text; less waits for more.
    return gathered_size_ < piece_size_ || hand_over(gathered_size_, false);
}

bool ParallelDecoding::hand_over(std::size_t cut, bool closes) {
    Worker* const worker =
        open_text_ != nullptr ? open_text_ : workers_[next_worker_++ % workers_.size()].get();
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return !worker->busy || !failure_.empty(); });
        if (!failure_.empty()) return false;
    }
    Piece& piece = worker->piece;
    std::swap(piece.bytes, gathered_);
    const std::size_t rest = gathered_size_ - cut;
    std::memcpy(gathered_.get(), piece.bytes.get() + cut, rest);
    piece.size = cut;
    piece.sequence = sequence_++;
    piece.opens = open_text_ == nullptr;
    if (piece.opens) piece.text_at = gathered_at_;
    piece.closes = closes;
    open_text_ = closes ? nullptr : worker;
    gathered_at_ += cut;
    gathered_size_ = rest;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        worker->busy = true;
    }
    changed_.notify_all();
    return true;
}

void ParallelDecoding::drain() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] {
        return std::none_of(workers_.begin(), workers_.end(),
                            [](const std::unique_ptr<Worker>& worker) { return worker->busy; });
    });
}

}  // namespace cli
