#include "utf8_output.hpp"

#include <cstring>

#include "platform/system_io.hpp"

namespace cli {

const Utf8Output::BmpTable Utf8Output::kBmpTable;

Utf8Output::BmpTable::BmpTable() {
    for (engine::CodePoint c = 0; c < 0x10000; ++c) {
        char bytes[4] = {};
        bytes[3] = static_cast<char>(encode(c, bytes));
        std::memcpy(&entries[c], bytes, 4);
    }
}

Utf8Output::Utf8Output(int fd) : fd_(fd), buffer_(new char[kBlock + kSlack]), capacity_(kBlock) {}

void Utf8Output::put_bytes_in_parts(const char* bytes, std::size_t length) {
    while (length > 0) {
        if (size_ == capacity_) make_room(1);
        const std::size_t part = std::min(length, capacity_ - size_);
        std::memcpy(buffer_.get() + size_, bytes, part);
        size_ += part;
        bytes += part;
        length -= part;
    }
}

bool Utf8Output::flush() {
    if (fd_ != kInMemory && size_ != 0 && !failed() &&
        platform::system_io::write_all(fd_, buffer_.get(), size_, error_))
        written_ += size_;
    if (fd_ != kInMemory) size_ = 0;
    return !failed();
}

void Utf8Output::make_room(std::size_t needed) {
    if (fd_ != kInMemory) {
        flush();
        return;
    }
    std::size_t capacity = capacity_;
    while (capacity - size_ < needed) capacity *= 2;
    std::unique_ptr<char[]> bigger(new char[capacity + kSlack]);
    std::memcpy(bigger.get(), buffer_.get(), size_);
    buffer_ = std::move(bigger);
    capacity_ = capacity;
}

}  // namespace cli
