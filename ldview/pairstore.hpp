#pragma once
// Every record of a bounds file, held in four bytes a pair, and the SNPs the records name.
//
// The SNPs are all distinct positions of the records, numbered from 0 in position order, as the
// block finder and ldplot number them. A pair is drawn when its SNPs lie less than kPairWindow
// apart; a record farther apart names SNPs but is not kept.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "boundsformat.hpp"
#include "boundsinput.hpp"

namespace ldview {

// Pairs this far apart or farther have no bounds in the tool-chain's files.
constexpr std::int64_t kPairWindow = ldtools::kPairWindow;

// A code of the lower or upper bound of a pair without a record.
constexpr std::uint8_t kNoRecord = 255;

// The classes of pairs as ldtile reads them, numbered as the view's colours: 0 is a pixel without
// pairs.
enum class PairClass : std::uint8_t { blank = 0, strong = 1, recombination = 2, uninformative = 3, noRecord = 4 };

// strong: upper > 0.98 and lower > 0.7; recombination: upper < 0.9; otherwise uninformative
// (bounds in hundredths; kNoRecord: no record).
PairClass classOf(std::uint8_t lower, std::uint8_t upper);

// The positions a record names: a set of 32-bit positions in bitmap pages made as they are touched.
class PositionSet {
public:
    void add(std::int32_t position);
    // Every position added, ascending.
    std::vector<std::int32_t> ascending() const;

private:
    static constexpr int kPageBits = 19;
    std::vector<std::unique_ptr<std::uint64_t[]>> pages_ = std::vector<std::unique_ptr<std::uint64_t[]>>(
        std::size_t{1} << (32 - kPageBits));
};

// A record kept: the distance of its SNPs in the SNP order (b - a) and its bounds.
struct KeptPair {
    std::int32_t distance;
    std::uint8_t lower;
    std::uint8_t upper;
};

class PairStore {
public:
    // Records in file order (ascending by first, then second position).
    void add(const PairRecord& record);
    // Numbers the SNPs; called once, after the last record.
    void finish();

    // Records read, and those kept (less than kPairWindow apart).
    std::uint64_t recordsRead() const { return recordsRead_; }
    std::uint64_t size() const { return count_; }

    // After finish(): the SNPs' positions, ascending.
    const std::vector<std::int32_t>& snps() const { return snps_; }
    // The last SNP b with snps[b] - snps[a] < kPairWindow (a itself when there is none).
    const std::vector<std::int32_t>& ends() const { return ends_; }
    // The largest ends[a] - a: how deep the map goes.
    std::int32_t depth() const { return depth_; }

    // The kept records of SNP a as their first SNP, by ascending b: f(KeptPair).
    template <class Visit>
    void forEachOf(std::int32_t a, Visit visit) const {
        for (std::uint64_t k = starts_[a]; k < starts_[a + 1]; ++k) visit(unpack(at(k)));
    }

private:
    static constexpr int kChunkBits = 16;
    static KeptPair unpack(std::uint32_t word) {
        return {static_cast<std::int32_t>(word >> 14), static_cast<std::uint8_t>((word >> 7) & 127),
                static_cast<std::uint8_t>(word & 127)};
    }
    std::uint32_t& at(std::uint64_t k) const { return chunks_[k >> kChunkBits][k & ((1u << kChunkBits) - 1)]; }

    // Kept records: the distance of the two positions (later the distance in the SNP order) in
    // the top 18 bits, the bounds in two times 7; in chunks, so that growing never copies them.
    std::vector<std::unique_ptr<std::uint32_t[]>> chunks_;
    std::uint64_t count_ = 0;
    std::uint64_t recordsRead_ = 0;
    std::vector<std::int32_t> groupFirst_;    // the first position of each run of records
    std::vector<std::uint64_t> groupStart_;   // where its kept records begin
    PositionSet positions_;

    std::vector<std::int32_t> snps_;
    std::vector<std::int32_t> ends_;
    std::vector<std::uint64_t> starts_;  // kept records of SNP a: [starts_[a], starts_[a + 1])
    std::int32_t depth_ = 0;
};

}  // namespace ldview
