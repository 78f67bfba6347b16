// Fast evaluation of the pair loop (see fastpairs.hpp for why its output equals the reference loop).

#include "fastpairs.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "gridbounds.hpp"
#include "markers.hpp"

namespace linkstat {

namespace {

// ---- genotype tables on the packed allele codes -------------------------------------------------------

// Counts of a pair from the planes of its first (a) and second (b) marker (markers.hpp): genotype classes
// of individuals, 64 at a time. An individual with a missing allele is in no class; so is an unpaired
// last chromosome, whose partner place is marked missing.
[[gnu::always_inline]] inline PairCounts unphasedBody(const std::uint64_t* a, const std::uint64_t* b, int words) {
    int t[3][3] = {};
    for (int w = 0; w < words; ++w) {
        const std::uint64_t ax = a[w], am = a[words + w] | a[3 * words + w], ay = a[2 * words + w];
        const std::uint64_t bx = b[w], bm = b[words + w] | b[3 * words + w], by = b[2 * words + w];
        // a missing allele has no code bit, so x & y needs no test for missing data
        const std::uint64_t a0 = ~(ax | ay | am), a1 = (ax ^ ay) & ~am, a2 = ax & ay;
        const std::uint64_t b0 = ~(bx | by | bm), b1 = (bx ^ by) & ~bm, b2 = bx & by;
        t[0][0] += std::popcount(a0 & b0);
        t[0][1] += std::popcount(a1 & b0);
        t[0][2] += std::popcount(a2 & b0);
        t[1][0] += std::popcount(a0 & b1);
        t[1][1] += std::popcount(a1 & b1);
        t[1][2] += std::popcount(a2 & b1);
        t[2][0] += std::popcount(a0 & b2);
        t[2][1] += std::popcount(a1 & b2);
        t[2][2] += std::popcount(a2 & b2);
    }
    return countsOfTable(t);
}

// Haplotypes of chromosomes read singly: both chromosome places of every individual.
[[gnu::always_inline]] inline PairCounts phasedBody(const std::uint64_t* a, const std::uint64_t* b, int words) {
    PairCounts c;
    for (int w = 0; w < 2 * words; ++w) {
        const int code = w < words ? w : words + w;  // planes 0 and 2 hold codes, 1 and 3 the missing marks
        const std::uint64_t a1 = a[code], a0 = ~(a1 | a[code + words]);
        const std::uint64_t b1 = b[code], b0 = ~(b1 | b[code + words]);
        c.k00 += std::popcount(a0 & b0);
        c.k01 += std::popcount(a0 & b1);
        c.k10 += std::popcount(a1 & b0);
        c.k11 += std::popcount(a1 & b1);
    }
    return c;
}

using CountPair = PairCounts (*)(const std::uint64_t*, const std::uint64_t*, int);

PairCounts unphasedPortable(const std::uint64_t* a, const std::uint64_t* b, int words) {
    return unphasedBody(a, b, words);
}
PairCounts phasedPortable(const std::uint64_t* a, const std::uint64_t* b, int words) {
    return phasedBody(a, b, words);
}

#if defined(__x86_64__) || defined(__i386__)
// The same integer counts with the processor's population-count instruction, where it has one.
[[gnu::target("popcnt")]] PairCounts unphasedPopcnt(const std::uint64_t* a, const std::uint64_t* b, int words) {
    return unphasedBody(a, b, words);
}
[[gnu::target("popcnt")]] PairCounts phasedPopcnt(const std::uint64_t* a, const std::uint64_t* b, int words) {
    return phasedBody(a, b, words);
}
#endif

CountPair pairCounter(bool phased) {
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("popcnt")) return phased ? phasedPopcnt : unphasedPopcnt;
#endif
    return phased ? phasedPortable : unphasedPortable;
}

// ---- count keys ---------------------------------------------------------------------------------------

// Every count of a pair is at most the number of chromosomes. Up to 4095 chromosomes the five counts
// fit in 12 bits each of one 64-bit key; larger sets use five 32-bit counts.
struct NarrowKeys {
    using Key = std::uint64_t;
    static constexpr int kMaxChromosomes = 4095;
    static constexpr int kBits = 12;
    static constexpr Key kMask = (Key{1} << kBits) - 1;
    static constexpr Key kEmpty = ~Key{0};  // no key: the top bits of a key are clear

