#include "ldtile.hpp"

#include "blockformat.hpp"
#include "error.hpp"
#include "progress.hpp"
#include "replacefile.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <new>
#include <optional>
#include <utility>

namespace ldtile {
namespace {

// Longest span of a block of two, three and four SNPs.
constexpr int64_t kMaxSpanOfTwo = 9999;
constexpr int64_t kMaxSpanOfThree = 19999;
constexpr int64_t kMaxSpanOfFour = 29999;

int64_t span(const LDvals& ld, int first, int last) {
    return int64_t{ld.getSNPposition(last)} - ld.getSNPposition(first);
}

// The acceptance rule of the block first..last, given the bounds of its end pair and a way to get
// the LD share of the stretch, which is asked for only when the rule needs it.
template <class Share>
bool accepts(const LDvals& ld, int first, int last, double lower, double upper, double LDpercentage, Share share) {
    if (!(upper > upperlimit && lower > lowerlimit)) return false;
    const int size = last - first + 1;
    const int64_t length = span(ld, first, last);
    switch (size) {
    case 2:
        return lower > kTwoSnpLowerCutoff && length <= kMaxSpanOfTwo;  // upper > upperlimit holds
    case 3:
        return ld.threecheck(first, first + 1) && ld.threecheck(first + 1, last) && length <= kMaxSpanOfThree;
    case 4:
        return share() > LDpercentage && length <= kMaxSpanOfFour;
    default:
        return share() > LDpercentage;
    }
}

// Counts of strong and of uninformative pairs, packed in one number so that one addition adds
// both: strong pairs in the high 32 bits, uninformative pairs in the low 32 bits. The table holds
// fewer than 2^32 pairs, so no sum carries from one half into the other.
constexpr unsigned kStrongShift = 32;
constexpr uint64_t kUninformativeMask = 0xFFFFFFFFu;
inline uint64_t pairClasses(double lower, double upper) {
    return (uint64_t{ldtools::isStrong(lower, upper)} << kStrongShift) | ldtools::isUninformative(lower, upper);
}
inline double shareOf(int first, int last, uint64_t counts) {
    return shareOfStrong(int64_t{last} - first + 1, counts >> kStrongShift, counts & kUninformativeMask);
}

// Sums of packed counts over columns 0 .. c, with additions and sums in logarithmic time.
class CountTree {
public:
    explicit CountTree(size_t columns) : sums_(columns + 1, 0) {}
    void add(size_t column, uint64_t value) {
        for (size_t k = column + 1; k < sums_.size(); k += k & (~k + 1)) sums_[k] += value;
    }
    uint64_t sumThrough(size_t column) const {
        uint64_t sum = 0;
        for (size_t k = column + 1; k > 0; k -= k & (~k + 1)) sum += sums_[k];
        return sum;
    }

private:
    std::vector<uint64_t> sums_;
};

// Whether SNPs i..j form an acceptable block does not depend on the stretch being searched, so
// the acceptable last SNPs of every start SNP of the stretch are found once. Only a pair in strong
// LD can end a block, and only pairs the table holds can be in strong LD, so the candidates of
// start i are the pairs of row i.
//
// The share of a candidate i..j needs the strong and uninformative pairs (a, b) with a >= i and
// b <= j. The rows are visited from the last to the first, and columns[b] counts the pairs (a, b)
// of the rows visited so far; row i adds its own pairs, and then the counts of i..j are the sum of
// columns[i + 1 .. j], which grows along the row. A row that holds most pairs of its span is
// walked so, in time proportional to its pairs. A row that skips most SNPs of its span (a file
// with far-flung records) would make the walk cost more than the pairs it holds; if the stretch
// has such rows, the counts are also kept in a tree that sums any columns in logarithmic time, and
// those rows ask the tree.
class AcceptableEnds {
public:
    AcceptableEnds(const LDvals& ld, int start, int end, double LDpercentage)
        : base_(start), marks_(static_cast<size_t>(end - start) + 1, 0) {
        const BoundsTable& table = ld.table();
        const BoundStore& bounds = table.bounds();
        uint64_t walkCost = 0;
        uint64_t pairs = 0;
        for (int i = start; i < end; ++i) {
            walkCost += static_cast<uint64_t>(reachOf(table, i, end) - i);
            pairs += table.rowEnd(i) - table.rowBegin(i);
        }
        std::vector<uint64_t> columns(static_cast<size_t>(end - start) + 1, 0);
        std::optional<CountTree> tree;
        if (walkCost > kWalkFactor * (pairs + static_cast<uint64_t>(end - start))) tree.emplace(columns.size());

        for (int i = end - 1; i >= start; --i) {
            const int reach = reachOf(table, i, end);
            const uint64_t begin = table.rowBegin(i);
            if (!table.sparse(i)) {
                // Slot begin + k holds the pair (i, i + 1 + k).
                uint64_t counts = 0;
                for (int j = i + 1; j <= reach; ++j) {
                    const uint64_t slot = begin + static_cast<uint64_t>(j - i - 1);
                    const double upper = bounds.upper(slot);
                    const double lower = bounds.lower(slot);
                    const uint64_t classes = pairClasses(lower, upper);
                    uint64_t& column = columns[static_cast<size_t>(j - start)];
                    column += classes;
                    if (tree) tree->add(static_cast<size_t>(j - start), classes);
                    counts += column;
                    note(ld, i, j, lower, upper, LDpercentage, counts);
                }
            } else {
                const uint32_t* offsets = table.offsets(i);
                const auto held = static_cast<uint64_t>(
                    std::upper_bound(offsets, offsets + (table.rowEnd(i) - begin), static_cast<uint32_t>(reach - i)) -
                    offsets);
                for (uint64_t k = 0; k < held; ++k) {
                    const int j = i + static_cast<int>(offsets[k]);
                    const uint64_t classes = pairClasses(bounds.lower(begin + k), bounds.upper(begin + k));
                    columns[static_cast<size_t>(j - start)] += classes;
                    if (tree) tree->add(static_cast<size_t>(j - start), classes);
                }
                if (!tree || static_cast<uint64_t>(reach - i) <= kWalkFactor * held + kWalkSlack) {
                    uint64_t counts = 0;
                    uint64_t k = 0;
                    for (int j = i + 1; j <= reach; ++j) {
                        counts += columns[static_cast<size_t>(j - start)];
                        if (k == held || offsets[k] != static_cast<uint32_t>(j - i)) continue;
                        note(ld, i, j, bounds.lower(begin + k), bounds.upper(begin + k), LDpercentage, counts);
                        ++k;
                    }
                } else {
                    for (uint64_t k = 0; k < held; ++k) {
                        const int j = i + static_cast<int>(offsets[k]);
                        // Columns below i + 1 hold no pair of a row from i on.
                        note(ld, i, j, bounds.lower(begin + k), bounds.upper(begin + k), LDpercentage,
                             tree->sumThrough(static_cast<size_t>(j - start)));
                    }
                }
            }
            marks_[static_cast<size_t>(i - base_)] = ends_.size();
        }
    }

