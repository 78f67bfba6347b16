#include "LDvals.hpp"

#include "boundsfile.hpp"
#include "largepages.hpp"
#include "tablebuilder.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

namespace {

// The shortest text a record can have ("1 2 0 0" and a line break): with the size of the file it
// bounds the number of records.
constexpr uint64_t minimumRecordBytes = 8;

// Cut-offs of the pair tests. All comparisons with them are strict.
constexpr double upperlimit = 0.98;           // strong LD: upper bound above this ...
constexpr double lowerlimit = 0.7;            // ... and lower bound above this
constexpr double recombinationCutoff = 0.9;   // recombination pair: upper bound below this
constexpr double twoSNPLowerCutoff = 0.8;
constexpr double threeSNPLowerCutoff = 0.75;
constexpr int64_t gapWidth = 200;

double threshold = 0.9;

// Index of the last SNP (the number of SNPs minus one), the position of every SNP and the bounds
// of the pairs, row after row (see BoundsTable).
int SNPcount = 0;
BoundsTable table;

// Share of informative pairs in constant time. Only pairs the file supplied can be strong or
// uninformative (a pair with bounds 0.0 is a recombination pair), so it is enough to count those
// two classes: in the stretch lo..hi they are the pairs (a, b) with a >= lo and b <= hi.
//  - reach[a]: the largest index that any row a' <= a reaches; nondecreasing.
//  - For every a and every hi in a + 1 .. reach[a], the counts of the stretch a..hi, entry
//    e = hi - a - 1 of row a. To save memory an entry is kept as a 16-bit difference from the
//    full count at the start of its run of countRun entries: along a row the counts grow by at
//    most the row's width per entry, and countRun is chosen so that a run never outgrows 16 bits.
//  - strongFrom[a], uninformativeFrom[a]: the counts of all pairs whose first SNP is >= a.
//  - firstReaching[hi]: the smallest a with reach[a] >= hi.
struct PairCounts {
    uint32_t strong;
    uint32_t uninformative;
};
struct CountDifference {
    uint16_t strong;
    uint16_t uninformative;
};
std::vector<int> reach;
unsigned countRunBits = 0;  // countRun = 2^countRunBits
std::vector<uint64_t> countStart;  // first entry of row a
std::vector<uint64_t> runStart;    // first run of row a
// Every entry is written once, so the arrays are not cleared first.
std::unique_ptr<PairCounts[]> runCounts;
std::unique_ptr<CountDifference[]> countDifferences;
std::vector<uint64_t> strongFrom;
std::vector<uint64_t> uninformativeFrom;
std::vector<int> firstReaching;

// Classes of a pair: strong LD (upper > upperlimit and lower > lowerlimit), recombination
// (upper < 0.9), else uninformative. A strong pair is never a recombination pair, as upperlimit
// exceeds 0.9. Computed without branches: the classes of neighbouring pairs follow no pattern.
inline unsigned isStrong(double upper, double lower) {
    return static_cast<unsigned>(upper > upperlimit) & static_cast<unsigned>(lower > lowerlimit);
}
inline unsigned isUninformative(double upper, double lower) {
    return static_cast<unsigned>(!(upper < recombinationCutoff)) & (isStrong(upper, lower) ^ 1u);
}
static_assert(upperlimit > recombinationCutoff);

inline uint64_t rowLength(int a) { return table.rowStart[a + 1] - table.rowStart[a]; }

// The largest run of entries whose counts stay within 16 bits of the run's first entry.
unsigned chooseCountRunBits(int maxWidth) {
    unsigned bits = 4;
    while (bits > 0 && ((uint64_t{1} << bits) - 1) * static_cast<uint64_t>(maxWidth) > 0xFFFF) --bits;
    return bits;
}

void buildShareCounts() {
    const int n = static_cast<int>(table.positions.size());
    reach.assign(n, 0);
    int maxWidth = 0;
    for (int a = 0; a < n; ++a) {
        const int own = a + static_cast<int>(rowLength(a));
        reach[a] = std::max(own, a > 0 ? reach[a - 1] : 0);
        maxWidth = std::max(maxWidth, reach[a] - a);
    }
    countRunBits = chooseCountRunBits(maxWidth);
    const uint64_t runLength = uint64_t{1} << countRunBits;
    countStart.assign(n + 1, 0);
    runStart.assign(n + 1, 0);
    for (int a = 0; a < n; ++a) {
        const auto width = static_cast<uint64_t>(reach[a] - a);
        countStart[a + 1] = countStart[a] + width;
        runStart[a + 1] = runStart[a] + (width + runLength - 1) / runLength;
    }
    runCounts.reset();
    countDifferences.reset();
    runCounts.reset(new PairCounts[runStart[n]]);
    countDifferences.reset(new CountDifference[countStart[n]]);
    preferLargePages(runCounts.get(), runStart[n] * sizeof(PairCounts));
    preferLargePages(countDifferences.get(), countStart[n] * sizeof(CountDifference));
    strongFrom.assign(n + 1, 0);
    uninformativeFrom.assign(n + 1, 0);

    // Rows from the last to the first: the stretch a..hi holds the pairs of a..hi that start in
    // row a, and those of the stretch a + 1..hi, which the previous row gave.
    std::vector<PairCounts> current(maxWidth);
    std::vector<PairCounts> next(maxWidth);
    for (int a = n - 1; a >= 0; --a) {
        const uint64_t length = rowLength(a);
        const uint64_t first = table.rowStart[a];
        const auto width = static_cast<uint64_t>(reach[a] - a);
        PairCounts ownRow{0, 0};
        for (uint64_t e = 0; e < width; ++e) {
            if (e < length) {
                const double upper = table.bounds.upper(first + e);
                const double lower = table.bounds.lower(first + e);
                ownRow.strong += isStrong(upper, lower);
                ownRow.uninformative += isUninformative(upper, lower);
            }
            PairCounts counts = ownRow;
            if (e > 0) {
                counts.strong += next[e - 1].strong;
                counts.uninformative += next[e - 1].uninformative;
            }
            current[e] = counts;
        }
        PairCounts* runs = runCounts.get() + runStart[a];
        CountDifference* differences = countDifferences.get() + countStart[a];
        for (uint64_t e = 0; e < width; ++e) {
            const PairCounts& base = current[e & ~(runLength - 1)];
            if ((e & (runLength - 1)) == 0) runs[e >> countRunBits] = base;
            differences[e] = {static_cast<uint16_t>(current[e].strong - base.strong),
                              static_cast<uint16_t>(current[e].uninformative - base.uninformative)};
        }
        strongFrom[a] = strongFrom[a + 1] + ownRow.strong;
        uninformativeFrom[a] = uninformativeFrom[a + 1] + ownRow.uninformative;
        current.swap(next);
    }

    firstReaching.assign(n, 0);
    int a = 0;
    for (int hi = 0; hi < n; ++hi) {
        while (reach[a] < hi) ++a;
        firstReaching[hi] = a;
    }
}

// Counts of the stretch a..hi, a < hi <= reach[a].
PairCounts storedCounts(int a, int hi) {
    const auto e = static_cast<uint64_t>(hi - a - 1);
    const PairCounts& base = runCounts[runStart[a] + (e >> countRunBits)];
    const CountDifference& difference = countDifferences[countStart[a] + e];
    return {base.strong + difference.strong, base.uninformative + difference.uninformative};
}

// Strong and uninformative pairs of the stretch lo..hi, lo < hi.
PairCounts stretchCounts(int lo, int hi) {
    if (hi <= reach[lo]) return storedCounts(lo, hi);
    // Rows lo .. m - 1 end before hi, so all their pairs lie in the stretch.
    const int m = firstReaching[hi];
    PairCounts counts;
    counts.strong = static_cast<uint32_t>(strongFrom[lo] - strongFrom[m]);
    counts.uninformative = static_cast<uint32_t>(uninformativeFrom[lo] - uninformativeFrom[m]);
    if (m < hi) {
        const PairCounts rest = storedCounts(m, hi);
        counts.strong += rest.strong;
        counts.uninformative += rest.uninformative;
    }
    return counts;
}

}  // namespace