    static Key key(const PairCounts& c) {
        return Key(c.k00) | Key(c.k01) << kBits | Key(c.k10) << 2 * kBits | Key(c.k11) << 3 * kBits |
               Key(c.dh) << 4 * kBits;
    }
    static PairCounts counts(Key key) {
        auto field = [key](int f) { return static_cast<int>(key >> f * kBits & kMask); };
        return PairCounts{field(0), field(1), field(2), field(3), field(4)};
    }
    static std::uint64_t hash(Key key) { return key * 0x9E3779B97F4A7C15ull; }

    // A key waiting for its bounds, with its oriented margins a0, b0, T and X packed for sorting.
    struct Job {
        std::uint64_t group;  // a0, b0, T, X in 12 bits each
        Key key;
    };
    static Job job(std::uint32_t a0, std::uint32_t b0, std::uint32_t T, std::uint32_t X, Key key) {
        return Job{std::uint64_t(a0) << 3 * kBits | std::uint64_t(b0) << 2 * kBits | std::uint64_t(T) << kBits | X, key};
    }
    static bool before(const Job& x, const Job& y) { return x.group < y.group; }
    static bool sameMargins(const Job& x, const Job& y) { return x.group >> kBits == y.group >> kBits; }
    static std::uint32_t X(const Job& job) { return static_cast<std::uint32_t>(job.group & kMask); }
};

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
    static std::uint32_t X(const Job& job) { return job.X; }
};

// ---- tails memoised per count key ---------------------------------------------------------------------

// A tail code is lower * kUpperCodes + upper (the steps of GridBounds), or one of these:
constexpr std::uint16_t kEmptyMargin = 0xFFFF;  // the empty-margin tail
constexpr std::uint16_t kOffGrid = 0xFFFE;      // computed pair by pair (see GridBounds)
constexpr std::uint16_t kPending = 0xFFFD;      // gathered, not evaluated yet
constexpr int kUpperCodes = 128;

// Open-addressing hash map from count key to tail code, at most three quarters full. It grows up to
// the slots that `maxKeys` keys need; a chunk reserves room for its new keys first, and the map is
// emptied when they would not fit, so memory stays bounded whatever the input.
template <class Keys>
class TailCache {
public:
    using Key = typename Keys::Key;

    explicit TailCache(std::size_t maxKeys) : maxKeys_(maxKeys) { reset(kInitialSlots); }

    std::uint16_t* find(const Key& key) {
        for (std::size_t slot = home(key);; slot = (slot + 1) & mask_) {
            if (keys_[slot] == key) return &codes_[slot];
            if (keys_[slot] == Keys::kEmpty) return nullptr;
        }
    }

    void insert(const Key& key, std::uint16_t code) {
        if ((size_ + 1) * 4 > keys_.size() * 3) grow();
        place(key, code);
        ++size_;
    }

    // Makes sure that `more` new keys can be inserted without emptying the map.
    void reserveRoom(std::size_t more) {
        if (size_ + more > maxKeys_) reset(keys_.size());
    }

private:
    static constexpr std::size_t kInitialSlots = 16;

    std::size_t home(const Key& key) const { return static_cast<std::size_t>(Keys::hash(key) >> shift_) & mask_; }
    void place(const Key& key, std::uint16_t code) {
        std::size_t slot = home(key);
        while (!(keys_[slot] == Keys::kEmpty)) slot = (slot + 1) & mask_;
        keys_[slot] = key;
        codes_[slot] = code;
    }
    void reset(std::size_t slots) {
        keys_.assign(slots, Keys::kEmpty);
        codes_.assign(slots, 0);
        mask_ = slots - 1;
        shift_ = 64 - std::countr_zero(slots);
        size_ = 0;
    }
    void grow() {
        std::vector<Key> oldKeys = std::move(keys_);
        std::vector<std::uint16_t> oldCodes = std::move(codes_);
        const std::size_t size = size_;
        reset(oldKeys.size() * 2);
        for (std::size_t s = 0; s < oldKeys.size(); ++s)
            if (!(oldKeys[s] == Keys::kEmpty)) place(oldKeys[s], oldCodes[s]);
        size_ = size;
    }

