// Fast evaluation of the pair loop (see fastpairs.hpp for why its output equals the reference loop).

#include "fastpairs.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "gridbounds.hpp"
#include "markers.hpp"
#include "tablecounts.hpp"
#include "workers.hpp"

namespace linkstat {

namespace {

// ---- count keys ---------------------------------------------------------------------------------------

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
    static std::uint32_t X(const Job& job) { return job.X; }
};

// ---- tails memoised per count key ---------------------------------------------------------------------

// A tail code is lower * kUpperCodes + upper (the steps of GridBounds), or one of these:
constexpr std::uint16_t kEmptyMargin = 0xFFFF;  // the empty-margin tail
constexpr std::uint16_t kOffGrid = 0xFFFE;      // computed pair by pair (see GridBounds)
constexpr std::uint16_t kPending = 0xFFFD;      // gathered, not evaluated yet
constexpr int kUpperCodes = 128;

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
        std::vector<Slot> old = std::move(slots_);
        const std::size_t size = size_;
        reset(slots);
        for (const Slot& entry : old)
            if (!(entry.key() == Keys::kEmpty)) place(entry);
        size_ = size;
    }

    std::size_t maxKeys_;
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    int shift_ = 0;
    std::size_t size_ = 0;
};

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

void haplotypeCounts(const PairCounts& counts, HaploMode mode, int hapCounts[4]) {
    if (mode == HaploMode::Em) {
        fastEmHaplotypes(counts, hapCounts);
        return;
    }
    hapCounts[0] = counts.k00;
    hapCounts[1] = counts.k01;
    hapCounts[2] = counts.k10;
    hapCounts[3] = counts.k11;
}

// ---- bounds of new keys -------------------------------------------------------------------------------

// A key met for the first time: its tail code, kEmptyMargin or kPending; a pending key comes with the
// job that evaluates its bounds and the bucket of its margins, of `buckets`.
template <class Keys>
struct PreparedKey {
    typename Keys::Job job;
    std::uint16_t code;
    std::uint32_t bucket;
};

template <class Keys>
PreparedKey<Keys> prepareKey(const typename Keys::Key& key, const PairCounts& counts, const int hapCounts[4],
                             std::uint32_t buckets) {
    if (hasEmptyMargin(hapCounts)) return {Keys::job(0, 0, 0, 0, key), kEmptyMargin, 0};
    const LikelihoodSetup o = orientLikelihood(counts, hapCounts[0]);
    const auto a0 = static_cast<std::uint32_t>(o.k00 + o.k01 + o.dh);
    const auto b0 = static_cast<std::uint32_t>(o.k00 + o.k10 + o.dh);
    const auto T = static_cast<std::uint32_t>(o.k00 + o.k01 + o.k10 + o.k11 + 2 * o.dh);
    // Keys with the same margins share a bucket, so that a bucket's groups are whole.
    const std::uint64_t mix = (std::uint64_t(a0) << 42 ^ std::uint64_t(b0) << 21 ^ T) * 0x9E3779B97F4A7C15ull;
    const auto bucket = static_cast<std::uint32_t>((mix >> 32) * buckets >> 32);
    return {Keys::job(a0, b0, T, static_cast<std::uint32_t>(hapCounts[0]), key), kPending, bucket};
}

// Oriented margins (code 0 at the first marker, at the second, and T), the count X of haplotype 00 that
// the mode delivered.
template <class Keys>
LikelihoodSetup oriented(const typename Keys::Job& job) {
    return orientLikelihood(Keys::counts(job.key), Keys::X(job));
}

// Evaluates the bounds of the jobs [first, last), which share their margins, into their tail codes:
// one MarginGrid takes the logarithms that all of them need. `setups` is room for their oriented counts.
template <class Keys>
void evaluateGroup(const typename Keys::Job* first, const typename Keys::Job* last, TailCache<Keys>& cache,
                   std::vector<LikelihoodSetup>& setups) {
    unsigned positive = 0;
    setups.clear();
    for (const typename Keys::Job* job = first; job != last; ++job) {
        setups.push_back(oriented<Keys>(*job));
        positive |= positiveCounts(setups.back());
    }
    MarginGrid grid(setups.front(), positive);
    for (std::size_t k = 0; k < setups.size(); ++k) {
        const GridBounds bounds = grid.bounds(setups[k]);
        *cache.find(first[k].key) =
            bounds.onGrid ? static_cast<std::uint16_t>(bounds.lower * kUpperCodes + bounds.upper) : kOffGrid;
    }
}