void setThreshold(double th) { threshold = th; }

int loadConfvalues(const std::string& filename, ReadObserver* observer) {
    BoundsFileReader reader(filename, observer);
    TableBuilder builder(table, reader.size() / minimumRecordBytes);
    BoundsRecord record;
    while (reader.next(record)) builder.add(record);
    builder.finish();
    // The share counts are 32-bit: so many pairs would not fit in memory anyway.
    if (table.storedPairs > std::numeric_limits<uint32_t>::max()) reader.fail(filename + ": too many records");
    SNPcount = static_cast<int>(table.positions.size()) - 1;
    buildShareCounts();
    return SNPcount;
}

int readConfvalues(const std::string& filename, ReadObserver* observer) {
    int last = loadConfvalues(filename, observer);
    std::printf("%d\n", last);
    return last;
}

int getSNPposition(int index) { return table.positions[index]; }

double getUpperlimit(int snp1, int snp2) {
    if (snp1 == snp2) return 1.0;
    const int a = std::min(snp1, snp2);
    const uint64_t d = static_cast<uint64_t>(std::max(snp1, snp2) - a);
    return d <= rowLength(a) ? table.bounds.upper(table.rowStart[a] + d - 1) : 0.0;
}

double getLowerlimit(int snp1, int snp2) {
    if (snp1 == snp2) return 1.0;
    const int a = std::min(snp1, snp2);
    const uint64_t d = static_cast<uint64_t>(std::max(snp1, snp2) - a);
    return d <= rowLength(a) ? table.bounds.lower(table.rowStart[a] + d - 1) : 0.0;
}