    std::size_t maxKeys_;
    std::vector<Key> keys_;
    std::vector<std::uint16_t> codes_;
    std::size_t mask_ = 0;
    int shift_ = 0;
    std::size_t size_ = 0;
};

void haplotypeCounts(const PairCounts& counts, HaploMode mode, int hapCounts[4]) {
    if (mode == HaploMode::Em) {
        emHaplotypes(counts, hapCounts);
        return;
    }
    hapCounts[0] = counts.k00;
    hapCounts[1] = counts.k01;
    hapCounts[2] = counts.k10;
    hapCounts[3] = counts.k11;
}

// The keys of a chunk that still need their bounds, evaluated grouped by their oriented margins so that
// pairs with the same margins share one MarginGrid.
template <class Keys>
class BoundsJobs {
public:
    using Key = typename Keys::Key;

    // Room for a whole chunk at once: growing by copying would hold two copies at the peak.
    BoundsJobs(HaploMode mode, std::size_t chunkKeys) : mode_(mode) { jobs_.reserve(chunkKeys); }

    // Enters a key not seen before: its tail code, or kPending when its bounds are to be evaluated.
    std::uint16_t add(const Key& key) {
        const PairCounts counts = Keys::counts(key);
        int hapCounts[4];
        haplotypeCounts(counts, mode_, hapCounts);
        if (hasEmptyMargin(hapCounts)) return kEmptyMargin;
        const LikelihoodSetup o = orientLikelihood(counts, hapCounts[0]);
        const auto a0 = static_cast<std::uint32_t>(o.k00 + o.k01 + o.dh);
        const auto b0 = static_cast<std::uint32_t>(o.k00 + o.k10 + o.dh);
        const auto T = static_cast<std::uint32_t>(o.k00 + o.k01 + o.k10 + o.k11 + 2 * o.dh);
        jobs_.push_back(Keys::job(a0, b0, T, static_cast<std::uint32_t>(hapCounts[0]), key));
        return kPending;
    }

    void evaluate(TailCache<Keys>& cache, ProgressCounts& progress) {
        std::sort(jobs_.begin(), jobs_.end(), Keys::before);
        std::optional<MarginGrid> grid;
        for (std::size_t first = 0, end = 0; first < jobs_.size(); first = end) {
            // the jobs [first, end) share their margins; the grid takes the logarithms all of them need
            unsigned positive = 0;
            for (end = first; end < jobs_.size() && Keys::sameMargins(jobs_[first], jobs_[end]); ++end)
                positive |= positiveCounts(oriented(jobs_[end]));
            grid.emplace(oriented(jobs_[first]), positive);
            for (std::size_t j = first; j < end; ++j) {
                const GridBounds bounds = grid->bounds(oriented(jobs_[j]));
                *cache.find(jobs_[j].key) =
                    bounds.onGrid ? static_cast<std::uint16_t>(bounds.lower * kUpperCodes + bounds.upper) : kOffGrid;
            }
            progress.addTables(static_cast<long>(end - first));
        }
        jobs_.clear();
    }

private:
    // Oriented margins (code 0 at the first marker, at the second, and T), the count X of haplotype 00
    // that the mode delivered, and the key.
    using Job = typename Keys::Job;
    static LikelihoodSetup oriented(const Job& job) { return orientLikelihood(Keys::counts(job.key), Keys::X(job)); }

    HaploMode mode_;
    std::vector<Job> jobs_;
};

// ---- report text --------------------------------------------------------------------------------------

