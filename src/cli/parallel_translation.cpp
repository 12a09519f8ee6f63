#include "parallel_translation.hpp"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>

#include "engine/utf8.hpp"
#include "languages/alphabet.hpp"
#include "platform/mapped_view.hpp"
#include "platform/system_io.hpp"
#include "utf8_output.hpp"

namespace cli {

namespace {

// Each worker keeps buffers of its own: a few MB.
constexpr unsigned kMostWorkers = 4;
constexpr std::size_t kMB = std::size_t(1) << 20;
// A view costs no copy, so decoding sees larger pieces than it reads; fewer
// views also mean fewer unmappings, each of which stops the other workers'
// processors to forget the pages.
constexpr ParallelTranslation::PieceSizes kDecodingPieces{kMB, 4 * kMB};
// Encoding writes up to 43 times its input (monkey language), bubble
// language's 8 times: each language's pieces are as large as keeps a piece's
// output within about 4 MB, and no smaller than 64 KB.
constexpr std::size_t kEncodedPiece = 4 * kMB;

// The UTF-8 bytes the passes make of one character.
std::size_t bytes_made_of(engine::CodePoint c, const std::vector<engine::Pass>& passes) {
    engine::Text text(1, c);
    for (const engine::Pass& pass : passes) text = engine::replace_whole(text, pass);
    std::string bytes;
    engine::append_utf8(text.data(), text.size(), bytes);
    return bytes.size();
}

// The most bytes encoding writes for a byte of text: the largest character of
// each UTF-8 length has the most digits, each written as the longest digit.
std::size_t most_bytes_per_byte(const languages::Alphabet& alphabet) {
    if (alphabet.base < 2) return 1;
    std::size_t digit_bytes = 0;
    for (std::int64_t digit = 0; digit < alphabet.base && digit < 10; ++digit) {
        digit_bytes =
            std::max(digit_bytes, bytes_made_of(engine::CodePoint('0' + digit), alphabet.passes));
    }
    const std::size_t separator = bytes_made_of(' ', alphabet.passes);
    static const engine::CodePoint largest[] = {0x7F, 0x7FF, 0xFFFF, 0x10FFFF};
    std::size_t most = 1;
    for (std::size_t length = 1; length <= 4; ++length) {
        std::size_t digits = 0;
        for (engine::CodePoint c = largest[length - 1]; c != 0;
             c /= engine::CodePoint(alphabet.base))
            ++digits;
        most = std::max(most, (digits * digit_bytes + separator) / length);
    }
    return most;
}

}  // namespace

struct ParallelTranslation::Piece {
    std::unique_ptr<unsigned char[]> bytes;  // where a read input goes
    platform::MappedView view;               // or where the file is mapped
    const unsigned char* data = nullptr;     // in one or the other
    std::size_t size = 0;
    std::uint64_t sequence = 0;
    std::uint64_t text_at = 0;  // byte offset in the input where the worker's text began
    bool opens = false;         // starts a text
    bool closes = false;        // ends it
    bool last = false;          // ends the input
};

struct ParallelTranslation::Worker {
    Worker(const languages::Row& row, std::size_t piece_size)
        : work(work_for(row)), out(Utf8Output::kInMemory) {
        piece.bytes.reset(new unsigned char[piece_size]);
    }
    std::unique_ptr<PieceWork> work;
    Utf8Output out;
    Piece piece;
    bool busy = false;  // guarded by mutex_: holds a piece not yet written
    std::thread thread;
};

unsigned ParallelTranslation::workers_for(const languages::Row& row) {
    const unsigned processors = std::thread::hardware_concurrency();
    if (processors < 2 || !cuts_for(row).any()) return 0;
    return std::min(processors, kMostWorkers);
}

ParallelTranslation::PieceSizes ParallelTranslation::piece_sizes_for(const languages::Row& row) {
    if (row.direction == languages::Direction::decode) return kDecodingPieces;
    const std::size_t expansion = most_bytes_per_byte(languages::alphabet_of(row));
    std::size_t mapped = kMB / 4;
    while (mapped > kMB / 16 && mapped * expansion > kEncodedPiece) mapped /= 2;
    // A view twice the buffer halves the unmappings.
    return {mapped / 2, mapped};
}

ParallelTranslation::ParallelTranslation(const languages::Row& row, unsigned workers,
                                         PieceSizes sizes)
    : cuts_(cuts_for(row)),
      piece_size_(sizes.read),
      mapped_size_(sizes.mapped),
      gathered_(new unsigned char[sizes.read]) {
    for (unsigned k = 0; k < workers; ++k)
        workers_.push_back(std::make_unique<Worker>(row, sizes.read));
    try {
        for (const std::unique_ptr<Worker>& worker : workers_)
            worker->thread = std::thread([this, &worker] { serve(*worker); });
        started_ = !workers_.empty();
    } catch (const std::system_error&) {
        started_ = false;
    }
}

ParallelTranslation::~ParallelTranslation() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (const std::unique_ptr<Worker>& worker : workers_) {
        if (worker->thread.joinable()) worker->thread.join();
    }
}

void ParallelTranslation::serve(Worker& worker) {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return worker.busy || stopping_; });
            if (!worker.busy) return;
        }
        translate_piece(worker);
    }
}

void ParallelTranslation::translate_piece(Worker& worker) {
    Piece& piece = worker.piece;
    const bool translated = worker.work->translate(
        {piece.data, piece.size, piece.opens, piece.closes, piece.sequence == 0, piece.last},
        worker.out);
    piece.view.release();
    write_in_turn(worker, translated);
}

