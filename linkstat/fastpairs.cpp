// Fast evaluation of the pair loop (see fastpairs.hpp for why its output equals the reference loop).

#include "fastpairs.hpp"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "blockkeys.hpp"
#include "countkeys.hpp"
#include "em.hpp"
#include "gridbounds.hpp"
#include "largememory.hpp"
#include "linetext.hpp"
#include "markers.hpp"
#include "pairblocks.hpp"
#include "report.hpp"
#include "run.hpp"
#include "tablecounts.hpp"
#include "tailcache.hpp"
#include "workers.hpp"

namespace linkstat {

namespace {

// The haplotype counts of the mode: by EM, or in the known and actual modes the key's own counts.
void haplotypeCounts(const PairCounts& counts, HaploMode mode, EmKernel kernel, int hapCounts[4]) {
    if (mode == HaploMode::em) {
        fastEmHaplotypes(counts, hapCounts, kernel);
        return;
    }
    hapCounts[0] = counts.k00;
    hapCounts[1] = counts.k01;
    hapCounts[2] = counts.k10;
    hapCounts[3] = counts.k11;
}

// ---- bounds of new keys -------------------------------------------------------------------------------

// A key met for the first time: its tail code, kEmptyMargin or kPending; a pending key comes with the
// job that evaluates its bounds.
template <class Keys>
struct PreparedKey {
    typename Keys::Job job;
    std::uint16_t code;
};

template <class Keys>
PreparedKey<Keys> prepareKey(const typename Keys::Key& key, const PairCounts& counts, const EmOutcome& outcome) {
    if (outcome.emptyMargin) return {Keys::job(0, 0, 0, 0, key), kEmptyMargin};
    // the oriented margins: exchanging the codes of the first marker turns a0 into T - a0
    const auto T = static_cast<std::uint32_t>(counts.k00 + counts.k01 + counts.k10 + counts.k11 + 2 * counts.dh);
    const auto unswapped = static_cast<std::uint32_t>(counts.k00 + counts.k01 + counts.dh);
    const auto a0 = swapsFirstMarker(counts, outcome.X) ? T - unswapped : unswapped;
    const auto b0 = static_cast<std::uint32_t>(counts.k00 + counts.k10 + counts.dh);
    return {Keys::job(a0, b0, T, static_cast<std::uint32_t>(outcome.X), key), kPending};
}

// The bucket of a job, of `buckets`: jobs with the same margins share a bucket, so that a bucket's groups
// are whole.
template <class Keys>
std::uint32_t bucketOf(const typename Keys::Job& job, std::uint32_t buckets) {
    const std::uint64_t mix = Keys::margins(job) * 0x9E3779B97F4A7C15ull;
    return static_cast<std::uint32_t>((mix >> 32) * buckets >> 32);
}

// Orders n jobs by their buckets, in place (each job is moved to the next free place of its bucket, the
// job found there moves on in turn); starts[b] is then where bucket b begins, starts[buckets] == n.
template <class Keys>
void sortByBucket(typename Keys::Job* jobs, std::size_t n, std::uint32_t buckets, std::vector<std::size_t>& starts,
                  std::vector<std::size_t>& next) {
    starts.assign(buckets + std::size_t{1}, 0);
    for (std::size_t k = 0; k < n; ++k) ++starts[bucketOf<Keys>(jobs[k], buckets) + std::size_t{1}];
    for (std::uint32_t b = 0; b < buckets; ++b) starts[b + std::size_t{1}] += starts[b];
    next.assign(starts.begin(), starts.end() - 1);
    for (std::uint32_t b = 0; b < buckets; ++b) {
        while (next[b] < starts[b + std::size_t{1}]) {
            typename Keys::Job job = jobs[next[b]];
            for (std::uint32_t home = bucketOf<Keys>(job, buckets); home != b; home = bucketOf<Keys>(job, buckets))
                std::swap(job, jobs[next[home]++]);
            jobs[next[b]++] = job;
        }
    }
}

// Oriented margins (code 0 at the first marker, at the second, and T), the count X of haplotype 00 that
// the mode delivered.
template <class Keys>
LikelihoodSetup oriented(const typename Keys::Job& job) {
    return orientLikelihood(Keys::counts(job.key), Keys::X(job));
}

// What one member of the team needs to evaluate bounds: room for the oriented counts of a group and for
// the slots of its grid, and the tally of its grids.
struct Evaluator {
    std::vector<LikelihoodSetup> setups;
    GridScratch grid;
    BoundsTally tally;
};

// Evaluates the bounds of the jobs [first, last), which share their margins, into their tail codes:
// one MarginGrid takes the logarithms that all of them need.
template <class Keys>
void evaluateGroup(const typename Keys::Job* first, const typename Keys::Job* last, TailCache<Keys>& cache,
                   Evaluator& evaluator, const BoundsOptions& options) {
    std::vector<LikelihoodSetup>& setups = evaluator.setups;
    unsigned positive = 0;
    setups.clear();
    for (const typename Keys::Job* job = first; job != last; ++job) {
        setups.push_back(oriented<Keys>(*job));
        positive |= positiveCounts(setups.back());
    }
    MarginGrid grid(setups.front(), positive, options, evaluator.grid);
    for (std::size_t k = 0; k < setups.size(); ++k) {
        const GridBounds bounds = grid.bounds(setups[k]);
        *cache.find(first[k].key) =
            bounds.onGrid ? static_cast<std::uint16_t>(bounds.lower * kUpperCodes + bounds.upper) : kOffGrid;
    }
    evaluator.tally += grid.tally();
}

// Sorts jobs by their margins and evaluates them group by group, fetching the memo places of the jobs
// of the next groups while one is evaluated.
template <class Keys>
void evaluateJobs(typename Keys::Job* jobs, std::size_t n, TailCache<Keys>& cache, Evaluator& evaluator,
                  const BoundsOptions& options) {
    constexpr std::size_t kJobsAhead = 4;
    // a lambda, so that the comparisons are inlined (a function pointer is called for each)
    std::sort(jobs, jobs + n, [](const typename Keys::Job& x, const typename Keys::Job& y) { return Keys::before(x, y); });
    std::size_t fetched = 0;
    for (std::size_t first = 0, end = 0; first < n; first = end) {
        for (end = first + 1; end < n && Keys::sameMargins(jobs[first], jobs[end]); ++end) {
        }
        for (; fetched < std::min(n, end + kJobsAhead); ++fetched) cache.prefetch(jobs[fetched].key);
        evaluateGroup<Keys>(jobs + first, jobs + end, cache, evaluator, options);
    }
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
          buckets(static_cast<std::uint32_t>(std::min(kBucketsPerMember * members, kMaxBuckets))),
          evaluators(members),
          texts(kWindowPerMember * members) {}

    std::vector<Own<BlockKeys<Keys>>> seen;      // per member: the keys met in its block
    std::vector<Own<std::vector<Key>>> keys;     // per member: room for the keys of a block not kept
    // The keys of the pairs of a round's first blocks, block after block, while they fit: where each
    // block's keys start and how many it has.
    ldtools::LargeArray<Key> kept;
    std::vector<std::size_t> keptAt;
    std::vector<std::size_t> keptCount;
    std::vector<Own<std::vector<Key>>> found;    // per block of a wave: its keys that have no tail
    std::vector<Key> newKeys;                    // of a wave, as entered in the memo
    std::vector<std::size_t> pendingOfPiece;     // of a wave: the pending keys of each piece of newKeys
    // The jobs of the round's keys that wait for their bounds (the first `pending` of them); before they
    // are evaluated, they are ordered by bucket, and bucket b starts at bucketStarts[b].
    ldtools::LargeArray<Job> jobs;
    std::size_t pending = 0;
    std::uint32_t buckets;
    std::vector<std::size_t> bucketStarts, bucketNext;
    std::vector<Own<Evaluator>> evaluators;      // per member: what it evaluates bounds with
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
          counter_(set.alleles(), set.nMarkers(), set.nChromosomes(), mode == HaploMode::actual,
                   run.tuning.kernels.get<CountKernel>()),
          emKernel_(run.tuning.kernels.get<EmKernel>()),
          boundsOptions_{run.tuning.kernels.get<BoundsKernel>(), run.tuning.bandScale},
          boundTexts_(boundTexts()),
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
        // room for the kept keys of the largest round (pages that are never written are never touched)
        if (work_.kept.size() < std::min(lines, keptLines_)) work_.kept = ldtools::LargeArray<Key>(std::min(lines, keptLines_));
        // and for the jobs of a round, whose new keys are at most chunkKeys_
        roomForJobs(std::min(lines, chunkKeys_));
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
                    for (std::size_t b = next; b < end && b == keptEnd_ && keptLines + blocks_[b].lines <= keptLines_; ++b) {
                        if (work_.keptAt.size() <= b - roundStart_) work_.keptAt.resize(b - roundStart_ + 1);
                        work_.keptAt[b - roundStart_] = keptLines;
                        keptLines += blocks_[keptEnd_++].lines;
                    }
                    if (work_.keptCount.size() < keptEnd_ - roundStart_) work_.keptCount.resize(keptEnd_ - roundStart_);
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
            work_.pending = 0;
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
        team_.forEach(end - first, [&](std::size_t index, int member) {
            const std::size_t b = first + index;
            std::vector<Key>& found = work_.found[index].value;
            Key* keys = keysOfBlock(b, member);
            BlockKeys<Keys>& seen = work_.seen[static_cast<std::size_t>(member)].value;
            found.clear();
            seen.start(blocks_[b].lines);
            const std::size_t n = keysOf(blocks_[b], keys);
            if (b < keptEnd_) work_.keptCount[b - roundStart_] = n;
            for (std::size_t k = 0; k < n; ++k) {
                if (k + kLookAhead < n) cache_.prefetch(keys[k + kLookAhead]);
                if (!cache_.find(keys[k]) && seen.add(keys[k])) found.push_back(keys[k]);
            }
        });
    }