// Printed bounds: "\t%5.3f\t" of the lower walk's values and "%5.3f\n" of the upper walk's.
struct BoundTexts {
    std::string lower[kGridSteps + 1];
    std::string upper[kGridSteps + 1];
    BoundTexts() {
        for (int s = 0; s <= kGridSteps; ++s) {
            lower[s] = std::string(1, '\t').append(format(risingTheta(s))).append(1, '\t');
            upper[s] = format(fallingTheta(s)).append(1, '\n');
        }
    }
    static std::string format(double value) {
        char text[32];
        const int length = std::snprintf(text, sizeof text, "%5.3f", value);
        return std::string(text, static_cast<std::size_t>(length));
    }
};

// Writes the tail of a pair whose bounds are known (not the empty-margin tail).
void writeBoundsTail(ldtools::BufferedWriter& fpo, std::uint16_t code, const PairCounts& counts, HaploMode mode) {
    static const BoundTexts texts;
    if (code == kOffGrid) {
        int hapCounts[4];
        haplotypeCounts(counts, mode, hapCounts);
        double result[2];
        confidenceLimitsFromCounts(result, counts, hapCounts[0]);
        fpo.printf("\t%5.3f\t%5.3f\n", result[0], result[1]);
    } else {
        fpo.put(texts.lower[code / kUpperCodes]);
        fpo.put(texts.upper[code % kUpperCodes]);
    }
}

// Printed positions of the markers of a set, each followed by a tab.
class PositionTexts {
public:
    PositionTexts(const double* positions, int nMarkers) : texts_(static_cast<std::size_t>(nMarkers)) {
        for (std::size_t m = 0; m < texts_.size(); ++m) {
            Text& t = texts_[m];
            char* end = std::to_chars(t.chars, t.chars + sizeof t.chars, static_cast<int>(positions[m])).ptr;
            *end++ = '\t';
            t.length = static_cast<std::size_t>(end - t.chars);
        }
    }
    void putWithTab(ldtools::BufferedWriter& fpo, int m) const { fpo.put(texts_[m].chars, texts_[m].length); }
    void put(ldtools::BufferedWriter& fpo, int m) const { fpo.put(texts_[m].chars, texts_[m].length - 1); }

private:
    struct Text {
        char chars[16];
        std::size_t length;
    };
    std::vector<Text> texts_;
};

void putDistance(ldtools::BufferedWriter& fpo, double distance) {
    char text[16];
    char* end = std::to_chars(text, text + sizeof text, static_cast<int>(distance)).ptr;
    *end++ = '\t';
    fpo.put(text, static_cast<std::size_t>(end - text));
}

// ---- the walk over the pairs of a set -----------------------------------------------------------------

// Place in the pair loop: the next pair is (i, j); j == i + 1 means the first marker i has just begun.
struct Cursor {
    int i = 0;
    int j = 1;
    bool operator==(const Cursor&) const = default;
};

// Visits, in report order, the far pairs and the pairs inside the window, from `from` up to `stop` or
// until onPair returns false; returns the place where it stopped.
template <class FarPair, class Pair, class FirstDone>
Cursor walkPairs(const double* positions, int nMarkers, Cursor from, Cursor stop, FarPair onFarPair, Pair onPair,
                 FirstDone onFirstDone) {
    Cursor c = from;
    while (c.i + 1 < nMarkers && !(c == stop)) {
        if (c.j == c.i + 1 && positions[c.i + 1] - positions[c.i] > kPairWindow) {
            onFarPair(c.i);
            c = Cursor{c.i + 1, c.i + 2};
        } else if (c.j < nMarkers && positions[c.j] - positions[c.i] < kPairWindow) {
            if (!onPair(c.i, c.j)) return c;
            ++c.j;
        } else {
            onFirstDone(c.i, c.j);
            c = Cursor{c.i + 1, c.i + 2};
        }
    }
    return c;
}

