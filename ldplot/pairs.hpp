#pragma once
// The pairs of a bounds file as ldplot reads them: the class of a pair, the distinct positions of
// the records, and the pairs to draw kept aside until the number of SNPs is known.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "boundsformat.hpp"
#include "largememory.hpp"
#include "options.hpp"

namespace ldplot {

// The pair window, the pair classes and classify(lower, upper) are the bounds format's
// (boundsformat.hpp): a pair less than the window apart that the bounds file lacks is drawn as
// noRecord, which the block finder reads as 0/0, a recombination pair.
using ldtools::classify;
using ldtools::kPairClassCount;
using ldtools::kPairWindow;
using ldtools::PairClass;

// Index of the first element of sorted[from, end) that is not less than value, found by doubling
// steps from `from`: cheap when the answer lies near `from`.
std::size_t gallop(const std::vector<std::int32_t>& sorted, std::size_t from, std::int32_t value);

// The distinct positions of records read in file order (ascending first positions, and ascending
// second positions within a group). Memory follows the number of distinct positions.
class PositionSet {
public:
    void add(std::int32_t first, std::int32_t second) {
        // the usual record: the first position of the last one, and as second the next known position
        if (haveFirst_ && first == first_ && cursor_ + 1 < known_.size() && known_[cursor_ + 1] == second) {
            ++cursor_;
            return;
        }
        addAny(first, second);
    }
    // Every distinct position, ascending; the set is empty afterwards.
    std::vector<std::int32_t> take();

private:
    void addAny(std::int32_t first, std::int32_t second);
    void note(std::int32_t position);
    void compact();

    std::vector<std::int32_t> known_;    // ascending, distinct
    std::vector<std::int32_t> pending_;  // positions not found in known_ yet
    std::vector<std::int32_t> spare_;    // room for the next merge of the two
    std::size_t limit_ = std::size_t{1} << 16;
    bool haveFirst_ = false;
    std::int32_t first_ = 0;
    std::size_t cursor_ = 0;  // in known_: where the search for the group's next second starts
};

// The pairs of a regular bounds file kept in memory (4 bytes each when coloured by class, 16 MiB in
// all; 8 bytes with a bound) so that it is read once; a file with more pairs to draw is read twice.
// A 3 Mb region of 200 individuals has about 3.1 million.
inline constexpr std::size_t kKeptPairs = std::size_t{1} << 22;

// A pair kept for drawing: its positions and its value, the class as a number (decided on the
// bounds as read) or the bound to colour by (single precision is plenty for a colour), in 12
// bytes.
struct KeptPair {
    std::int32_t first;
    std::int32_t second;
    float value;
};

// Decides whether a record is drawn and with what value: the class as a number (decided on the
// bounds as read) or the bound to colour by. False for pairs kPairWindow or more apart and, with
// -r, pairs outside the range.
inline bool keptPair(const Options& options, std::int32_t first, std::int32_t second, double lower, double upper,
                     KeptPair& kept) {
    if (std::int64_t{second} - first >= kPairWindow) return false;
    if (options.hasRange && (first < options.from || second > options.to)) return false;
    double value = 0.0;
    switch (options.colouring) {
    case Colouring::pairClass:
        value = static_cast<double>(classify(lower, upper));
        break;
    case Colouring::lower:
        value = lower;
        break;
    case Colouring::upper:
        value = upper;
        break;
    }
    // The scale runs from 0 to 1: a bound beyond it counts as its end, also in a mean.
    if (options.colouring != Colouring::pairClass) value = std::clamp(value, 0.0, 1.0);
    kept = {first, second, static_cast<float>(value)};
    return true;
}

// The pairs of a regular bounds file kept for drawing, in file order. Records come in runs of one
// first position with ascending seconds less than kPairWindow after it, so a pair is kept as its
// distance from the first position (18 bits) and its class (2 bits) in one 32-bit word, or, coloured
// by a bound, the distance and the bound; each run keeps its first position and where it starts.
class KeptPairs {
public:
    // Room for `pairs` pairs, taken at once: pages not written cost nothing, and the pairs are never
    // copied to a larger array. classes: the values are classes (else bounds to colour by).
    void reserve(std::size_t pairs, bool classes);
    // A pair of a bounds record (second after first, less than kPairWindow after it) that follows
    // the pairs added so far in file order.
    void add(const KeptPair& pair) {
        if (runs_.empty() || runs_.back().first != pair.first) runs_.push_back({pair.first, words_.size()});
        const auto distance = static_cast<std::uint32_t>(pair.second - pair.first);
        if (classes_) {
            words_.push_back(distance << 2 | static_cast<std::uint32_t>(pair.value));
        } else {
            words_.push_back(distance);
            bounds_.push_back(pair.value);
        }
    }
    std::size_t size() const { return words_.size(); }

