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
#include "report.hpp"

using namespace linkstat;  // the bounds grid

namespace {

// ---- genotype tables on bit-packed genotypes ----------------------------------------------------------

// Per marker, one bit mask per code: genotype classes 0, 1, 2 over the individuals, or, for phased
// counting, allele codes 0 and 1 over the chromosomes. Missing data sets no bit; an unpaired last
// chromosome belongs to no individual.
class GenotypeMasks {
public:
    GenotypeMasks(const AlleleTable& alleles, int nMarkers, int nChromosomes, bool phased)
        : codes_(phased ? 2 : 3) {
        const int units = phased ? nChromosomes : nChromosomes / 2;
        words_ = (units + 63) / 64;
        bits_.assign(static_cast<std::size_t>(nMarkers) * codes_ * words_, 0);
        for (int m = 0; m < nMarkers; ++m) {
            const char* s = alleles[m];
            std::uint64_t* masks = bits_.data() + static_cast<std::size_t>(m) * codes_ * words_;
            for (int u = 0; u < units; ++u) {
                const int code = phased ? codeOf(s[u]) : classOf(s[2 * u], s[2 * u + 1]);
                if (code >= 0) masks[code * words_ + u / 64] |= std::uint64_t{1} << (u % 64);
            }
        }
    }
    const std::uint64_t* of(int marker) const {
        return bits_.data() + static_cast<std::size_t>(marker) * codes_ * words_;
    }
    int words() const { return words_; }

private:
    static int codeOf(char c) { return c == '0' ? 0 : c == '1' ? 1 : -1; }
    static int classOf(char x, char y) {
        const int a = codeOf(x), b = codeOf(y);
        return a < 0 || b < 0 ? -1 : a + b;
    }

