#pragma once
// Count keys of the fast loop: the five counts of a genotype table (PairCounts) as one value that the memo
// of tails is keyed by, in two widths, and the jobs that wait for a key's bounds, sorted by margins.

#include <cstdint>

#include "paircounts.hpp"

namespace linkstat {

// Every count of a pair is at most the number of chromosomes, and the double heterozygotes at most the
// number of individuals. Up to 8191 chromosomes the four phase-known counts fit in 13 bits each and the
// double heterozygotes in 12 bits of one 64-bit key; larger sets use five 32-bit counts.
struct NarrowKeys {
    using Key = std::uint64_t;
    static constexpr int kMaxChromosomes = 8191;
    static constexpr int kBits = 13;
    static constexpr Key kMask = (Key{1} << kBits) - 1;
    // No key: its four counts would add up to more than the chromosomes.
    static constexpr Key kEmpty = ~Key{0};

    static Key key(const PairCounts& c) {
        return Key(c.k00) | Key(c.k01) << kBits | Key(c.k10) << 2 * kBits | Key(c.k11) << 3 * kBits |
               Key(c.dh) << 4 * kBits;
    }
    static PairCounts counts(Key key) {
        auto field = [key](int f) { return static_cast<int>(key >> f * kBits & kMask); };
        return PairCounts{field(0), field(1), field(2), field(3), static_cast<int>(key >> 4 * kBits)};
    }
    static std::uint64_t hash(Key key) { return key * 0x9E3779B97F4A7C15ull; }

    // A key waiting for its bounds, with its oriented margins a0, b0, T and X packed for sorting.
    struct Job {
        std::uint64_t group;  // a0, b0, T, X in 13 bits each
        Key key;
    };
    static Job job(std::uint32_t a0, std::uint32_t b0, std::uint32_t T, std::uint32_t X, Key key) {
        return Job{std::uint64_t(a0) << 3 * kBits | std::uint64_t(b0) << 2 * kBits | std::uint64_t(T) << kBits | X, key};
    }
    static bool before(const Job& x, const Job& y) { return x.group < y.group; }
    static bool sameMargins(const Job& x, const Job& y) { return x.group >> kBits == y.group >> kBits; }
    // a0, b0 and T as one value (equal for jobs of the same margins)
    static std::uint64_t margins(const Job& job) { return job.group >> kBits; }
    static std::uint32_t X(const Job& job) { return static_cast<std::uint32_t>(job.group & kMask); }
};
static_assert(4 * NarrowKeys::kBits + 12 == 64, "four counts of 13 bits and double heterozygotes of 12");

struct WideKeys {
    struct Key {
        std::uint32_t count[5];
        bool operator==(const Key&) const = default;
    };
    static constexpr Key kEmpty{{~0u, ~0u, ~0u, ~0u, ~0u}};  // no key: counts stay far below 2^32

    static Key key(const PairCounts& c) {
        return Key{{static_cast<std::uint32_t>(c.k00), static_cast<std::uint32_t>(c.k01),
                    static_cast<std::uint32_t>(c.k10), static_cast<std::uint32_t>(c.k11),
                    static_cast<std::uint32_t>(c.dh)}};
    }
    static PairCounts counts(const Key& key) {
        return PairCounts{static_cast<int>(key.count[0]), static_cast<int>(key.count[1]),
                          static_cast<int>(key.count[2]), static_cast<int>(key.count[3]),
                          static_cast<int>(key.count[4])};
    }
    static std::uint64_t hash(const Key& key) {
        std::uint64_t h = (std::uint64_t(key.count[0]) | std::uint64_t(key.count[1]) << 32) * 0x9E3779B97F4A7C15ull;
        h = (h ^ (h >> 31) ^ std::uint64_t(key.count[2]) ^ std::uint64_t(key.count[3]) << 32) * 0xBF58476D1CE4E5B9ull;
        h = (h ^ (h >> 29) ^ key.count[4]) * 0x94D049BB133111EBull;
        return h ^ (h >> 32);
    }

    struct Job {
        std::uint64_t a0b0;
        std::uint32_t T;
        std::uint32_t X;
        Key key;
    };
    static Job job(std::uint32_t a0, std::uint32_t b0, std::uint32_t T, std::uint32_t X, const Key& key) {
        return Job{std::uint64_t(a0) << 32 | b0, T, X, key};
    }
    static bool before(const Job& x, const Job& y) { return x.a0b0 < y.a0b0 || (x.a0b0 == y.a0b0 && x.T < y.T); }
    static bool sameMargins(const Job& x, const Job& y) { return x.a0b0 == y.a0b0 && x.T == y.T; }
    static std::uint64_t margins(const Job& job) { return job.a0b0 * 0xBF58476D1CE4E5B9ull ^ job.T; }
    static std::uint32_t X(const Job& job) { return job.X; }
};

}  // namespace linkstat