void ParallelTranslation::write_in_turn(Worker& worker, bool translated) {
    const Piece& piece = worker.piece;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return turn_ == piece.sequence || !failure_.empty(); });
    if (failure_.empty()) {
        if (translated) {
            write_output(worker, lock);
        } else {
            failure_ =
                input_name_ + ": " + worker.work->failure_text(characters_written_, piece.text_at);
        }
    }
    worker.out.drop();
    ++turn_;
    worker.busy = false;
    changed_.notify_all();
}

void ParallelTranslation::write_output(Worker& worker, std::unique_lock<std::mutex>& lock) {
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
    if (worker.piece.closes) characters_written_ += worker.work->characters();
}

ParallelOutcome ParallelTranslation::run(int in_fd, const std::string& input_name, int out_fd,
                                         std::size_t read_size) {
    input_name_ = input_name;
    out_fd_ = out_fd;
    std::string read_error;
    std::uint64_t offset = 0, remaining = 0;
    // Files that say they are empty may still give bytes when read, as the
    // system's own files do.
    const bool input_read =
        platform::MappedView::rest_of_file(in_fd, offset, remaining) && remaining > 0
            ? map_file(in_fd, offset, remaining, read_size, read_error)
            : read_input(in_fd, read_size, read_error);
    drain();
    std::lock_guard<std::mutex> lock(mutex_);
    ParallelOutcome outcome{failure_, written_};
    if (outcome.failure.empty() && !input_read) outcome.failure = input_name + ": " + read_error;
    return outcome;
}

bool ParallelTranslation::map_file(int fd, std::uint64_t offset, std::uint64_t remaining,
                                   std::size_t read_size, std::string& error) {
    const std::uint64_t end = offset + remaining;
    std::uint64_t at = offset;
    while (at < end) {
        const std::size_t length = std::size_t(std::min<std::uint64_t>(mapped_size_, end - at));
        platform::MappedView view;
        if (!view.map(fd, at, length)) {
            // What the system will not show can still be read.
            platform::MappedView::move_to(fd, at);
            gathered_at_ = at - offset;
            return read_input(fd, read_size, error);
        }
        const unsigned char* const begin = view.data();
        const unsigned char* const cut =
            at + length == end ? begin + length : cuts_.last_cut(begin, begin + length);
        const std::size_t taken = cut != nullptr ? std::size_t(cut - begin) : length;
        Worker* const worker = next_worker();
        if (worker == nullptr) break;
        worker->piece.view = std::move(view);
        worker->piece.data = begin;
        start(*worker, taken, cut != nullptr, at + length == end, at - offset);
        at += taken;
    }
    platform::MappedView::move_to(fd, at);
    return true;
}

bool ParallelTranslation::read_input(int fd, std::size_t read_size, std::string& error) {
    for (;;) {
        const std::size_t wanted = std::min(read_size, piece_size_ - gathered_size_);
        const long long got =
            platform::system_io::read_some(fd, gathered_.get() + gathered_size_, wanted, error);
        if (got < 0) return false;
        gathered_size_ += std::size_t(got);
        const bool at_end = got == 0;
        const bool short_read = std::size_t(got) < wanted;
        if ((at_end || short_read || gathered_size_ == piece_size_) && !send(at_end)) return true;
        if (at_end) return true;
        // The input is slow: what it gave goes out, or fails, before the next wait.
        if (short_read && !drain()) return true;
    }
}

bool ParallelTranslation::send(bool at_end) {
    if (at_end) return hand_over(gathered_size_, true, true);
    const unsigned char* const begin = gathered_.get();
    if (const unsigned char* cut = cuts_.last_cut(begin, begin + gathered_size_))
        return hand_over(std::size_t(cut - begin), true, false);
    // No place to cut: a full buffer goes on as the same text; less waits for more.
    return gathered_size_ < piece_size_ || hand_over(gathered_size_, false, false);
}

bool ParallelTranslation::hand_over(std::size_t cut, bool closes, bool last) {
    Worker* const worker = next_worker();
    if (worker == nullptr) return false;
    Piece& piece = worker->piece;
    std::swap(piece.bytes, gathered_);
    const std::size_t rest = gathered_size_ - cut;
    std::memcpy(gathered_.get(), piece.bytes.get() + cut, rest);
    piece.data = piece.bytes.get();
    start(*worker, cut, closes, last, gathered_at_);
    gathered_at_ += cut;
    gathered_size_ = rest;
    return true;
}

ParallelTranslation::Worker* ParallelTranslation::next_worker() {
    Worker* const worker =
        open_text_ != nullptr ? open_text_ : workers_[rotation_++ % workers_.size()].get();
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !worker->busy || !failure_.empty(); });
    return failure_.empty() ? worker : nullptr;
}

void ParallelTranslation::start(Worker& worker, std::size_t size, bool closes, bool last,
                                std::uint64_t at) {
    Piece& piece = worker.piece;
    piece.size = size;
    piece.sequence = sequence_++;
    piece.opens = open_text_ == nullptr;
    if (piece.opens) piece.text_at = at;
    piece.closes = closes;
    piece.last = last;
    open_text_ = closes ? nullptr : &worker;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        worker.busy = true;
    }
    changed_.notify_all();
}

bool ParallelTranslation::drain() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] {
        return std::none_of(workers_.begin(), workers_.end(),
                            [](const std::unique_ptr<Worker>& worker) { return worker->busy; });
    });
    return failure_.empty();
}

}  // namespace cli
