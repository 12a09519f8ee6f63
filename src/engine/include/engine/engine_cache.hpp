// Keeps the last few engines built for an alphabet, so that repeated calls
// with the same alphabet reuse their memoised tables instead of rebuilding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "engine/replace_chain.hpp"

namespace engine {

template <typename Engine>
class EngineCache {
  public:
    struct Key {
        std::int64_t base;
        std::vector<Pass> passes;
        bool operator==(const Key& other) const {
            if (base != other.base || passes.size() != other.passes.size()) return false;
            for (std::size_t i = 0; i < passes.size(); ++i) {
                if (passes[i].pattern != other.passes[i].pattern ||
                    passes[i].replacement != other.passes[i].replacement)
                    return false;
            }
            return true;
        }
    };

    // An engine lent out for one call; it returns to the cache afterwards.
    class Lease {
      public:
        Lease(EngineCache& cache, Key key, std::unique_ptr<Engine> engine)
            : cache_(cache), key_(std::move(key)), engine_(std::move(engine)) {}
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease() {
            if (engine_) cache_.give_back(std::move(key_), std::move(engine_));
        }
        Engine& operator*() const { return *engine_; }

      private:
        EngineCache& cache_;
        Key key_;
        std::unique_ptr<Engine> engine_;
    };

    explicit EngineCache(std::size_t capacity) : capacity_(capacity) {}

    // An engine for the alphabet: a cached one, or a new one. An engine in
    // use (a call made while another runs) is never shared.
    Lease lend(std::int64_t base, std::vector<Pass> passes) {
        Key key{base, std::move(passes)};
        for (std::size_t i = entries_.size(); i-- > 0;) {
            if (entries_[i].key == key) return take(i);
        }
        auto engine = std::make_unique<Engine>(base, key.passes);
        return Lease(*this, std::move(key), std::move(engine));
    }

  private:
    struct Entry {
        Key key;
        std::unique_ptr<Engine> engine;
    };

    // Entry i, out of the cache and ready for a new text.
    Lease take(std::size_t i) {
        Entry entry = std::move(entries_[i]);
        entries_.erase(entries_.begin() + std::ptrdiff_t(i));
        entry.engine->restart();
        return Lease(*this, std::move(entry.key), std::move(entry.engine));
    }

    void give_back(Key key, std::unique_ptr<Engine> engine) {
        if (entries_.size() == capacity_) entries_.erase(entries_.begin());
        entries_.push_back(Entry{std::move(key), std::move(engine)});
    }

    std::size_t capacity_;
    std::vector<Entry> entries_;  // the most recently used last
};

}  // namespace engine
