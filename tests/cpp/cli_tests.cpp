// Unit tests of the command line's group memo: every remembered byte string is
// found with its meaning, nothing else is, and the memo refuses what it cannot
// keep without losing what it holds.
#include <cstdio>
#include <random>
#include <set>
#include <vector>

#include "checks.hpp"
#include "cli/group_memo.hpp"

namespace {

using checks::check;

using Bytes = std::vector<unsigned char>;

// Lengths around every word and step boundary, from a small alphabet of
// syllable bytes, so that many keys share long prefixes and suffixes.
Bytes random_key(std::mt19937_64& random) {
    static const unsigned char alphabet[] = {0xE5, 0x96, 0xB5, 0xEF, 0xBC, 0x81, ' '};
    const std::size_t length = 1 + random() % (random() % 4 == 0 ? cli::GroupMemo::kLongest : 80);
    Bytes key(length);
    for (unsigned char& byte : key) byte = alphabet[random() % sizeof(alphabet)];
    return key;
}

cli::GroupMemo::Meaning meaning_of(std::size_t index) {
    return {char32_t(index * 7 + 1), std::uint32_t(index % 500)};
}

void remembered_strings_are_found_and_others_are_not() {
    std::mt19937_64 random(2026);
    cli::GroupMemo memo;
    std::set<Bytes> seen;
    std::vector<Bytes> keys;
    while (keys.size() < 20000) {
        Bytes key = random_key(random);
        if (seen.insert(key).second) keys.push_back(key);
    }
    for (std::size_t k = 0; k < keys.size(); ++k)
        check(memo.remember(keys[k].data(), keys[k].size(), meaning_of(k)), "remembered", k);
    for (std::size_t k = 0; k < keys.size(); ++k) {
        cli::GroupMemo::Meaning meaning{};
        const bool found = memo.find(keys[k].data(), keys[k].size(), meaning);
        check(found && meaning.character == meaning_of(k).character &&
                  meaning.characters == meaning_of(k).characters,
              "found with its meaning", k);
        // The same bytes changed in one place, shortened or lengthened.
        Bytes other = keys[k];
        other[random() % other.size()] ^= 0x01;
        cli::GroupMemo::Meaning ignored;
        check(seen.count(other) || !memo.find(other.data(), other.size(), ignored),
              "a changed string is not found", k);
        other = keys[k];
        other.pop_back();
        check(other.empty() || seen.count(other) || !memo.find(other.data(), other.size(), ignored),
              "a prefix is not found", k);
        other = keys[k];
        other.push_back(' ');
        check(seen.count(other) || !memo.find(other.data(), other.size(), ignored),
              "a longer string is not found", k);
    }
    // Remembering again changes nothing.
    check(memo.remember(keys[0].data(), keys[0].size(), meaning_of(1)), "remembered twice");
    cli::GroupMemo::Meaning meaning{};
    check(memo.find(keys[0].data(), keys[0].size(), meaning) &&
              meaning.character == meaning_of(0).character,
          "the first meaning stays");
}

void what_cannot_be_kept_is_refused() {
    cli::GroupMemo memo;
    const Bytes too_long(cli::GroupMemo::kLongest + 1, 'O');
    check(!memo.remember(too_long.data(), too_long.size(), meaning_of(1)), "too long refused");
    cli::GroupMemo::Meaning meaning;
    check(!memo.find(too_long.data(), too_long.size(), meaning), "too long not found");
    // Distinct 8-byte strings until the memo is full.
    std::size_t kept = 0;
    for (std::uint64_t n = 0; n < 100000; ++n) {
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&n);
        if (!memo.remember(bytes, sizeof(n), meaning_of(n))) break;
        ++kept;
    }
    check(kept == 32768, "full after 32768 strings", kept);
    for (std::uint64_t n = 0; n < kept; n += 97) {
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&n);
        check(memo.find(bytes, sizeof(n), meaning) && meaning.character == meaning_of(n).character,
              "still found once full", n);
    }
}

}  // namespace

int main() {
    remembered_strings_are_found_and_others_are_not();
    what_cannot_be_kept_is_refused();
    return checks::exit_status();
}