    int codes_;
    int words_ = 0;
    std::vector<std::uint64_t> bits_;
};

// Counts of a pair from the masks of its first (a) and second (b) marker.
[[gnu::always_inline]] inline PairCounts unphasedBody(const std::uint64_t* a, const std::uint64_t* b, int words) {
    int t[3][3] = {};
    for (int w = 0; w < words; ++w) {
        const std::uint64_t a0 = a[w], a1 = a[words + w], a2 = a[2 * words + w];
        const std::uint64_t b0 = b[w], b1 = b[words + w], b2 = b[2 * words + w];
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

[[gnu::always_inline]] inline PairCounts phasedBody(const std::uint64_t* a, const std::uint64_t* b, int words) {
    PairCounts c;
    for (int w = 0; w < words; ++w) {
        const std::uint64_t a0 = a[w], a1 = a[words + w], b0 = b[w], b1 = b[words + w];
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

// ---- tails memoised per count key ---------------------------------------------------------------------

// A tail code is lower * kUpperCodes + upper (the steps of GridBounds), or one of these:
constexpr std::uint16_t kEmptyMargin = 0xFFFF;  // the empty-margin tail
constexpr std::uint16_t kOffGrid = 0xFFFE;      // computed pair by pair (see GridBounds)
constexpr std::uint16_t kPending = 0xFFFD;      // gathered, not evaluated yet
constexpr int kUpperCodes = 128;
constexpr int kCountBits = 11;  // every count is below 2048: there are at most 1999 chromosomes
constexpr std::uint64_t kCountMask = (1u << kCountBits) - 1;

std::uint64_t keyOf(const PairCounts& c) {
    return std::uint64_t(c.k00) | std::uint64_t(c.k01) << kCountBits | std::uint64_t(c.k10) << 2 * kCountBits |
           std::uint64_t(c.k11) << 3 * kCountBits | std::uint64_t(c.dh) << 4 * kCountBits;
}

PairCounts countsOfKey(std::uint64_t key) {
    auto field = [key](int f) { return static_cast<int>(key >> f * kCountBits & kCountMask); };
    return PairCounts{field(0), field(1), field(2), field(3), field(4)};
}

// Open-addressing hash map from count key to tail code, at most three quarters full. It grows up to
// the slots that `maxKeys` keys need; a chunk reserves room for its new keys first, and the map is
// emptied when they would not fit, so memory stays bounded whatever the input.
class TailCache {
public:
    explicit TailCache(std::size_t maxKeys) : maxKeys_(maxKeys) { reset(kInitialSlots); }

    std::uint16_t* find(std::uint64_t key) {
        const std::uint64_t stored = key + 1;
        for (std::size_t slot = home(stored);; slot = (slot + 1) & mask_) {
            if (keys_[slot] == stored) return &codes_[slot];
            if (keys_[slot] == 0) return nullptr;
        }
    }

    void insert(std::uint64_t key, std::uint16_t code) {
        if ((size_ + 1) * 4 > keys_.size() * 3) grow();
        place(key + 1, code);
        ++size_;
    }

    // Makes sure that `more` new keys can be inserted without emptying the map.
    void reserveRoom(std::size_t more) {
        if (size_ + more > maxKeys_) reset(keys_.size());
    }

private:
    static constexpr std::size_t kInitialSlots = 16;

    std::size_t home(std::uint64_t stored) const {
        return static_cast<std::size_t>((stored * 0x9E3779B97F4A7C15ull) >> shift_) & mask_;
    }
    void place(std::uint64_t stored, std::uint16_t code) {
        std::size_t slot = home(stored);
        while (keys_[slot] != 0) slot = (slot + 1) & mask_;
        keys_[slot] = stored;
        codes_[slot] = code;
    }
    void reset(std::size_t slots) {
        keys_.assign(slots, 0);
        codes_.assign(slots, 0);
        mask_ = slots - 1;
        shift_ = 64 - std::countr_zero(slots);
        size_ = 0;
    }
    void grow() {
        std::vector<std::uint64_t> oldKeys = std::move(keys_);
        std::vector<std::uint16_t> oldCodes = std::move(codes_);
        const std::size_t size = size_;
        reset(oldKeys.size() * 2);
        for (std::size_t s = 0; s < oldKeys.size(); ++s)
            if (oldKeys[s] != 0) place(oldKeys[s], oldCodes[s]);
        size_ = size;
    }

    std::size_t maxKeys_;
    std::vector<std::uint64_t> keys_;
    std::vector<std::uint16_t> codes_;
    std::size_t mask_ = 0;
    int shift_ = 0;
    std::size_t size_ = 0;
};

// About 1.5 million memoised keys (a map of 2^21 slots, 20 MB) and half of that per chunk.
constexpr FastPairLimits kDefaultLimits{std::size_t{1} << 19 | std::size_t{1} << 18,
                                        (std::size_t{1} << 21) / 4 * 3};
FastPairLimits Limits = kDefaultLimits;

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
class BoundsJobs {
public:
    // Room for a whole chunk at once: growing by copying would hold two copies at the peak.
    explicit BoundsJobs(HaploMode mode) : mode_(mode) { jobs_.reserve(Limits.chunkKeys); }

    // Enters a key not seen before: its tail code, or kPending when its bounds are to be evaluated.
    std::uint16_t add(std::uint64_t key) {
        const PairCounts counts = countsOfKey(key);
        int hapCounts[4];
        haplotypeCounts(counts, mode_, hapCounts);
        if (hasEmptyMargin(hapCounts)) return kEmptyMargin;
        const LikelihoodSetup oriented = orientLikelihood(counts, hapCounts[0]);
        const auto X = static_cast<std::uint64_t>(hapCounts[0]);
        jobs_.push_back({marginKey(oriented) << kGroupShift | X << kPositiveBits | positiveCounts(oriented), key});
        return kPending;
    }

    void evaluate(TailCache& cache) {
        std::sort(jobs_.begin(), jobs_.end(), [](const Job& x, const Job& y) { return x.group < y.group; });
        std::optional<MarginGrid> grid;
        for (std::size_t first = 0, end = 0; first < jobs_.size(); first = end) {
            // the jobs [first, end) share their margins; the grid takes the logarithms all of them need
            const std::uint64_t margins = jobs_[first].group >> kGroupShift;
            unsigned positive = 0;
            for (end = first; end < jobs_.size() && jobs_[end].group >> kGroupShift == margins; ++end)
                positive |= jobs_[end].group & kPositiveMask;
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
    static constexpr int kPositiveBits = 5;
    static constexpr std::uint64_t kPositiveMask = (1u << kPositiveBits) - 1;
    static constexpr int kGroupShift = kCountBits + kPositiveBits;
    struct Job {
        std::uint64_t group;  // oriented margins, X, and positiveCounts of the oriented counts
        std::uint64_t key;
    };
    static LikelihoodSetup oriented(const Job& job) {
        const auto X = static_cast<double>(job.group >> kPositiveBits & kCountMask);
        return orientLikelihood(countsOfKey(job.key), X);
    }

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

void writeTail(std::uint16_t code, const PairCounts& counts, HaploMode mode) {
    static const BoundTexts texts;
    if (code == kEmptyMargin) {
        fpo.put(kEmptyMarginTail);
    } else if (code == kOffGrid) {
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
    void putWithTab(int m) const { fpo.put(texts_[m].chars, texts_[m].length); }
    void put(int m) const { fpo.put(texts_[m].chars, texts_[m].length - 1); }

private:
    struct Text {
        char chars[16];
        std::size_t length;
    };
    std::vector<Text> texts_;
};

void putDistance(double distance) {
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

// One memo per counting mode, kept from set to set: a key's tail depends only on the key and the mode.
std::vector<TailCache> Memos;

TailCache& tailCache(HaploMode mode) {
    if (Memos.empty())
        for (int m = 0; m < 3; ++m) Memos.emplace_back(Limits.memoKeys);
    return Memos[static_cast<std::size_t>(mode)];
}

}  // namespace

FastPairLimits defaultFastPairLimits() {
    return kDefaultLimits;
}

void setFastPairLimits(const FastPairLimits& limits) {
    Limits = limits;
    Memos.clear();
}

void fastPairs(int nChromosomes, int nMarkers, const double* positions, const double* ratios,
               const AlleleTable& alleles, HaploMode mode) {
    if (nMarkers < 2) return;
    const bool phased = mode == HaploMode::Actual;
    const GenotypeMasks masks(alleles, nMarkers, nChromosomes, phased);
    const CountPair countPair = pairCounter(phased);
    const PositionTexts texts(positions, nMarkers);
    TailCache& cache = tailCache(mode);
    const int words = masks.words();
    auto zeroRatio = [ratios](int i, int j) { return ratios[i] == 0 || ratios[j] == 0; };
    auto countsOf = [&](int i, int j) { return countPair(masks.of(i), masks.of(j), words); };

    const Cursor end{nMarkers - 1, nMarkers};
    BoundsJobs jobs(mode);
    for (Cursor from; !(from == end);) {
        // Gather the keys of this chunk that have no tail yet.
        std::size_t newKeys = 0;
        cache.reserveRoom(Limits.chunkKeys);
        const Cursor stop = walkPairs(
            positions, nMarkers, from, end, [](int) {},
            [&](int i, int j) {
                if (zeroRatio(i, j)) return true;
                const std::uint64_t key = keyOf(countsOf(i, j));
                if (cache.find(key)) return true;
                if (newKeys == Limits.chunkKeys) return false;
                cache.insert(key, jobs.add(key));
                ++newKeys;
                return true;
            },
            [](int, int) {});
        jobs.evaluate(cache);

        // Write the chunk's lines.
        walkPairs(
            positions, nMarkers, from, stop,
            [&](int i) {
                texts.putWithTab(i);
                texts.put(i + 1);
                fpo.put(" 0 0 0 0 0 0 0 0 0 1\n");
            },
            [&](int i, int j) {
                if (Position) {
                    texts.putWithTab(i);
                    texts.putWithTab(j);
                } else {
                    putDistance(positions[j] - positions[i]);
                }
                if (zeroRatio(i, j)) {
                    fpo.put(kEmptyMarginTail);
                    return true;
                }
                const PairCounts counts = countsOf(i, j);
                writeTail(*cache.find(keyOf(counts)), counts, mode);
                return true;
            },
            [&](int i, int j) { progress.addPairs(j - i - 1, i, nMarkers); });
        from = stop;
    }
}