    // The largest acceptable last SNP of start i that is at most end, or -1.
    int lastWithin(int i, int end) const {
        const auto first = ends_.begin() + static_cast<std::ptrdiff_t>(marks_[static_cast<size_t>(i - base_ + 1)]);
        const auto last = ends_.begin() + static_cast<std::ptrdiff_t>(marks_[static_cast<size_t>(i - base_)]);
        if (first == last) return -1;
        if (*(last - 1) <= end) return *(last - 1);
        const auto above = std::upper_bound(first, last, end);
        return above == first ? -1 : *(above - 1);
    }

private:
    // A walk may cost this many times the pairs of the row (plus the slack) before the tree pays.
    static constexpr uint64_t kWalkFactor = 4;
    static constexpr uint64_t kWalkSlack = 64;

    static int reachOf(const BoundsTable& table, int i, int end) { return std::min(table.lastPartner(i), end); }

    void note(const LDvals& ld, int i, int j, double lower, double upper, double LDpercentage, uint64_t counts) {
        if (accepts(ld, i, j, lower, upper, LDpercentage, [&] { return shareOf(i, j, counts); })) ends_.push_back(j);
    }

    int base_;
    // Rows are visited from the last to the first, each adding its acceptable ends in ascending
    // order: those of start i are ends_[marks_[i - base_ + 1] .. marks_[i - base_] - 1].
    std::vector<uint64_t> marks_;
    std::vector<int> ends_;
};

// The longest acceptable block of any stretch inside the searched one; among equally long blocks
// the one with the lowest first SNP.
//
// A start SNP whose acceptable blocks all end inside the stretch offers its longest block, which
// is the same for every stretch; a tree over the start SNPs gives the best of these for any range
// of start SNPs in logarithmic time. Only a start SNP less than 200,000 position units below the
// stretch's end can have a block that reaches past it (the end pair of a block lies closer than
// that), so only the start SNPs in that window are looked at one by one.
class LongestBlocks {
public:
    LongestBlocks(const LDvals& ld, const AcceptableEnds& ends, int start, int end)
        : ld_(ld), ends_(ends), base_(start), lastEnd_(end), leaves_(static_cast<size_t>(end - start)),
          best_(2 * leaves_, kNoBlock) {
        for (size_t k = 0; k < leaves_; ++k) {
            const int i = start + static_cast<int>(k);
            if (ends.lastWithin(i, end) >= 0) best_[leaves_ + k] = i;
        }
        for (size_t node = leaves_; node-- > 1;) best_[node] = better(best_[2 * node], best_[2 * node + 1]);
    }

