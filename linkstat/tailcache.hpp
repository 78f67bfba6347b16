#pragma once
// The memo of the fast loop: the tail of a pair line per count key (countkeys.hpp), as a code.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "largememory.hpp"

namespace linkstat {

// A tail code is lower * kUpperCodes + upper (the steps of GridBounds), or one of these:
inline constexpr std::uint16_t kEmptyMargin = 0xFFFF;  // the empty-margin tail
inline constexpr std::uint16_t kOffGrid = 0xFFFE;      // computed pair by pair (see GridBounds)
inline constexpr std::uint16_t kPending = 0xFFFD;      // gathered, not evaluated yet
inline constexpr int kUpperCodes = 128;

// Open-addressing hash map from count key to tail code, at most three quarters full, holding at most
// maxKeys keys: the set's walk empties it before a round whose new keys might not fit, so memory stays
// bounded whatever the input. A key and its code lie side by side (10 bytes for a narrow key), so that
// a lookup reads one cache line. Several threads may find keys and set the codes of different keys at
// once, as long as none inserts.
template <class Keys>
class TailCache {
public:
    using Key = typename Keys::Key;

    explicit TailCache(std::size_t maxKeys) : maxKeys_(maxKeys) { reset(kInitialSlots); }

    std::size_t size() const { return size_; }
    std::size_t maxKeys() const { return maxKeys_; }

    std::uint16_t* find(const Key& key) {
        for (std::size_t slot = home(key);; slot = (slot + 1) & mask_) {
            const Key there = slots_[slot].key();
            if (there == key) return &slots_[slot].code;
            if (there == Keys::kEmpty) return nullptr;
        }
    }

    // Enters a key with its code; false, changing nothing, when the key is there already.
    bool insertNew(const Key& key, std::uint16_t code) {
        if ((size_ + 1) * 4 > slots_.size() * 3) grow(slots_.size() * 2);
        std::size_t slot = home(key);
        for (Key there; !((there = slots_[slot].key()) == Keys::kEmpty); slot = (slot + 1) & mask_)
            if (there == key) return false;
        slots_[slot] = Slot(key, code);
        ++size_;
        return true;
    }

    // Makes room for `more` keys beyond those held, up to maxKeys in all, at once rather than by
    // repeated doubling.
    void reserve(std::size_t more) {
        const std::size_t keys = std::min(size_ + more, maxKeys_);
        std::size_t slots = slots_.size();
        while (keys * 4 > slots * 3) slots *= 2;
        if (slots != slots_.size()) grow(slots);
    }

    // Asks the processor to fetch the place of a key, which find will look at soon.
    void prefetch(const Key& key) const { __builtin_prefetch(&slots_[home(key)]); }

    // Forgets every key (the slots stay allocated).
    void clear() { reset(slots_.size()); }

private:
    static constexpr std::size_t kInitialSlots = 16;

    // A key as bytes, so that the slot needs no more alignment than its code.
    struct Slot {
        Slot() = default;
        Slot(const Key& key, std::uint16_t code) : code(code) { std::memcpy(bytes, &key, sizeof key); }
        Key key() const {
            Key key;
            std::memcpy(&key, bytes, sizeof key);
            return key;
        }
        unsigned char bytes[sizeof(Key)];
        std::uint16_t code;
    };

    std::size_t home(const Key& key) const { return static_cast<std::size_t>(Keys::hash(key) >> shift_) & mask_; }
    void place(const Slot& entry) {
        std::size_t slot = home(entry.key());
        while (!(slots_[slot].key() == Keys::kEmpty)) slot = (slot + 1) & mask_;
        slots_[slot] = entry;
    }
    void reset(std::size_t slots) {
        slots_.assign(slots, Slot(Keys::kEmpty, 0));
        mask_ = slots - 1;
        shift_ = 64 - std::countr_zero(slots);
        size_ = 0;
    }
    void grow(std::size_t slots) {
        decltype(slots_) old = std::move(slots_);
        const std::size_t size = size_;
        reset(slots);
        for (const Slot& entry : old)
            if (!(entry.key() == Keys::kEmpty)) place(entry);
        size_ = size;
    }

    std::size_t maxKeys_;
    std::vector<Slot, ldtools::LargeAllocator<Slot>> slots_;
    std::size_t mask_ = 0;
    int shift_ = 0;
    std::size_t size_ = 0;
};

}  // namespace linkstat
