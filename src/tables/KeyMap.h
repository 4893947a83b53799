#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// A map from text keys to values for the short codes and slot keys rows are looked up by (a
// teacher's abbreviation, a catalogue code, a slot key of seven bytes). A key of at most seven
// bytes is held packed in one word, its length in the eighth byte, in an open-addressed array
// probed linearly: a look-up touches one or two cache lines and allocates nothing. Longer keys
// go to an ordinary hash map. Keys compare byte for byte.
namespace tz::tables {

template <class V>
class KeyMap {
  public:
    KeyMap() { grow(16); }

    void reserve(std::size_t n) {
        std::size_t want = 16;
        while (want < n * 2) want *= 2;
        if (want > slots_.size()) grow(want);
    }
    std::size_t size() const { return size_ + long_.size(); }

    // The value of `key`, nullptr when absent. Valid until the next insertion.
    const V* find(std::string_view key) const {
        if (key.size() > kShort) {
            const auto it = long_.find(std::string(key));
            return it == long_.end() ? nullptr : &it->second;
        }
        const std::uint64_t k = pack(key);
        for (std::size_t i = slot(k);; i = (i + 1) & mask_) {
            if (slots_[i].key == k) return &slots_[i].value;
            if (slots_[i].key == kEmpty) return nullptr;
        }
    }
    V* find(std::string_view key) {
        return const_cast<V*>(static_cast<const KeyMap&>(*this).find(key));
    }
    bool contains(std::string_view key) const { return find(key) != nullptr; }
    // Starts fetching the place of `key` into the cache, for a look-up a little later: the
    // work between the two then overlaps the wait for memory.
    void prefetch(std::string_view key) const {
        if (key.size() <= kShort) __builtin_prefetch(&slots_[slot(pack(key))]);
    }

    // Stores `value` for `key` unless the key is there already; returns the value stored for the
    // key (valid until the next insertion) and whether it was inserted now.
    std::pair<V*, bool> tryEmplace(std::string_view key, V value = V{}) {
        if (key.size() > kShort) {
            auto [it, added] = long_.try_emplace(std::string(key), std::move(value));
            return {&it->second, added};
        }
        if ((size_ + 1) * 2 > slots_.size()) grow(slots_.size() * 2);
        const std::uint64_t k = pack(key);
        std::size_t i = slot(k);
        for (; slots_[i].key != kEmpty; i = (i + 1) & mask_)
            if (slots_[i].key == k) return {&slots_[i].value, false};
        slots_[i].key = k;
        slots_[i].value = std::move(value);
        ++size_;
        return {&slots_[i].value, true};
    }

  private:
    static constexpr std::size_t kShort = 7;
    static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};  // no key packs to it

    static std::uint64_t pack(std::string_view key) {
        std::uint64_t k = 0;
        if (!key.empty()) std::memcpy(&k, key.data(), key.size());
        return k | (std::uint64_t{key.size()} << 56);
    }
    std::size_t slot(std::uint64_t k) const {
        // The first four bytes choose a place (Fibonacci hashing: the high bits of the product
        // mix every byte), the rest a slot among the next 128: keys that share their first four
        // bytes (the slots of one teacher) lie within a few pages, and a run of look-ups for one
        // of them does not wander the whole array.
        constexpr std::uint64_t kMezcla = 0x9E3779B97F4A7C15ULL;
        const std::uint64_t lugar = ((k & 0xFFFFFFFFULL) * kMezcla) >> shift_;
        const std::uint64_t resto = ((k >> 32) * kMezcla) >> 57;
        return static_cast<std::size_t>(lugar + resto) & mask_;
    }
    void grow(std::size_t n) {
        // ("slots" is a word Qt's headers take over: the new array is "bigger".)
        std::vector<Slot> bigger(n);
        mask_ = n - 1;
        shift_ = 64;
        for (std::size_t m = n; m > 1; m >>= 1) --shift_;
        for (Slot& s : slots_) {
            if (s.key == kEmpty) continue;
            std::size_t i = slot(s.key);
            while (bigger[i].key != kEmpty) i = (i + 1) & mask_;
            bigger[i] = std::move(s);
        }
        slots_ = std::move(bigger);
    }

    // A key and its value side by side: a look-up reads one cache line.
    struct Slot {
        std::uint64_t key = kEmpty;
        V value{};
    };
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    int shift_ = 64;
    std::size_t size_ = 0;
    std::unordered_map<std::string, V> long_;
};

}  // namespace tz::tables