    // The longest acceptable block of the stretch from..to; false when the stretch holds none.
    bool find(int from, int to, Block& block) const {
        // Start SNPs below window have all their blocks end before to.
        const int32_t* positions = ld_.table().positions();
        const int64_t lowest = int64_t{ld_.getSNPposition(to)} - kMaxBlockSpan;
        const int window = static_cast<int>(std::upper_bound(positions + from, positions + to, lowest,
                                                             [](int64_t value, int32_t p) { return value < p; }) -
                                            positions);
        int best = kNoBlock;
        for (size_t l = static_cast<size_t>(from - base_) + leaves_, r = static_cast<size_t>(window - base_) + leaves_;
             l < r; l /= 2, r /= 2) {
            if (l & 1) best = better(best, best_[l++]);
            if (r & 1) best = better(best, best_[--r]);
        }
        int64_t bestSpan = best == kNoBlock ? 0 : spanOf(best);
        int bestEnd = best == kNoBlock ? -1 : ends_.lastWithin(best, lastEnd_);
        for (int i = window; i < to; ++i) {
            const int j = ends_.lastWithin(i, to);
            if (j < 0) continue;
            const int64_t length = span(ld_, i, j);
            if (length > bestSpan) {
                bestSpan = length;
                best = i;
                bestEnd = j;
            }
        }
        if (best == kNoBlock) return false;
        block = {best, bestEnd};
        return true;
    }

private:
    static constexpr int kNoBlock = -1;
    // A block's end pair is strong, so its bounds are held: it lies less than the pair window apart.
    static constexpr int64_t kMaxBlockSpan = ldtools::kPairWindow - 1;

    // Span of the longest block of start i in the whole searched stretch.
    int64_t spanOf(int i) const { return span(ld_, i, ends_.lastWithin(i, lastEnd_)); }
    // The start SNP with the longer block, the lower one of two with equally long blocks.
    int better(int a, int b) const {
        if (a == kNoBlock) return b;
        if (b == kNoBlock) return a;
        const int64_t spanA = spanOf(a);
        const int64_t spanB = spanOf(b);
        if (spanA != spanB) return spanA > spanB ? a : b;
        return std::min(a, b);
    }

