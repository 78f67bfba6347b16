#include "LDvals.hpp"

#include "boundsfile.hpp"
#include "progress.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>

namespace ldtile {
namespace {

// The shortest text a record can have ("1 2 0 0" and a line break): with the size of the file it
// bounds the number of records.
constexpr uint64_t kMinimumRecordBytes = 8;
// Compressed records take about 5 bytes; the table's room is only reserved, not touched, so a
// hint of a record per 2 bytes keeps it from growing by copies without costing memory.
constexpr uint64_t kCompressedBytesPerRecordHint = 2;
// How many records are read between two looks at the clock for the progress line.
constexpr uint64_t kProgressInterval = uint64_t{1} << 16;

template <class Next>
int fillTable(BoundsTable& table, const std::string& name, Next&& next, uint64_t pairsHint) {
    TableBuilder builder(table, pairsHint);
    BoundsRecord record;
    while (next(record)) builder.add(record);
    builder.finish();
    // The block search counts the pairs of a stretch in 32 bits, and indices are ints: so many
    // pairs or SNPs would not fit in memory anyway.
    if (table.storedPairs() > std::numeric_limits<uint32_t>::max() || table.snpCount() == INT_MAX) {
        throw BoundsFileError(name + ": too many records");
    }
    return table.snpCount() - 1;
}

}  // namespace

int LDvals::loadConfvalues(const std::string& filename, ldtools::ProgressLine* progress) {
    // Any form of a bounds file: text, gzip, or the indexed form read whole.
    const std::unique_ptr<ldtools::BoundsSource> source = ldtools::openBounds(filename);
    ldtools::BoundsSource& reader = *source;
    uint64_t records = 0;
    const auto next = [&](BoundsRecord& record) {
        if (progress && ++records % kProgressInterval == 0 && progress->due()) {
            constexpr uint64_t kMegabyte = 1 << 20;
            const uint64_t done = reader.bytesRead();
            const uint64_t total = reader.size();
            progress->show(total >= done && total > 0
                               ? "ldtile: reading the bounds file: " + std::to_string(done * 100 / total) + "%"
                               : "ldtile: reading the bounds file: " + std::to_string(done / kMegabyte) + " MB");
        }
        return reader.next(record);
    };
    const uint64_t hint = reader.size() / (reader.compressed() ? kCompressedBytesPerRecordHint : kMinimumRecordBytes);
    return fillTable(table_, filename, next, hint);
}

int LDvals::loadRecords(const std::string& name, const std::function<bool(BoundsRecord&)>& next,
                        uint64_t pairsHint) {
    return fillTable(table_, name, next, pairsHint);
}

int LDvals::readConfvalues(const std::string& filename, ldtools::ProgressLine* progress) {
    const int last = loadConfvalues(filename, progress);
    if (progress) progress->clear();
    std::printf("%d\n", last);
    return last;
}

double LDvals::getUpperlimit(int snp1, int snp2) const {
    if (snp1 == snp2) return 1.0;
    const uint64_t slot = table_.slotOf(std::min(snp1, snp2), std::max(snp1, snp2));
    return slot == BoundsTable::kNone ? 0.0 : table_.bounds().upper(slot);
}

double LDvals::getLowerlimit(int snp1, int snp2) const {
    if (snp1 == snp2) return 1.0;
    const uint64_t slot = table_.slotOf(std::min(snp1, snp2), std::max(snp1, snp2));
    return slot == BoundsTable::kNone ? 0.0 : table_.bounds().lower(slot);
}

void LDvals::printSNPS() const {
    for (int i = 0; i <= SNPcount(); ++i) std::printf("%d\n", table_.position(i));
}

int LDvals::paircheck(int snp1, int snp2) const {
    return getUpperlimit(snp1, snp2) > upperlimit && getLowerlimit(snp1, snp2) > lowerlimit;
}

int LDvals::twocheck(int snp1, int snp2) const {
    return getUpperlimit(snp1, snp2) > upperlimit && getLowerlimit(snp1, snp2) > kTwoSnpLowerCutoff;
}

int LDvals::threecheck(int snp1, int snp2) const {
    return getUpperlimit(snp1, snp2) > upperlimit && getLowerlimit(snp1, snp2) > kThreeSnpLowerCutoff;
}

// Only pairs the table holds can be strong or uninformative (a pair with bounds 0.0 is a
// recombination pair), so it is enough to count those two classes among them.
double LDvals::percentofinfoinLD(int snp1, int snp2) const {
    const int lo = std::min(snp1, snp2);
    const int hi = std::max(snp1, snp2);
    uint64_t strong = 0;
    uint64_t uninformative = 0;
    const BoundStore& bounds = table_.bounds();
    for (int a = lo; a < hi; ++a) {
        const uint64_t begin = table_.rowBegin(a);
        const uint64_t end = table_.rowEnd(a);
        const uint32_t* offsets = table_.sparse(a) ? table_.offsets(a) : nullptr;
        const auto reach = static_cast<uint64_t>(hi - a);
        for (uint64_t slot = begin; slot < end; ++slot) {
            if ((offsets ? offsets[slot - begin] : slot - begin + 1) > reach) break;
            strong += ldtools::isStrong(bounds.lower(slot), bounds.upper(slot));
            uninformative += ldtools::isUninformative(bounds.lower(slot), bounds.upper(slot));
        }
    }
    return shareOfStrong(int64_t{hi} - lo + 1, strong, uninformative);
}

double LDvals::test(int snp1, int snp2) const { return percentofinfoinLD(snp1, snp2); }

int LDvals::chooseSNP(int start, int end, int maxlength) const {
    const int64_t stop = int64_t{table_.position(start)} + maxlength;
    if (start > end) return end;
    for (int i = start; i <= end; ++i) {
        if (table_.position(i) > stop) return i;
    }
    return end;
}

int LDvals::abovegap(int startSNP) const {
    const int64_t stop = int64_t{table_.position(startSNP)} + kGapWidth;
    const int last = SNPcount();
    int i = startSNP;
    while (i < last && table_.position(i) < stop) ++i;
    return i;
}

int LDvals::belowgap(int startSNP) const {
    const int64_t stop = int64_t{table_.position(startSNP)} - kGapWidth;
    int i = startSNP;
    while (i > 0 && table_.position(i) > stop) --i;
    return i;
}

}  // namespace ldtile