    // Where the keys of block b go: its place among the kept keys if it keeps them, else the member's
    // room (a block has at most as many keys as lines).
    Key* keysOfBlock(std::size_t b, int member) {
        if (b < keptEnd_) return work_.kept.data() + work_.keptAt[b - roundStart_];
        std::vector<Key>& room = work_.keys[static_cast<std::size_t>(member)].value;
        if (room.size() < blocks_[b].lines) room.resize(blocks_[b].lines);
        return room.data();
    }

    // Writes the count keys of the pairs of a block whose marker ratios are both non-zero to `keys`, in
    // the order of the walk, and returns how many there are. Their places in the memo are fetched ahead,
    // so that looking them up does not wait for memory.
    std::size_t keysOf(const Block& block, Key* keys) const {
        std::size_t n = 0;
        walkPairs(set_.positions(), set_.nMarkers(), block.from, block.stop, [](int) {}, [&](int i, int j) {
            if (zeroRatio(i, j)) return;
            keys[n] = Keys::key(counter_(i, j));
            cache_.prefetch(keys[n++]);
        });
        return n;
    }

    // Enters the keys that gather found in the memo and prepares them (on the members): the empty-margin
    // ones get their tail, the others join the jobs of the round. Returns how many were new.
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
        roomForJobs(work_.pending + newKeys.size());
        // Each piece of new keys puts the jobs of its pending ones at the start of its own stretch of the
        // jobs' room; the stretches are then closed up in order.
        Job* room = work_.jobs.data() + work_.pending;
        const std::size_t pieces = (newKeys.size() + kPrepareKeys - 1) / kPrepareKeys;
        work_.pendingOfPiece.resize(pieces);
        team_.forEach(pieces, [&](std::size_t piece, int) {
            const std::size_t first = piece * kPrepareKeys, n = std::min(newKeys.size() - first, kPrepareKeys);
            PairCounts counts[kPrepareKeys];
            EmOutcome outcomes[kPrepareKeys];
            for (std::size_t k = 0; k < n; ++k) counts[k] = Keys::counts(newKeys[first + k]);
            outcomesOf(counts, n, outcomes);
            std::size_t pending = 0;
            for (std::size_t k = 0; k < n; ++k) {
                const PreparedKey<Keys> prepared = prepareKey<Keys>(newKeys[first + k], counts[k], outcomes[k]);
                if (prepared.code == kPending)
                    room[first + pending++] = prepared.job;
                else
                    *cache_.find(newKeys[first + k]) = prepared.code;
            }
            work_.pendingOfPiece[piece] = pending;
        });
        for (std::size_t piece = 0; piece < pieces; ++piece) {
            const Job* from = room + piece * kPrepareKeys;
            Job* to = work_.jobs.data() + work_.pending;
            if (to != from) std::copy(from, from + work_.pendingOfPiece[piece], to);  // to lies before from
            work_.pending += work_.pendingOfPiece[piece];
        }
        return newKeys.size();
    }

