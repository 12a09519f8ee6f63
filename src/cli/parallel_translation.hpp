// Translation on several processors. The input is cut into pieces that
// translate alone (see TextCuts); each worker translates its pieces with a
// stream of its own, and the workers write their results in the order of the
// pieces. A stretch with no place to cut goes to one worker, piece after
// piece, as one text. A regular file is memory-mapped where it lies rather
// than copied by reads.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "languages/languages.hpp"
#include "piece_work.hpp"
#include "text_cuts.hpp"

namespace cli {

struct ParallelOutcome {
    std::string failure;        // empty on success, else the message
    std::uint64_t written = 0;  // bytes written to the output
};

class ParallelTranslation {
  public:
    // How many workers translating with this row on this machine takes: 0
    // where it stays with one processor.
    static unsigned workers_for(const languages::Row& row);
    // Bytes of input per piece, read into buffers or mapped from a file.
    struct PieceSizes {
        std::size_t read;
        std::size_t mapped;
    };
    // Handing a piece over costs little beside translating it, and each
    // worker's buffers, view and encoded piece stay within a few MB.
    static PieceSizes piece_sizes_for(const languages::Row& row);

    // Check started() before run().
    ParallelTranslation(const languages::Row& row, unsigned workers, PieceSizes sizes);
    ~ParallelTranslation();
    ParallelTranslation(const ParallelTranslation&) = delete;
    ParallelTranslation& operator=(const ParallelTranslation&) = delete;

    // False when the system would not start the workers' threads.
    bool started() const { return started_; }

    // Reads in_fd to its end, `read_size` bytes at a time, and writes the
    // text to out_fd; `input_name` begins the messages about the input.
    ParallelOutcome run(int in_fd, const std::string& input_name, int out_fd,
                        std::size_t read_size);

  private:
    struct Worker;
    struct Piece;

    void serve(Worker& worker);
    // Translates the worker's piece, then waits for its turn to write it.
    void translate_piece(Worker& worker);
    void write_in_turn(Worker& worker, bool translated);
    void write_output(Worker& worker, std::unique_lock<std::mutex>& lock);
    // Pieces mapped where they lie in a regular file, from `offset` on; if the
    // system will not map them, the rest is read. False when a read failed.
    bool map_file(int fd, std::uint64_t offset, std::uint64_t remaining, std::size_t read_size,
                  std::string& error);
    // Pieces read into buffers, `read_size` bytes a call; false when a read failed.
    bool read_input(int fd, std::size_t read_size, std::string& error);
    // Hands over what was gathered up to its last cut (all of it at the end);
    // false once the translation has failed.
    bool send(bool at_end);
    // Hands the first `cut` gathered bytes to the next worker; false once
    // the translation has failed.
    bool hand_over(std::size_t cut, bool closes, bool last);
    // The worker for the next piece, once idle: the one whose text goes on,
    // or the next in turn; null once the translation has failed.
    Worker* next_worker();
    // Gives the worker its piece of `size` bytes, which lies `at` bytes into
    // the input, and its place in the order.
    void start(Worker& worker, std::size_t size, bool closes, bool last, std::uint64_t at);
    // Waits until every worker is idle; false once the translation has failed.
    bool drain();

    const TextCuts cuts_;
    const std::size_t piece_size_;  // read
    const std::size_t mapped_size_;
    std::vector<std::unique_ptr<Worker>> workers_;
    bool started_ = false;

    std::unique_ptr<unsigned char[]> gathered_;  // read, not yet handed over
    std::size_t gathered_size_ = 0;
    std::uint64_t gathered_at_ = 0;  // its byte offset in the input
    std::size_t rotation_ = 0;       // pieces handed out in turn
    Worker* open_text_ = nullptr;    // the worker whose text continues, if any
    std::uint64_t sequence_ = 0;     // pieces handed over

    std::mutex mutex_;
    std::condition_variable changed_;
    // Guarded by mutex_:
    std::uint64_t turn_ = 0;  // the piece whose output goes next
    std::uint64_t characters_written_ = 0;
    std::uint64_t written_ = 0;
    std::string failure_;
    bool stopping_ = false;
    // Set by run():
    std::string input_name_;
    int out_fd_ = -1;
};

}  // namespace cli
