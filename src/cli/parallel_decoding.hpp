// Decoding on several processors. The input is cut after blanks into pieces
// that decode alone; each worker decodes its pieces with a stream of its own,
// and the workers write their results in the order of the pieces. A stretch
// with no place to cut goes to one worker, piece after piece, as one text.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/text_cuts.hpp"
#include "requests/languages.hpp"

namespace cli {

struct ParallelOutcome {
    std::string failure;        // empty on success, else the message
    std::uint64_t written = 0;  // bytes written to the output
};

class ParallelDecoding {
  public:
    // How many workers decoding in this language on this machine takes: 0
    // where it stays with one processor.
    static unsigned workers_for(const languages::Row& row);
    // Handing a piece over costs little beside decoding it; the buffers of
    // all workers stay within a few MB.
    static constexpr std::size_t kPieceSize = std::size_t(1) << 20;

    // Pieces of up to `piece_size` bytes. Check started() before run().
    ParallelDecoding(const languages::Row& row, unsigned workers, std::size_t piece_size);
    ~ParallelDecoding();
    ParallelDecoding(const ParallelDecoding&) = delete;
    ParallelDecoding& operator=(const ParallelDecoding&) = delete;

    // False when the system would not start the workers' threads.
    bool started() const { return started_; }

    // Reads in_fd to its end, `read_size` bytes at a time, and writes the
    // text to out_fd; `input_name` begins the messages about the input.
    ParallelOutcome run(int in_fd, const std::string& input_name, int out_fd,
                        std::size_t read_size);

  private:
    struct Worker;
    struct Piece;

    void work(Worker& worker);
    // Decodes the worker's piece, then waits for its turn to write it.
    void decode_piece(Worker& worker);
    void write_in_turn(Worker& worker, bool decoded, bool read, std::uint64_t characters);
    // `characters`: those of the worker's text, when the piece closes it.
    void write_output(Worker& worker, std::unique_lock<std::mutex>& lock, std::uint64_t characters);
    // Hands the first `cut` gathered bytes to the next worker, or to the one
    // whose text goes on; false once the decoding has failed.
    bool hand_over(std::size_t cut, bool closes);
    // Hands over what was gathered up to its last cut (all of it at the end);
    // false once the decoding has failed.
    bool send(bool at_end);
    // Waits until every worker is idle.
    void drain();

    const TextCuts cuts_;
    const std::size_t piece_size_;
    std::vector<std::unique_ptr<Worker>> workers_;
    bool started_ = false;

    std::unique_ptr<unsigned char[]> gathered_;  // read, not yet handed over
    std::size_t gathered_size_ = 0;
    std::uint64_t gathered_at_ = 0;  // its byte offset in the input
    std::size_t next_worker_ = 0;
    Worker* open_text_ = nullptr;  // the worker whose text continues, if any
    std::uint64_t sequence_ = 0;   // pieces handed over

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
