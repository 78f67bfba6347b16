#pragma once
// The set of count keys (countkeys.hpp) met in one block of pairs.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace linkstat {

// The keys met in one block of pairs, so that a key recurring in the block is prepared once. Its
// slots are marked with the block's stamp instead of being emptied for every block.
template <class Keys>
class BlockKeys {
public:
    using Key = typename Keys::Key;

    // Starts a block of at most `lines` pairs.
    void start(std::size_t lines) {
        const std::size_t slots = std::bit_ceil(2 * lines + 2);
        if (slots != keys_.size() || ++stamp_ == 0) {
            keys_.assign(slots, Key{});
            stamps_.assign(slots, 0);
            stamp_ = 1;
            shift_ = 64 - std::countr_zero(slots);
        }
    }
    // True when the key had not been met in this block.
    bool add(const Key& key) {
        const std::size_t mask = keys_.size() - 1;
        for (std::size_t slot = static_cast<std::size_t>(Keys::hash(key) >> shift_) & mask;; slot = (slot + 1) & mask) {
            if (stamps_[slot] != stamp_) {
                stamps_[slot] = stamp_;
                keys_[slot] = key;
                return true;
            }
            if (keys_[slot] == key) return false;
        }
    }

private:
    std::vector<Key> keys_;
    std::vector<std::uint32_t> stamps_;
    std::uint32_t stamp_ = 0;
    int shift_ = 0;
};

}  // namespace linkstat