    // Calls visit(const KeptPair&) for every pair, in the order added: the pairs as they were added.
    template <class Visit>
    void forEach(Visit visit) const {
        for (std::size_t r = 0; r < runs_.size(); ++r) {
            const std::int32_t first = runs_[r].first;
            const std::size_t end = r + 1 < runs_.size() ? runs_[r + 1].start : words_.size();
            for (std::size_t k = runs_[r].start; k < end; ++k) {
                const std::uint32_t word = words_[k];
                if (classes_)
                    visit(KeptPair{first, first + static_cast<std::int32_t>(word >> 2), static_cast<float>(word & 3)});
                else
                    visit(KeptPair{first, first + static_cast<std::int32_t>(word), bounds_[k]});
            }
        }
    }

private:
    struct Run {
        std::int32_t first;
        std::size_t start;  // index of the run's first pair
    };
    bool classes_ = true;
    std::vector<std::uint32_t, ldtools::LargeAllocator<std::uint32_t>> words_;
    std::vector<float, ldtools::LargeAllocator<float>> bounds_;
    std::vector<Run> runs_;
    static_assert(kPairWindow <= (std::int32_t{1} << 30) && kPairClassCount <= 4,
                  "a distance inside the window and a class share 32 bits");
};

// The pairs to draw, in the order they were read. The pairs of a regular bounds file are kept in
// memory up to a limit (kKeptPairs); beyond it they are dropped and the file is read a second time.
// The records of a pipe are kept in memory up to a small buffer and beyond it in a temporary file
// (removed at once, so nothing is left behind) in TMPDIR or /tmp.
class PairSpool {
public:
    explicit PairSpool(std::size_t bufferPairs = std::size_t{1} << 13);
    ~PairSpool();
    PairSpool(PairSpool&& other) noexcept;
    PairSpool& operator=(PairSpool&&) = delete;
    PairSpool(const PairSpool&) = delete;
    PairSpool& operator=(const PairSpool&) = delete;

    void add(const KeptPair& pair) {
        if (buffer_.size() == bufferPairs_) spill();
        buffer_.push_back(pair);
        ++count_;
    }
    // A pair of the regular bounds file of options: kept while at most `limit` pairs are; past that,
    // every pair is dropped and forEach reads the file again (regionOnly: the region of the options
    // alone, through the index).
    void keepOrReread(const KeptPair& pair, std::size_t limit, const Options& options, bool regionOnly) {
        if (!rereading_) {
            if (kept_.size() < limit) {
                if (kept_.size() == 0) kept_.reserve(limit, options.colouring == Colouring::pairClass);
                kept_.add(pair);
                ++count_;
                return;
            }
            kept_ = KeptPairs();
            reread_ = options;
            rereading_ = true;
            regionOnly_ = regionOnly;
        }
        ++count_;
    }
    // Whether forEach reads the bounds file again.
    bool rereads() const { return rereading_; }
    std::uint64_t size() const { return count_; }

    // Calls visit(const KeptPair&) for every pair, in the order added. Throws ldtools::Error (and,
    // while reading the bounds file again, ldtools::BoundsFileError).
    template <class Visit>
    void forEach(Visit visit) {
        if (rereading_) {
            std::uint64_t seen = 0;
            forEachReread([&](const KeptPair& pair) {
                ++seen;
                visit(pair);
            });
            if (seen != count_) changedWhileRead();
        } else if (fd_ >= 0) {
            spill();
            rewind();
            std::vector<KeptPair> chunk(bufferPairs_);
            for (std::size_t count; (count = readChunk(chunk)) > 0;)
                for (std::size_t k = 0; k < count; ++k) visit(chunk[k]);
        } else {
            // a spool is filled one way: a pipe's pairs through add, a regular file's through keepOrReread
            for (const KeptPair& pair : buffer_) visit(pair);
            kept_.forEach(visit);
        }
    }

private:
    void spill();
    void rewind();
    std::size_t readChunk(std::vector<KeptPair>& chunk);
    template <class Visit>
    void forEachReread(Visit visit);
    [[noreturn]] void changedWhileRead() const;

    std::size_t bufferPairs_;
    std::vector<KeptPair> buffer_;  // a pipe's pairs not yet in the temporary file
    KeptPairs kept_;                // a regular file's pairs
    std::uint64_t count_ = 0;
    int fd_ = -1;
    std::string folder_;
    bool rereading_ = false;
    Options reread_;
    bool regionOnly_ = false;
};

// What reading the bounds file gives.
struct BoundsScan {
    std::vector<std::int32_t> positions;  // every SNP of the file (all distinct positions), ascending
    PairSpool pairs;                      // the pairs to draw, in file order
    // True when only the records that touch the range were read (the indexed form with its index):
    // then positions holds every SNP of the range but only some of those outside it.
    bool regionOnly = false;
};

// Reads the bounds file with the tool-chain's bounds reader (its errors pass through as
// ldtools::BoundsFileError): the positions, and the pairs less than kPairWindow apart whose two
// positions lie in the range of the options (everything without -r), with their class or the
// bound to draw. spoolBufferPairs: pairs of a pipe kept in memory before the temporary file;
// keptPairs: pairs of a regular file kept in memory before it is read a second time instead.
// With a range and allowRegion, the indexed form with its index is read from the range alone.
BoundsScan scanBounds(const Options& options, std::size_t spoolBufferPairs = std::size_t{1} << 13,
                      std::size_t keptPairs = kKeptPairs, bool allowRegion = true);

template <class Visit>
void PairSpool::forEachReread(Visit visit) {
    const std::unique_ptr<ldtools::BoundsSource> source =
        regionOnly_ ? ldtools::openBoundsRange(reread_.bounds, reread_.from, reread_.to)
                    : ldtools::openBounds(reread_.bounds);
    ldtools::BoundsRecord record;
    KeptPair kept{};
    while (source->next(record))
        if (keptPair(reread_, record.first, record.second, record.lower, record.upper, kept)) visit(kept);
}

}  // namespace ldplot