    const LDvals& ld_;
    const AcceptableEnds& ends_;
    int base_;
    int lastEnd_;
    size_t leaves_;
    std::vector<int> best_;  // a tree over the start SNPs: node k covers nodes 2k and 2k + 1
};

// The first of the two outputs that is one file with the other or with the bounds file, as
// "-X and -Y name the same file: NAME" (NAME as given to -X); empty when there is none. The block
// file and the statistics file in one file would corrupt each other, and either of them would
// replace or grow the bounds file. Two names of one device (a terminal, /dev/null) are not one
// file, as writing to it replaces nothing.
std::string clashingFiles(const std::string& LDfile, const std::string& datafile, const std::string& blockfile) {
    if (ldtools::sameFile(blockfile, datafile)) return "-f and -o name the same file: " + blockfile;
    if (ldtools::sameFile(blockfile, LDfile)) return "-f and -d name the same file: " + blockfile;
    if (ldtools::sameFile(datafile, LDfile)) return "-o and -d name the same file: " + datafile;
    return "";
}

std::string cannotWrite(const std::string& name, const std::string& reason) {
    return "ldtile: cannot write " + name + ": " + reason + "\n";
}

// Appends the statistics line to datafile and replaces blockfile with the block list. Both files
// are opened before anything is written to either; a file that cannot be written does not keep
// the other from being written.
void writeReports(const LDvals& ld, const std::vector<Block>& blocks, int count, double LDstrongthreshold,
                  double LDpercentage, int minblocksize, const std::string& blockselectalg,
                  const std::string& datafile, const std::string& blockfile) {
    int statsFd;
    do {
        statsFd = ::open(datafile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    } while (statsFd < 0 && errno == EINTR);
    if (statsFd < 0) {
        throw ldtools::Error("ldtile: cannot open statistics file " + datafile + ": " + ldtools::systemReason(errno) +
                             "\n");
    }
    std::optional<ldtools::ReplacementFile> blockFile;
    try {
        blockFile.emplace(blockfile);
    } catch (const ldtools::SystemError& error) {
        ::close(statsFd);
        throw ldtools::Error("ldtile: cannot open block file " + blockfile + ": " + error.reason() + "\n");
    }

    std::string failures;
    ldtools::BufferedWriter stats(statsFd);
    try {
        stats.printf("%.3f\t%.3f\t%d\t%s\t", LDstrongthreshold, LDpercentage, minblocksize, blockselectalg.c_str());
        printstats(ld, blocks, count, stats);
        stats.flush();
    } catch (const ldtools::SystemError& error) {
        failures += cannotWrite(datafile, error.reason());
    }
    if (::close(statsFd) != 0 && errno != EINTR && failures.empty()) {
        failures += cannotWrite(datafile, ldtools::systemReason(errno));
    }
    try {
        ldtools::BufferedWriter out(blockFile->fd());
        printblocks(ld, blocks, count, out);
        out.flush();
        blockFile->commit();
    } catch (const ldtools::SystemError& error) {
        failures += cannotWrite(blockfile, error.reason());
    }
    if (!failures.empty()) throw ldtools::Error(failures);
}

}  // namespace

int isAcceptedBlock(const LDvals& ld, int first, int last, double LDpercentage) {
    return accepts(ld, first, last, ld.getLowerlimit(first, last), ld.getUpperlimit(first, last), LDpercentage,
                   [&] { return ld.test(first, last); });
}

int getLongestBlock(const LDvals& ld, int start, int end, std::vector<Block>& blockarray, int blockindex,
                    double LDpercentage) {
    if (start >= end) return blockindex;
    const AcceptableEnds ends(ld, start, end, LDpercentage);
    const LongestBlocks longest(ld, ends, start, end);
    // Stretches still to search. The one on top is searched next: the stretch left of a block
    // (with everything found in it) comes before the stretch right of it.
    std::vector<std::pair<int, int>> pending{{start, end}};
    while (!pending.empty()) {
        const auto [from, to] = pending.back();
        pending.pop_back();
        Block best;
        if (from >= to || !longest.find(from, to, best)) continue;
        if (blockarray.size() <= static_cast<size_t>(blockindex)) blockarray.resize(blockindex + 1);
        blockarray[blockindex++] = best;
        pending.emplace_back(ld.abovegap(best.last), to);
        pending.emplace_back(from, ld.belowgap(best.first));
    }
    return blockindex;
}

void printblocks(const LDvals& ld, const std::vector<Block>& array, int count, ldtools::BufferedWriter& blockfp) {
    blockfp.put(ldtools::kBlockHeaderLine);
    for (int k = 0; k < count; ++k) {
        const Block& block = array[k];
        blockfp.printf("%d\t%d\t%d\t%d\n", ld.getSNPposition(block.first), block.first, ld.getSNPposition(block.last),
                       block.last);
    }
}

void printstats(const LDvals& ld, const std::vector<Block>& array, int count, ldtools::BufferedWriter& datfp) {
    int longest = static_cast<int>(span(ld, array[0].first, array[0].last));
    int shortest = longest;
    int64_t total = 0;
    for (int k = 0; k < count; ++k) {
        const int length = static_cast<int>(span(ld, array[k].first, array[k].last));
        total += length;
        if (length > longest) {
            longest = length;
        } else if (length < shortest) {
            shortest = length;
        }
    }
    const double average = static_cast<double>(total) / count;
    const double coverage = static_cast<double>(total) / 100000.0;
    std::printf("Total number of blocks: %d\n", count);
    std::printf("Average length of blocks: %.3f\n", average);
    std::printf("Shortest block: %d\n", shortest);
    std::printf("Longest block: %d\n", longest);
    std::printf("Percent coverage: %.3f\n", coverage);
    datfp.printf("%d\t%.3f\t%d\t%d\t%.3f\n", count, average, shortest, longest, coverage);
}

int ldtile(const std::string& LDfile, double LDstrongthreshold, double LDpercentage, int minblocksize,
           const std::string& blockselectalg, const std::string& datafile, const std::string& blockfile) {
    std::fflush(stdout);  // the option echo lines come before any progress line
    ldtools::ProgressLine progress;
    LDvals ld;
    int last;
    try {
        last = ld.readConfvalues(LDfile, &progress);
    } catch (const std::bad_alloc&) {
        throw ldtools::Error("ldtile: not enough memory for the bounds table\n");
    }
    ld.setThreshold(LDstrongthreshold);

    std::fflush(stdout);
    progress.show("ldtile: searching for blocks");
    std::vector<Block> blocks;
    int count;
    try {
        count = getLongestBlock(ld, 0, last, blocks, 0, LDpercentage);
    } catch (const std::bad_alloc&) {
        throw ldtools::Error("ldtile: not enough memory for the block search\n");
    }
    progress.clear();
    if (count == 0) {
        std::printf("no blocks.\n");
        return count;
    }
    const std::string clash = clashingFiles(LDfile, datafile, blockfile);
    if (!clash.empty()) throw ldtools::Error("ldtile: " + clash + "\n");
    writeReports(ld, blocks, count, LDstrongthreshold, LDpercentage, minblocksize, blockselectalg, datafile,
                 blockfile);
    return count;
}

}  // namespace ldtile