    // Room for n jobs in all, the pending ones kept.
    void roomForJobs(std::size_t n) {
        if (work_.jobs.size() >= n) return;
        ldtools::LargeArray<Job> jobs(std::max(2 * work_.jobs.size(), n));
        std::copy(work_.jobs.data(), work_.jobs.data() + work_.pending, jobs.data());
        work_.jobs = std::move(jobs);
    }

    // What the haplotype counts of the mode tell of n tables: an empty margin, or the count X that
    // orients the table. In EM mode only the tables whose outcome the iteration might change iterate.
    void outcomesOf(const PairCounts* counts, std::size_t n, EmOutcome* outcomes) const {
        int hapCounts[kPrepareKeys][4];
        if (mode_ != HaploMode::em) {
            for (std::size_t k = 0; k < n; ++k) haplotypeCounts(counts[k], mode_, emKernel_, hapCounts[k]);
            for (std::size_t k = 0; k < n; ++k) outcomes[k] = EmOutcome{hasEmptyMargin(hapCounts[k]), hapCounts[k][0]};
            return;
        }
        PairCounts open[kPrepareKeys];
        std::size_t where[kPrepareKeys], nOpen = 0;
        for (std::size_t k = 0; k < n; ++k) {
            if (emOutcomeWithoutIterating(counts[k], outcomes[k])) continue;
            open[nOpen] = counts[k];
            where[nOpen++] = k;
        }
        fastEmHaplotypes(open, nOpen, hapCounts, emKernel_);
        for (std::size_t k = 0; k < nOpen; ++k)
            outcomes[where[k]] = EmOutcome{hasEmptyMargin(hapCounts[k]), hapCounts[k][0]};
    }