// Sorts jobs by their margins and evaluates them group by group, fetching the memo places of the jobs
// of the next groups while one is evaluated.
template <class Keys>
void evaluateJobs(std::vector<typename Keys::Job>& jobs, TailCache<Keys>& cache, std::vector<LikelihoodSetup>& setups) {
    constexpr std::size_t kJobsAhead = 4;
    std::sort(jobs.begin(), jobs.end(), Keys::before);
    std::size_t fetched = 0;
    for (std::size_t first = 0, end = 0; first < jobs.size(); first = end) {
        for (end = first + 1; end < jobs.size() && Keys::sameMargins(jobs[first], jobs[end]); ++end) {
        }
        for (; fetched < std::min(jobs.size(), end + kJobsAhead); ++fetched) cache.prefetch(jobs[fetched].key);
        evaluateGroup<Keys>(jobs.data() + first, jobs.data() + end, cache, setups);
    }
}

// ---- report text --------------------------------------------------------------------------------------

// The text of a block of report lines, made on any thread and written in order by the main thread.
class LineText {
public:
    void put(const char* text, std::size_t length) { text_.append(text, length); }
    void put(std::string_view text) { text_.append(text); }
    // "\t%5.3f\t%5.3f\n": room for any two doubles (at most 314 characters each).
    void putBounds(double lower, double upper) {
        char text[640];
        const int length = std::snprintf(text, sizeof text, "\t%5.3f\t%5.3f\n", lower, upper);
        if (length > 0) put(text, static_cast<std::size_t>(length));
    }
    std::string_view view() const { return text_; }
    void clear() { text_.clear(); }

private:
    std::string text_;
};

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
void writeBoundsTail(LineText& out, std::uint16_t code, const PairCounts& counts, HaploMode mode) {
    static const BoundTexts texts;
    if (code == kOffGrid) {
        int hapCounts[4];
        haplotypeCounts(counts, mode, hapCounts);
        double result[2];
        confidenceLimitsFromCounts(result, counts, hapCounts[0]);
        out.putBounds(result[0], result[1]);
    } else {
        out.put(texts.lower[code / kUpperCodes]);
        out.put(texts.upper[code % kUpperCodes]);
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
    void putWithTab(LineText& out, int m) const { out.put(texts_[m].chars, texts_[m].length); }
    void put(LineText& out, int m) const { out.put(texts_[m].chars, texts_[m].length - 1); }

private:
    struct Text {
        char chars[16];
        std::size_t length;
    };
    std::vector<Text> texts_;
};

void putDistance(LineText& out, double distance) {
    char text[16];
    char* end = std::to_chars(text, text + sizeof text, static_cast<int>(distance)).ptr;
    *end++ = '\t';
    out.put(text, static_cast<std::size_t>(end - text));
}

// ---- the walk over the pairs of a set -----------------------------------------------------------------

// Place in the pair loop: the next pair is (i, j); j == i + 1 means the first marker i has just begun.
struct Cursor {
    int i = 0;
    int j = 1;
    bool operator==(const Cursor&) const = default;
};

// Visits, in report order, the far pairs and the pairs inside the window, from `from` up to `stop`.
template <class FarPair, class Pair>
void walkPairs(const double* positions, int nMarkers, Cursor from, Cursor stop, FarPair onFarPair, Pair onPair) {
    Cursor c = from;
    while (c.i + 1 < nMarkers && !(c == stop)) {
        if (c.j == c.i + 1 && positions[c.i + 1] - positions[c.i] > kPairWindow) {
            onFarPair(c.i);
            c = Cursor{c.i + 1, c.i + 2};
        } else if (c.j < nMarkers && positions[c.j] - positions[c.i] < kPairWindow) {
            onPair(c.i, c.j);
            ++c.j;
        } else {
            c = Cursor{c.i + 1, c.i + 2};
        }
    }
}

// A stretch of the walk, from `from` up to `stop`: its report lines (far pairs and pairs inside the
// window), the pairs inside the window, and the first marker of its last line, for the progress line.
struct Block {
    Cursor from, stop;
    std::size_t lines = 0;
    long pairs = 0;
    int marker = 0;
};

// Cuts the walk of a set into blocks of at most maxLines lines, in report order.
std::vector<Block> cutBlocks(const double* positions, int nMarkers, std::size_t maxLines) {
    std::vector<Block> blocks;
    Block block;
    auto close = [&](Cursor at) {
        block.stop = at;
        blocks.push_back(block);
        block = Block{at, at, 0, 0, 0};
    };
    int windowEnd = 1;
    for (int i = 0; i + 1 < nMarkers; ++i) {
        if (positions[i + 1] - positions[i] > kPairWindow) {
            if (block.lines == maxLines) close(Cursor{i, i + 1});
            ++block.lines;
            block.marker = i;
            continue;
        }
        windowEnd = std::max(windowEnd, i + 1);
        while (windowEnd < nMarkers && positions[windowEnd] - positions[i] < kPairWindow) ++windowEnd;
        for (int j = i + 1; j < windowEnd;) {
            if (block.lines == maxLines) close(Cursor{i, j});
            const std::size_t take = std::min(static_cast<std::size_t>(windowEnd - j), maxLines - block.lines);
            block.lines += take;
            block.pairs += static_cast<long>(take);
            block.marker = i;
            j += static_cast<int>(take);
        }
    }
    if (block.lines > 0) close(Cursor{nMarkers - 1, nMarkers});
    return blocks;
}

// Blocks per member of the team in one gathering wave; new keys prepared at a time; buckets of jobs per
// member, and at most; blocks of text per member that may wait to be written; keys ahead whose memo
// places are fetched while new keys are entered.
constexpr std::size_t kWaveBlocksPerMember = 8;
constexpr std::size_t kPrepareKeys = 256;
constexpr std::size_t kBucketsPerMember = 64;
constexpr std::size_t kMaxBuckets = 4096;
constexpr std::size_t kWindowPerMember = 4;
constexpr std::size_t kLookAhead = 16;

// An object on cache lines of its own: members that change their own objects (a vector's end as it
// grows, a text's length) would otherwise slow each other down through a shared line.
template <class T>
struct alignas(64) Own {
    T value;
};

// What the walk of a set needs besides the memo, kept from set to set so that its storage is reused.
template <class Keys>
struct Workspace {
    using Key = typename Keys::Key;
    using Job = typename Keys::Job;

    explicit Workspace(std::size_t members)
        : seen(members),
          keys(members),
          jobs(std::min(kBucketsPerMember * members, kMaxBuckets)),
          scratch(members),
          setups(members),
          texts(kWindowPerMember * members) {}

    std::vector<Own<BlockKeys<Keys>>> seen;      // per member: the keys met in its block
    std::vector<Own<std::vector<Key>>> keys;     // per member: the keys of a block not kept
    std::vector<Own<std::vector<Key>>> kept;     // per block of a round, while they fit: the keys of its pairs
    std::vector<Own<std::vector<Key>>> found;    // per block of a wave: its keys that have no tail
    std::vector<Key> newKeys;                    // of a wave, as entered in the memo
    std::vector<PreparedKey<Keys>> prepared;     // of a wave, in the order of newKeys
    std::vector<std::deque<Job>> jobs;           // per bucket: the round's keys that wait for their bounds
    std::vector<Own<std::vector<Job>>> scratch;  // per member: the bucket it evaluates
    std::vector<Own<std::vector<LikelihoodSetup>>> setups;  // per member: the oriented counts of a group
    std::vector<Own<LineText>> texts;            // per block of the writing window
};

// The lines of one set, with count keys of the given width, computed by the members of a team and
// written in order by the calling thread.
//
// The walk goes in rounds. A round counts, wave by wave, the tables of its blocks and gathers the keys
// that have no tail yet (the members take blocks; the calling thread enters their new keys in the memo
// between waves), until the keys of one more wave might not fit in the memo or the round's limit of new
// keys. Then the members evaluate the new keys, bucket by bucket, and make the text of the round's
// blocks: the first blocks of the round keep their keys from the counting (as many as the limit of kept
// keys allows), the others count their tables again. The calling thread writes the blocks' text in
// order as it is done.
template <class Keys>
class SetLines {
public:
    using Key = typename Keys::Key;
    using Job = typename Keys::Job;

    SetLines(Run& run, const MarkerSet& set, TailCache<Keys>& cache, Workspace<Keys>& work, HaploMode mode,
             std::size_t chunkKeys, std::size_t keptKeyBytes, ldtools::WorkerTeam& team)
        : run_(run),
          set_(set),
          cache_(cache),
          work_(work),
          mode_(mode),
          chunkKeys_(std::max<std::size_t>(chunkKeys, 1)),
          team_(team),
          counter_(set.alleles(), set.nMarkers(), set.nChromosomes(), mode == HaploMode::Actual),
          keptLines_(keptKeyBytes / sizeof(Key)),
          texts_(set.positions(), set.nMarkers()),
          blockLines_(std::max<std::size_t>(run.tuning.blockLines, 1)),
          memoKeys_(std::max<std::size_t>(cache.maxKeys(), 1)),
          waveLines_(std::min({chunkKeys_, memoKeys_, blockLines_ * kWaveBlocksPerMember * members()})),
          blocks_(cutBlocks(set.positions(), set.nMarkers(), std::min(blockLines_, waveLines_))) {}

    void write() {
        std::size_t lines = 0;
        for (const Block& block : blocks_) lines += block.lines;
        cache_.reserve(std::min(lines, chunkKeys_));
        try {
            // Every round takes at least one wave: the memo is emptied when that one might not fit.
            for (std::size_t next = 0; next < blocks_.size();) {
                if (!roomForWave()) cache_.clear();
                roundStart_ = keptEnd_ = next;
                std::size_t roundKeys = 0, keptLines = 0;
                while (next < blocks_.size() && roundKeys + waveLines_ <= chunkKeys_ && roomForWave()) {
                    std::size_t end = next;
                    for (std::size_t wave = 0; end < blocks_.size() && wave + blocks_[end].lines <= waveLines_;)
                        wave += blocks_[end++].lines;
                    // the round's first blocks keep their keys for the text, as many as the limit allows
                    for (std::size_t b = next; b < end && b == keptEnd_ && keptLines + blocks_[b].lines <= keptLines_; ++b)
                        keptLines += blocks_[keptEnd_++].lines;
                    gather(next, end);
                    roundKeys += enter(next, end);
                    next = end;
                }
                evaluate();
                writeBlocks(roundStart_, next);
            }
        } catch (...) {
            // A round cut short leaves keys without their tails in the memo.
            cache_.clear();
            for (std::deque<Job>& bucket : work_.jobs) bucket.clear();
            throw;
        }
    }

private:
    std::size_t members() const { return static_cast<std::size_t>(team_.size()); }
    std::size_t window() const { return work_.texts.size(); }
    bool roomForWave() const { return cache_.size() + waveLines_ <= memoKeys_; }
    bool zeroRatio(int i, int j) const { return set_.ratios()[i] == 0 || set_.ratios()[j] == 0; }

    // The keys of blocks [first, end) that have no tail yet, each once per block (work_.found); the blocks
    // before keptEnd_ keep the keys of all their pairs for the text (work_.kept).
    void gather(std::size_t first, std::size_t end) {
        if (work_.found.size() < end - first) work_.found.resize(end - first);
        if (work_.kept.size() < keptEnd_ - roundStart_) work_.kept.resize(keptEnd_ - roundStart_);
        team_.forEach(end - first, [&](std::size_t index, int member) {
            const std::size_t b = first + index;
            std::vector<Key>& found = work_.found[index].value;
            std::vector<Key>& keys = keysOfBlock(b, member);
            BlockKeys<Keys>& seen = work_.seen[static_cast<std::size_t>(member)].value;
            found.clear();
            seen.start(blocks_[b].lines);
            keysOf(blocks_[b], keys);
            for (std::size_t k = 0; k < keys.size(); ++k) {
                if (k + kLookAhead < keys.size()) cache_.prefetch(keys[k + kLookAhead]);
                if (!cache_.find(keys[k]) && seen.add(keys[k])) found.push_back(keys[k]);
            }
        });
    }

    // Where the keys of block b go: its own place if it keeps them, else the member's.
    std::vector<Key>& keysOfBlock(std::size_t b, int member) {
        return b < keptEnd_ ? work_.kept[b - roundStart_].value : work_.keys[static_cast<std::size_t>(member)].value;
    }

    // The count keys of the pairs of a block whose marker ratios are both non-zero, in the order of the
    // walk. Their places in the memo are fetched ahead, so that looking them up does not wait for memory.
    void keysOf(const Block& block, std::vector<Key>& keys) const {
        keys.clear();
        walkPairs(set_.positions(), set_.nMarkers(), block.from, block.stop, [](int) {}, [&](int i, int j) {
            if (zeroRatio(i, j)) return;
            keys.push_back(Keys::key(counter_(i, j)));
            cache_.prefetch(keys.back());
        });
    }

    // Enters the keys that gather found in the memo and prepares them (on the members): the empty-margin
    // ones get their tail, the others wait in the buckets of their margins. Returns how many were new.
    std::size_t enter(std::size_t first, std::size_t end) {
        std::vector<Key>& newKeys = work_.newKeys;
        newKeys.clear();
        for (std::size_t index = 0; index < end - first; ++index) {
            const std::vector<Key>& found = work_.found[index].value;
            for (std::size_t k = 0; k < found.size(); ++k) {
                if (k + kLookAhead < found.size()) cache_.prefetch(found[k + kLookAhead]);
                if (cache_.insertNew(found[k], kPending)) newKeys.push_back(found[k]);
            }
        }
        work_.prepared.resize(newKeys.size());
        const auto buckets = static_cast<std::uint32_t>(work_.jobs.size());
        team_.forEach((newKeys.size() + kPrepareKeys - 1) / kPrepareKeys, [&](std::size_t piece, int) {
            const std::size_t first = piece * kPrepareKeys, n = std::min(newKeys.size() - first, kPrepareKeys);
            PairCounts counts[kPrepareKeys];
            int hapCounts[kPrepareKeys][4];
            for (std::size_t k = 0; k < n; ++k) counts[k] = Keys::counts(newKeys[first + k]);
            if (mode_ == HaploMode::Em) {
                fastEmHaplotypes(counts, n, hapCounts);
            } else {
                for (std::size_t k = 0; k < n; ++k) haplotypeCounts(counts[k], mode_, hapCounts[k]);
            }
            for (std::size_t k = 0; k < n; ++k) {
                PreparedKey<Keys>& prepared = work_.prepared[first + k];
                prepared = prepareKey<Keys>(newKeys[first + k], counts[k], hapCounts[k], buckets);
                if (prepared.code != kPending) *cache_.find(newKeys[first + k]) = prepared.code;
            }
        });
        for (const PreparedKey<Keys>& prepared : work_.prepared)
            if (prepared.code == kPending) work_.jobs[prepared.bucket].push_back(prepared.job);
        return newKeys.size();
    }

    // Evaluates the bounds of the round's pending keys, bucket by bucket.
    void evaluate() {
        std::atomic<long> evaluated{0};
        long shown = 0;
        team_.forEach(work_.jobs.size(), [&](std::size_t bucket, int member) {
            std::vector<Job>& jobs = work_.scratch[static_cast<std::size_t>(member)].value;
            jobs.assign(work_.jobs[bucket].begin(), work_.jobs[bucket].end());
            work_.jobs[bucket].clear();
            evaluateJobs(jobs, cache_, work_.setups[static_cast<std::size_t>(member)].value);
            evaluated.fetch_add(static_cast<long>(jobs.size()), std::memory_order_relaxed);
            if (member == 0) {
                const long now = evaluated.load(std::memory_order_relaxed);
                run_.progress.addTables(now - shown);
                shown = now;
            }
        });
        run_.progress.addTables(evaluated.load() - shown);
    }

    // The text of one block; with -D only the bounds lines.
    void format(std::size_t b, LineText& out, int member) {
        const Settings& s = run_.settings;
        const double* positions = set_.positions();
        const Block& block = blocks_[b];
        std::vector<Key>& keys = keysOfBlock(b, member);
        if (b >= keptEnd_) keysOf(block, keys);
        std::size_t next = 0;
        walkPairs(
            positions, set_.nMarkers(), block.from, block.stop,
            [&](int i) {
                if (s.recordsOnly) return;
                texts_.putWithTab(out, i);
                texts_.put(out, i + 1);
                out.put(" 0 0 0 0 0 0 0 0 0 1\n");
            },
            [&](int i, int j) {
                auto putHead = [&] {
                    if (s.Position) {
                        texts_.putWithTab(out, i);
                        texts_.putWithTab(out, j);
                    } else {
                        putDistance(out, positions[j] - positions[i]);
                    }
                };
                // the memo places of the keys ahead are fetched while this line is made
                if (next + kLookAhead < keys.size()) cache_.prefetch(keys[next + kLookAhead]);
                const std::uint16_t code = zeroRatio(i, j) ? kEmptyMargin : *cache_.find(keys[next++]);
                if (code == kEmptyMargin) {
                    if (s.recordsOnly) return;
                    putHead();
                    out.put(kEmptyMarginTail);
                    return;
                }
                putHead();
                writeBoundsTail(out, code, Keys::counts(keys[next - 1]), mode_);
            });
    }

    // Makes the text of blocks [first, end) on the members and writes it in order from the calling
    // thread, at most window() blocks ahead of the writing.
    void writeBlocks(std::size_t first, std::size_t end) {
        struct Shared {
            std::mutex mutex;
            std::condition_variable ready;  // a block's text is done
            std::condition_variable room;   // a block was written, or the work ends
            std::size_t claimed, written;
            std::vector<bool> done;
            bool abandoned = false;
        } shared{{}, {}, {}, first, first, std::vector<bool>(window(), false), false};
        auto slot = [&](std::size_t b) { return b % window(); };
        // Claims the next block if the window allows; the lock is held.
        auto claim = [&](std::size_t& b) {
            if (shared.claimed == end || shared.claimed >= shared.written + window()) return false;
            b = shared.claimed++;
            return true;
        };
        auto make = [&](std::size_t b, int member) {
            work_.texts[slot(b)].value.clear();
            format(b, work_.texts[slot(b)].value, member);
        };
        team_.run([&](int member) {
            try {
                if (member != 0) {
                    for (;;) {
                        std::size_t b = 0;
                        bool claimed = false;
                        {
                            std::unique_lock<std::mutex> lock(shared.mutex);
                            shared.room.wait(lock, [&] {
                                if (shared.abandoned) return true;
                                claimed = claim(b);
                                return claimed || shared.claimed == end;
                            });
                        }
                        if (!claimed) return;
                        make(b, member);
                        {
                            std::lock_guard<std::mutex> lock(shared.mutex);
                            shared.done[slot(b)] = true;
                        }
                        shared.ready.notify_one();
                    }
                }
                std::unique_lock<std::mutex> lock(shared.mutex);
                while (shared.written < end) {
                    if (shared.abandoned) return;
                    const std::size_t b = shared.written;
                    if (shared.done[slot(b)]) {
                        lock.unlock();
                        run_.fpo.put(work_.texts[slot(b)].value.view());
                        run_.progress.addPairs(blocks_[b].pairs, blocks_[b].marker);
                        lock.lock();
                        shared.done[slot(b)] = false;
                        ++shared.written;
                        shared.room.notify_all();
                        continue;
                    }
                    std::size_t mine;
                    if (claim(mine)) {
                        lock.unlock();
                        make(mine, 0);
                        lock.lock();
                        shared.done[slot(mine)] = true;
                        continue;
                    }
                    shared.ready.wait(lock);
                }
            } catch (...) {
                {
                    std::lock_guard<std::mutex> lock(shared.mutex);
                    shared.abandoned = true;
                }
                shared.room.notify_all();
                shared.ready.notify_all();
                throw;
            }
        });
    }

    Run& run_;
    const MarkerSet& set_;
    TailCache<Keys>& cache_;
    Workspace<Keys>& work_;
    HaploMode mode_;
    std::size_t chunkKeys_;
    ldtools::WorkerTeam& team_;
    TableCounter counter_;
    std::size_t keptLines_;       // lines per round whose keys are kept from counting to the text
    std::size_t roundStart_ = 0;  // the first block of the round
    std::size_t keptEnd_ = 0;     // the blocks of the round before it keep their keys
    PositionTexts texts_;
    std::size_t blockLines_;
    std::size_t memoKeys_;   // at least 1, so that a round can always take a wave
    std::size_t waveLines_;
    std::vector<Block> blocks_;
};

}  // namespace