int lastStoredPartner(int snp) { return snp + static_cast<int>(rowLength(snp)); }

long long storedPairCount() { return static_cast<long long>(table.storedPairs); }

void printSNPS() {
    for (int i = 0; i <= SNPcount; ++i) std::printf("%d\n", table.positions[i]);
}

int paircheck(int snp1, int snp2) {
    return getUpperlimit(snp1, snp2) > upperlimit && getLowerlimit(snp1, snp2) > lowerlimit;
}

int twocheck(int snp1, int snp2) {
    return getUpperlimit(snp1, snp2) > upperlimit && getLowerlimit(snp1, snp2) > twoSNPLowerCutoff;
}

int threecheck(int snp1, int snp2) {
    return getUpperlimit(snp1, snp2) > upperlimit && getLowerlimit(snp1, snp2) > threeSNPLowerCutoff;
}

double percentofinfoinLD(int snp1, int snp2) {
    const int lo = std::min(snp1, snp2);
    const int hi = std::max(snp1, snp2);
    double strong = 0.0;
    double informative = 0.0;
    if (lo < hi) {
        const PairCounts counts = stretchCounts(lo, hi);
        const int64_t size = int64_t{hi} - lo + 1;
        strong = static_cast<double>(counts.strong);
        informative = static_cast<double>(size * (size - 1) / 2 - counts.uninformative);
    }
    return strong / informative;
}

double test(int snp1, int snp2) { return percentofinfoinLD(snp1, snp2); }

int chooseSNP(int start, int end, int maxlength) {
    const int64_t stop = int64_t{table.positions[start]} + maxlength;
    if (start > end) return end;
    for (int i = start; i <= end; ++i) {
        if (table.positions[i] > stop) return i;
    }
    return end;
}

int abovegap(int startSNP) {
    const int64_t stop = int64_t{table.positions[startSNP]} + gapWidth;
    int i = startSNP;
    while (i < SNPcount && table.positions[i] < stop) ++i;
    return i;
}

int belowgap(int startSNP) {
    const int64_t stop = int64_t{table.positions[startSNP]} - gapWidth;
    int i = startSNP;
    while (i > 0 && table.positions[i] > stop) --i;
    return i;
}