// The lines of one set, with count keys of the given width.
template <class Keys>
void writeSet(Run& run, const MarkerSet& set, TailCache<Keys>& cache, HaploMode mode, std::size_t chunkKeys) {
    const int nMarkers = set.nMarkers();
    const double* positions = set.positions();
    const double* ratios = set.ratios();
    const PackedAlleles& alleles = set.alleles();
    const bool phased = mode == HaploMode::Actual;
    const CountPair countPair = pairCounter(phased);
    const PositionTexts texts(positions, nMarkers);
    const Settings& s = run.settings;
    ldtools::BufferedWriter& fpo = run.fpo;
    const int words = alleles.words();
    auto zeroRatio = [ratios](int i, int j) { return ratios[i] == 0 || ratios[j] == 0; };
    auto countsOf = [&](int i, int j) { return countPair(alleles[i], alleles[j], words); };
    auto putHead = [&](int i, int j) {
        if (s.Position) {
            texts.putWithTab(fpo, i);
            texts.putWithTab(fpo, j);
        } else {
            putDistance(fpo, positions[j] - positions[i]);
        }
    };

    const Cursor end{nMarkers - 1, nMarkers};
    BoundsJobs<Keys> jobs(mode, chunkKeys);
    for (Cursor from; !(from == end);) {
        // Gather the keys of this chunk that have no tail yet.
        std::size_t newKeys = 0;
        cache.reserveRoom(chunkKeys);
        const Cursor stop = walkPairs(
            positions, nMarkers, from, end, [](int) {},
            [&](int i, int j) {
                if (zeroRatio(i, j)) return true;
                const typename Keys::Key key = Keys::key(countsOf(i, j));
                if (cache.find(key)) return true;
                if (newKeys == chunkKeys) return false;
                cache.insert(key, jobs.add(key));
                ++newKeys;
                return true;
            },
            [](int, int) {});
        jobs.evaluate(cache, run.progress);

        // Write the chunk's lines; with -D only the bounds lines.
        walkPairs(
            positions, nMarkers, from, stop,
            [&](int i) {
                if (s.recordsOnly) return;
                texts.putWithTab(fpo, i);
                texts.put(fpo, i + 1);
                fpo.put(" 0 0 0 0 0 0 0 0 0 1\n");
            },
            [&](int i, int j) {
                if (zeroRatio(i, j)) {
                    if (!s.recordsOnly) {
                        putHead(i, j);
                        fpo.put(kEmptyMarginTail);
                    }
                    return true;
                }
                const PairCounts counts = countsOf(i, j);
                const std::uint16_t code = *cache.find(Keys::key(counts));
                if (code == kEmptyMargin) {
                    if (!s.recordsOnly) {
                        putHead(i, j);
                        fpo.put(kEmptyMarginTail);
                    }
                    return true;
                }
                putHead(i, j);
                writeBoundsTail(fpo, code, counts, mode);
                return true;
            },
            [&](int i, int j) { run.progress.addPairs(j - i - 1, i); });
        from = stop;
    }
}

}  // namespace

// One memo per key width, kept from set to set: a key's tail depends only on the key and the mode.
struct FastPairs::Memos {
    explicit Memos(const FastPairLimits& limits) : narrow(limits.memoKeys), wide(limits.wideMemoKeys) {}
    TailCache<NarrowKeys> narrow;
    TailCache<WideKeys> wide;
};

// About 1.5 million memoised narrow keys (a map of 2^21 slots, 20 MB) and half of that per chunk; a
// quarter of that many wide keys (2^19 slots of 22 bytes), so that memory stays small beside the
// alleles of a large cohort.
FastPairLimits defaultFastPairLimits() {
    constexpr std::size_t kSlots = std::size_t{1} << 21;
    return FastPairLimits{kSlots / 8 * 3, kSlots / 4 * 3, kSlots / 32 * 3, kSlots / 16 * 3,
                          NarrowKeys::kMaxChromosomes};
}

FastPairs::FastPairs(const FastPairLimits& limits, HaploMode mode)
    : limits_(limits), mode_(mode), memos_(std::make_unique<Memos>(limits)) {}

FastPairs::~FastPairs() = default;

void FastPairs::pairs(Run& run, const MarkerSet& set) {
    if (set.nMarkers() < 2) return;
    if (set.nChromosomes() <= std::min(limits_.narrowKeyChromosomes, NarrowKeys::kMaxChromosomes))
        writeSet(run, set, memos_->narrow, mode_, limits_.chunkKeys);
    else
        writeSet(run, set, memos_->wide, mode_, limits_.wideChunkKeys);
}

}  // namespace linkstat
