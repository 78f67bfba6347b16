#include "ldtile.hpp"

#include "LDvals.hpp"
#include "progress.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// Longest span of a block of two, three and four SNPs.
constexpr int64_t maxSpanOfTwo = 9999;
constexpr int64_t maxSpanOfThree = 19999;
constexpr int64_t maxSpanOfFour = 29999;

int64_t span(int first, int last) { return int64_t{getSNPposition(last)} - getSNPposition(first); }

// Whether SNPs i..j form an acceptable block does not depend on the stretch being searched, so
// the acceptable last SNPs of every start SNP are found once. Only a pair in strong LD can end a
// block, and only pairs the bounds file supplied can be in strong LD, so the candidates of start i
// are i + 1 .. lastStoredPartner(i).
class AcceptableEnds {
public:
    AcceptableEnds(int start, int end, double LDpercentage) : base_(start), begin_(end - start + 1, 0) {
        uint64_t candidates = 0;
        for (int i = start; i < end; ++i) candidates += static_cast<uint64_t>(lastCandidate(i, end) - i);
        ends_.reserve(candidates);
        for (int i = start; i < end; ++i) {
            const int last = lastCandidate(i, end);
            for (int j = i + 1; j <= last; ++j) {
                if (isacceptedblock(i, j, LDpercentage)) ends_.push_back(j);
            }
            begin_[i - base_ + 1] = ends_.size();
        }
    }

    // The largest acceptable last SNP of start i that is at most end, or -1.
    int lastWithin(int i, int end) const {
        const auto first = ends_.begin() + static_cast<std::ptrdiff_t>(begin_[i - base_]);
        const auto last = ends_.begin() + static_cast<std::ptrdiff_t>(begin_[i - base_ + 1]);
        if (first == last) return -1;
        if (*(last - 1) <= end) return *(last - 1);
        const auto above = std::upper_bound(first, last, end);
        return above == first ? -1 : *(above - 1);
    }

private:
    static int lastCandidate(int i, int end) { return std::min(lastStoredPartner(i), end); }

    int base_;
    std::vector<uint64_t> begin_;  // acceptable ends of start i: ends_[begin_[i - base_] ..]
    std::vector<int> ends_;
};

// The longest acceptable block of the stretch start..end; the one with the lowest first SNP among
// equally long ones. False when the stretch holds none.
bool longestBlockOf(const AcceptableEnds& ends, int start, int end, Block& best) {
    int64_t bestSpan = 0;
    bool found = false;
    for (int i = start; i < end; ++i) {
        const int j = ends.lastWithin(i, end);
        if (j < 0) continue;
        const int64_t length = span(i, j);
        if (length > bestSpan) {
            bestSpan = length;
            best = {i, j};
            found = true;
        }
    }
    return found;
}

[[noreturn]] void failOutput(const char* what, const std::string& name) {
    std::fprintf(stderr, "ldtile: cannot open %s %s: %s\n", what, name.c_str(), std::strerror(errno));
    std::exit(1);
}

// Flushes and closes an output file; reports a failure and returns false.
bool closeOutput(FILE* file, const std::string& name) {
    errno = 0;
    bool ok = std::fflush(file) == 0 && !std::ferror(file);
    int error = errno;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        std::fprintf(stderr, "ldtile: cannot write %s: %s\n", name.c_str(),
                     error != 0 ? std::strerror(error) : "input/output error");
    }
    return ok;
}

}  // namespace

int isacceptedblock(int first, int last, double LDpercentage) {
    if (!paircheck(first, last)) return 0;
    const int size = last - first + 1;
    const int64_t length = span(first, last);
    switch (size) {
    case 2:
        return twocheck(first, last) && length <= maxSpanOfTwo;
    case 3:
        return threecheck(first, first + 1) && threecheck(first + 1, last) && length <= maxSpanOfThree;
    case 4:
        return test(first, last) > LDpercentage && length <= maxSpanOfFour;
    default:
        return test(first, last) > LDpercentage;
    }
}

int getLongestBlock(int start, int end, std::vector<Block>& blockarray, int blockindex, double LDpercentage) {
    if (start >= end) return blockindex;
    const AcceptableEnds ends(start, end, LDpercentage);
    // Stretches still to search. The one on top is searched next: the stretch left of a block
    // (with everything found in it) comes before the stretch right of it.
    std::vector<std::pair<int, int>> pending{{start, end}};
    while (!pending.empty()) {
        const auto [from, to] = pending.back();
        pending.pop_back();
        Block best;
        if (from >= to || !longestBlockOf(ends, from, to, best)) continue;
        if (blockarray.size() <= static_cast<size_t>(blockindex)) blockarray.resize(blockindex + 1);
        blockarray[blockindex++] = best;
        pending.emplace_back(abovegap(best.last), to);
        pending.emplace_back(from, belowgap(best.first));
    }
    return blockindex;
}

void printblocks(const std::vector<Block>& array, int count, FILE* blockfp) {
    std::fprintf(blockfp, "SNP1\tindex\tSNP2\tindex\n");
    for (int k = 0; k < count; ++k) {
        const Block& block = array[k];
        std::fprintf(blockfp, "%d\t%d\t%d\t%d\n", getSNPposition(block.first), block.first,
                     getSNPposition(block.last), block.last);
    }
}

void printstats(const std::vector<Block>& array, int count, FILE* datfp) {
    int longest = static_cast<int>(span(array[0].first, array[0].last));
    int shortest = longest;
    int64_t total = 0;
    for (int k = 0; k < count; ++k) {
        const int length = static_cast<int>(span(array[k].first, array[k].last));
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
    std::fprintf(datfp, "%d\t%.3f\t%d\t%d\t%.3f\n", count, average, shortest, longest, coverage);
}

int ldtile(const std::string& LDfile, double LDstrongthreshold, double LDpercentage, int minblocksize,
           const std::string& blockselectalg, const std::string& datafile, const std::string& blockfile) {
    std::fflush(stdout);  // the option echo lines come before any progress line
    Progress progress;
    const int last = readConfvalues(LDfile, &progress);
    setThreshold(LDstrongthreshold);

    std::fflush(stdout);
    progress.show("ldtile: searching for blocks");
    std::vector<Block> blocks;
    const int count = getLongestBlock(0, last, blocks, 0, LDpercentage);
    progress.clear();
    if (count == 0) {
        std::printf("no blocks.\n");
        return count;
    }

    // Both files are opened before anything is written to either.
    FILE* datfp = std::fopen(datafile.c_str(), "a");
    if (!datfp) failOutput("statistics file", datafile);
    FILE* blockfp = std::fopen(blockfile.c_str(), "w");
    if (!blockfp) failOutput("block file", blockfile);

    std::fprintf(datfp, "%.3f\t%.3f\t%d\t%s\t", LDstrongthreshold, LDpercentage, minblocksize,
                 blockselectalg.c_str());
    printstats(blocks, count, datfp);
    printblocks(blocks, count, blockfp);
    const bool statisticsWritten = closeOutput(datfp, datafile);
    const bool blocksWritten = closeOutput(blockfp, blockfile);
    if (!statisticsWritten || !blocksWritten) std::exit(1);
    return count;
}
