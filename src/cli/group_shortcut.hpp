// Where the bytes of one group end, and whether looking groups up in the memo
// pays: it stops when the text does not repeat its groups.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cli/group_memo.hpp"
#include "engine/bits.hpp"
#include "engine/cpu_features.hpp"
#include "requests/languages.hpp"

namespace cli {

class GroupShortcut {
  public:
    // Groups are cut after the byte that ends them in the row's encoded text.
    explicit GroupShortcut(const languages::Row& row);

    bool in_use() const { return in_use_; }
    unsigned char cut() const { return cut_; }

    // Just past the next cut byte, or null when there is none before `end`.
    // Groups are a few dozen bytes: a library call costs as much as the search.
    const unsigned char* group_end(const unsigned char* p, const unsigned char* end) const {
#ifdef MIRELO_SSE2
        const __m128i cut = _mm_set1_epi8(char(cut_));
        for (; end - p >= 16; p += 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const unsigned mask = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(block, cut)));
            if (mask != 0) return p + engine::lowest_bit(mask) + 1;
        }
#endif
        const void* found = std::memchr(p, cut_, std::size_t(end - p));
        return found ? static_cast<const unsigned char*>(found) + 1 : nullptr;
    }

    bool find(const unsigned char* bytes, std::size_t length, GroupMemo::Meaning& meaning) {
        const bool found = memo_.find(bytes, length, meaning);
        count(found);
        return found;
    }
    // A group decoded the long way, from rest to rest, to one character.
    void learn(const unsigned char* bytes, std::size_t length, GroupMemo::Meaning meaning) {
        count(memo_.remember(bytes, length, meaning));
    }
    // Bytes decoded the long way that cannot be remembered.
    void pass() {
        count(false);
    }

  private:
    // Out of every kWindow groups, at least a quarter must be found or learnt.
    static constexpr std::uint32_t kWindow = 4096;
    void count(bool useful) {
        useful_ += std::uint32_t(useful);
        if (++seen_ < kWindow) return;
        in_use_ = useful_ >= kWindow / 4;
        seen_ = useful_ = 0;
    }

    GroupMemo memo_;
    unsigned char cut_;
    bool in_use_ = true;
    std::uint32_t seen_ = 0;
    std::uint32_t useful_ = 0;
};

}  // namespace cli
