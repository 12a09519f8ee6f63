#include "cli/group_memo.hpp"

namespace cli {

GroupMemo::GroupMemo()
    : slots_(std::size_t(1) << kFirstSlotBits, Slot{}),
      slot_mask_((std::size_t(1) << kFirstSlotBits) - 1) {}

bool GroupMemo::remember(const unsigned char* bytes, std::size_t length, Meaning meaning) {
    if (length == 0 || length > kLongest || keys_.size() + length > kMostKeyBytes) return false;
    if (2 * (entries_ + 1) > slots_.size()) {
        if (slots_.size() == std::size_t(1) << kLastSlotBits) return false;
        grow();
    }
    Meaning known;
    if (find(bytes, length, known)) return true;
    const std::uint64_t hash = hash_of(bytes, length);
    Slot slot{check_of(hash), std::uint32_t(keys_.size()), std::uint16_t(length),
              std::uint16_t(meaning.characters), meaning.character};
    keys_.insert(keys_.end(), bytes, bytes + length);
    place(slot);
    ++entries_;
    return true;
}

void GroupMemo::grow() {
    std::vector<Slot> old(2 * slots_.size(), Slot{});
    old.swap(slots_);
    slot_mask_ = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.length != 0) place(slot);
    }
}

void GroupMemo::place(const Slot& slot) {
    const std::uint64_t hash = hash_of(keys_.data() + slot.key, slot.length);
    std::size_t at = first_slot(hash);
    while (slots_[at].length != 0) at = (at + 1) & slot_mask_;
    slots_[at] = slot;
}

}  // namespace cli