// One memo per key width, kept from set to set (a key's tail depends only on the key and the mode), and
// the workspaces of the team, made with it.
struct FastPairs::Memos {
    explicit Memos(const FastPairLimits& limits) : narrow(limits.memoKeys), wide(limits.wideMemoKeys) {}
    TailCache<NarrowKeys> narrow;
    TailCache<WideKeys> wide;
    std::unique_ptr<ldtools::WorkerTeam> team;
    std::unique_ptr<Workspace<NarrowKeys>> narrowWork;
    std::unique_ptr<Workspace<WideKeys>> wideWork;
};

// About 1.5 million memoised narrow keys (a map of 2^21 slots of 10 bytes, 20 MB) and half of that per
// round; a quarter of that many wide keys (2^19 slots of 22 bytes), so that memory stays small beside
// the alleles of a large cohort. The keys of up to 8 MB of pairs are kept per round (a million narrow
// keys, 400,000 wide ones), which covers a round of most large cohorts.
FastPairLimits defaultFastPairLimits() {
    constexpr std::size_t kSlots = std::size_t{1} << 21;
    return FastPairLimits{kSlots / 8 * 3, kSlots / 4 * 3, kSlots / 32 * 3, kSlots / 16 * 3,
                          NarrowKeys::kMaxChromosomes, std::size_t{8} << 20};
}

