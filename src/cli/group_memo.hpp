// What the bytes of a whole group decode to. A text in a joke language is made
// of a few thousand distinct groups repeated over and over, so looking a group
// up costs far less than decoding its syllables again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/cpu_features.hpp"
#include "engine/text.hpp"

namespace cli {

class GroupMemo {
  public:
    struct Meaning {
        engine::CodePoint character;
        std::uint32_t characters;  // the group's length in characters
    };
    // Longer byte strings are not remembered.
    static constexpr std::size_t kLongest = 512;

    GroupMemo();

    // The meaning of exactly these bytes, if remembered.
    bool find(const unsigned char* bytes, std::size_t length, Meaning& meaning) const {
        const std::uint64_t hash = hash_of(bytes, length);
        const std::uint32_t check = check_of(hash);
        for (std::size_t slot = first_slot(hash);; slot = (slot + 1) & slot_mask_) {
            const Slot& candidate = slots_[slot];
            if (candidate.check == check && candidate.length == length &&
                same_bytes(keys_.data() + candidate.key, bytes, length)) {
                meaning = Meaning{candidate.character, candidate.characters};
                return true;
            }
            if (candidate.length == 0) return false;
        }
    }

    // False when the memo is full or the bytes too long; they are then not kept.
    bool remember(const unsigned char* bytes, std::size_t length, Meaning meaning);

  private:
    // The table starts small, so that a text of few groups keeps it in the
    // nearest cache, and doubles while at most half its slots are used.
    static constexpr std::size_t kFirstSlotBits = 12;
    static constexpr std::size_t kLastSlotBits = 16;
    static constexpr std::size_t kMostKeyBytes = std::size_t(2) << 20;

    struct Slot {
        std::uint32_t check;   // bits of the hash the slot's place does not use
        std::uint32_t key;     // offset of the bytes in keys_
        std::uint16_t length;  // 0 for an empty slot
        std::uint16_t characters;
        engine::CodePoint character;
    };

    // Words of the string mixed independently of one another, so that their
    // multiplications overlap. The last word ends with the string and may
    // overlap the one before.
    // Two words a step: fewer steps, whose count varies less from group to group.
    static std::uint64_t hash_of(const unsigned char* bytes, std::size_t length) {
        std::uint64_t sum = length * 0x9E3779B97F4A7C15u;
        if (length < 8) return finish_hash(sum + mix(short_word(bytes, length)));
        std::size_t k = 0;
        for (; k + 16 < length; k += 16) {
            sum += mix(word_at(bytes + k) ^ (k * 0xD6E8FEB86659FD93u));
            sum += mix(word_at(bytes + k + 8) ^ ((k + 8) * 0xD6E8FEB86659FD93u));
        }
        if (k + 8 < length) sum += mix(word_at(bytes + k) ^ (k * 0xD6E8FEB86659FD93u));
        return finish_hash(sum + mix(word_at(bytes + length - 8) ^ 0x2545F4914F6CDD1Du));
    }
    static std::uint64_t mix(std::uint64_t word) {
        word *= 0xC4CEB9FE1A85EC53u;
        return word ^ (word >> 31);
    }
    static std::uint64_t finish_hash(std::uint64_t sum) {
        sum ^= sum >> 32;
        sum *= 0xFF51AFD7ED558CCDu;
        return sum ^ (sum >> 29);
    }
    static std::uint64_t word_at(const unsigned char* bytes) {
        std::uint64_t word;
        std::memcpy(&word, bytes, 8);
        return word;
    }
#ifdef MIRELO_SSE2
    static __m128i block_at(const unsigned char* bytes) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    }
#endif
    static std::uint32_t half_word_at(const unsigned char* bytes) {
        std::uint32_t word;
        std::memcpy(&word, bytes, 4);
        return word;
    }
    // The bytes of a string shorter than 8, read without a copy of varying length.
    static std::uint64_t short_word(const unsigned char* bytes, std::size_t length) {
        if (length >= 4)
            return std::uint64_t(half_word_at(bytes)) << 32 | half_word_at(bytes + length - 4);
        std::uint64_t word = 0;
        for (std::size_t k = 0; k < length; ++k) word = word << 8 | bytes[k];
        return word;
    }
    static bool same_bytes(const unsigned char* a, const unsigned char* b, std::size_t length) {
        if (length < 8) return short_word(a, length) == short_word(b, length);
#ifdef MIRELO_SSE2
        if (length >= 16) {
            // 16 bytes a step, the last step ending with the strings.
            __m128i same = _mm_set1_epi8(-1);
            for (std::size_t k = 0; k + 16 < length; k += 16)
                same = _mm_and_si128(same, _mm_cmpeq_epi8(block_at(a + k), block_at(b + k)));
            same = _mm_and_si128(
                same, _mm_cmpeq_epi8(block_at(a + length - 16), block_at(b + length - 16)));
            return _mm_movemask_epi8(same) == 0xFFFF;
        }
#endif
        std::uint64_t differ = 0;
        std::size_t k = 0;
        for (; k + 16 < length; k += 16) {
            differ |= word_at(a + k) ^ word_at(b + k);
            differ |= word_at(a + k + 8) ^ word_at(b + k + 8);
        }
        if (k + 8 < length) differ |= word_at(a + k) ^ word_at(b + k);
        return (differ | (word_at(a + length - 8) ^ word_at(b + length - 8))) == 0;
    }
    static std::uint32_t check_of(std::uint64_t hash) {
        return std::uint32_t(hash);
    }
    std::size_t first_slot(std::uint64_t hash) const {
        return std::size_t(hash >> 32) & slot_mask_;
    }
    void grow();
    void place(const Slot& slot);

    std::vector<Slot> slots_;
    std::size_t slot_mask_;
    std::vector<unsigned char> keys_;
    std::size_t entries_ = 0;
};

}  // namespace cli