    // Evaluates the bounds of the round's pending keys, bucket by bucket.
    void evaluate() {
        std::atomic<long> evaluated{0};
        long shown = 0;
        const std::vector<std::size_t>& starts = work_.bucketStarts;
        sortByBucket<Keys>(work_.jobs.data(), work_.pending, work_.buckets, work_.bucketStarts, work_.bucketNext);
        work_.pending = 0;
        team_.forEach(work_.buckets, [&](std::size_t bucket, int member) {
            const std::size_t n = starts[bucket + 1] - starts[bucket];
            evaluateJobs(work_.jobs.data() + starts[bucket], n, cache_, work_.evaluators[static_cast<std::size_t>(member)].value,
                         boundsOptions_);
            evaluated.fetch_add(static_cast<long>(n), std::memory_order_relaxed);
            if (member == 0) {
                const long now = evaluated.load(std::memory_order_relaxed);
                run_.progress.addTables(now - shown);
                shown = now;
            }
        });
        run_.progress.addTables(evaluated.load() - shown);
        for (Own<Evaluator>& evaluator : work_.evaluators) {
            run_.tally += evaluator.value.tally;
            evaluator.value.tally = BoundsTally{};
        }
    }

    // The text of one block; with -D only the bounds lines.
    void format(std::size_t b, LineText& out, int member) {
        const Settings& s = run_.settings;
        const double* positions = set_.positions();
        const Block& block = blocks_[b];
        Key* keys = keysOfBlock(b, member);
        const std::size_t nKeys = b < keptEnd_ ? work_.keptCount[b - roundStart_] : keysOf(block, keys);
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
                if (next + kLookAhead < nKeys) cache_.prefetch(keys[next + kLookAhead]);
                const std::uint16_t code = zeroRatio(i, j) ? kEmptyMargin : *cache_.find(keys[next++]);
                if (s.Position && code < kPending) {
                    // the common line, copied in four fixed-size pieces
                    char* at = out.room(4 * sizeof(Piece::chars));
                    at = LineText::put(at, texts_.withTab(i));
                    at = LineText::put(at, texts_.withTab(j));
                    at = LineText::put(at, boundTexts_.lower[code / kUpperCodes]);
                    out.end(LineText::put(at, boundTexts_.upper[code % kUpperCodes]));
                    return;
                }
                if (code == kEmptyMargin) {
                    if (s.recordsOnly) return;
                    putHead();
                    out.put(kEmptyMarginTail);
                    return;
                }
                putHead();
                writeBoundsTail(out, code, Keys::counts(keys[next - 1]));
            });
    }

    // Writes the tail of a pair whose bounds are known (not the empty-margin tail).
    void writeBoundsTail(LineText& out, std::uint16_t code, const PairCounts& counts) const {
        if (code == kOffGrid) {
            int hapCounts[4];
            haplotypeCounts(counts, mode_, emKernel_, hapCounts);
            double result[2];
            confidenceLimitsFromCounts(result, counts, hapCounts[0]);
            out.putBounds(result[0], result[1]);
        } else {
            out.put(boundTexts_.lower[code / kUpperCodes]);
            out.put(boundTexts_.upper[code % kUpperCodes]);
        }
    }

    // Makes the text of blocks [first, end) on the members and writes it in order from the calling
    // thread, at most window() blocks ahead of the writing.
    void writeBlocks(std::size_t first, std::size_t end) {
        auto text = [&](std::size_t b) -> LineText& { return work_.texts[b % window()].value; };
        team_.forEachInOrder(
            end - first, window(),
            [&](std::size_t index, int member) {
                LineText& out = text(first + index);
                out.clear();
                format(first + index, out, member);
            },
            [&](std::size_t index) {
                const std::size_t b = first + index;
                run_.fpo.put(text(b).view());
                run_.progress.addPairs(blocks_[b].pairs, blocks_[b].marker);
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
    EmKernel emKernel_;
    BoundsOptions boundsOptions_;
    const BoundTexts& boundTexts_;
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
// the alleles of a large cohort. The keys of up to 32 MB of pairs are kept per round with narrow keys
// (4 million pairs: a round of a small cohort, whose keys repeat, spans millions of pairs, and counting
// them again would cost more than a tenth of the run) and of up to 8 MB with wide keys (400,000 pairs,
// which covers a round of most large cohorts).
FastPairLimits defaultFastPairLimits() {
    constexpr std::size_t kSlots = std::size_t{1} << 21;
    return FastPairLimits{kSlots / 8 * 3, kSlots / 4 * 3, kSlots / 32 * 3, kSlots / 16 * 3,
                          NarrowKeys::kMaxChromosomes, std::size_t{32} << 20, std::size_t{8} << 20};
}

FastPairs::FastPairs(const FastPairLimits& limits, HaploMode mode, int threads)
    : limits_(limits), mode_(mode), threads_(threads), memos_(std::make_unique<Memos>(limits)) {}

FastPairs::~FastPairs() = default;

void FastPairs::pairs(Run& run, const MarkerSet& set) {
    if (set.nMarkers() < 2) return;
    Memos& m = *memos_;
    if (!m.team) {
        m.team = std::make_unique<ldtools::WorkerTeam>(threads_ > 0 ? threads_ : ldtools::processorsAvailable());
        const auto members = static_cast<std::size_t>(m.team->size());
        m.narrowWork = std::make_unique<Workspace<NarrowKeys>>(members);
        m.wideWork = std::make_unique<Workspace<WideKeys>>(members);
    }
    if (set.nChromosomes() <= std::min(limits_.narrowKeyChromosomes, NarrowKeys::kMaxChromosomes))
        SetLines<NarrowKeys>(run, set, m.narrow, *m.narrowWork, mode_, limits_.chunkKeys, limits_.keptKeyBytes, *m.team).write();
    else
        SetLines<WideKeys>(run, set, m.wide, *m.wideWork, mode_, limits_.wideChunkKeys, limits_.wideKeptKeyBytes, *m.team).write();
}

}  // namespace linkstat