FastPairs::FastPairs(const FastPairLimits& limits, HaploMode mode, int threads)
    : limits_(limits), mode_(mode), threads_(threads), memos_(std::make_unique<Memos>(limits)) {}

FastPairs::~FastPairs() = default;

void FastPairs::pairs(Run& run, const MarkerSet& set) {
    if (set.nMarkers() < 2) return;
    Memos& m = *memos_;
    if (!m.team) {
        m.team = std::make_unique<ldtools::WorkerTeam>(threads_ > 0 ? threads_ : ldtools::processorsOnline());
        const auto members = static_cast<std::size_t>(m.team->size());
        m.narrowWork = std::make_unique<Workspace<NarrowKeys>>(members);
        m.wideWork = std::make_unique<Workspace<WideKeys>>(members);
    }
    if (set.nChromosomes() <= std::min(limits_.narrowKeyChromosomes, NarrowKeys::kMaxChromosomes))
        SetLines<NarrowKeys>(run, set, m.narrow, *m.narrowWork, mode_, limits_.chunkKeys, limits_.keptKeyBytes, *m.team).write();
    else
        SetLines<WideKeys>(run, set, m.wide, *m.wideWork, mode_, limits_.wideChunkKeys, limits_.keptKeyBytes, *m.team).write();
}

}  // namespace linkstat
