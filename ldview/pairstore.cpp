#include "pairstore.hpp"

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace ldview {

PairClass classOf(std::uint8_t lower, std::uint8_t upper) {
    if (lower == kNoRecord) return PairClass::noRecord;
    if (upper > 98 && lower > 70) return PairClass::strong;
    if (upper < 90) return PairClass::recombination;
    return PairClass::uninformative;
}

void PositionSet::add(std::int32_t position) {
    const std::uint32_t key = static_cast<std::uint32_t>(position) ^ 0x80000000u;  // ascending as unsigned
    auto& page = pages_[key >> kPageBits];
    if (!page) page = std::make_unique<std::uint64_t[]>(std::size_t{1} << (kPageBits - 6));
    const std::uint32_t bit = key & ((1u << kPageBits) - 1);
    page[bit >> 6] |= std::uint64_t{1} << (bit & 63);
}

std::vector<std::int32_t> PositionSet::ascending() const {
    std::vector<std::int32_t> result;
    for (std::size_t p = 0; p < pages_.size(); ++p) {
        if (!pages_[p]) continue;
        for (std::size_t w = 0; w < (std::size_t{1} << (kPageBits - 6)); ++w) {
            for (std::uint64_t bits = pages_[p][w]; bits != 0; bits &= bits - 1) {
                const std::uint32_t key = static_cast<std::uint32_t>((p << kPageBits) | (w << 6) |
                                                                     static_cast<unsigned>(std::countr_zero(bits)));
                result.push_back(static_cast<std::int32_t>(key ^ 0x80000000u));
            }
        }
    }
    return result;
}

void PairStore::add(const PairRecord& record) {
    ++recordsRead_;
    if (groupFirst_.empty() || groupFirst_.back() != record.first) {
        groupFirst_.push_back(record.first);
        groupStart_.push_back(count_);
        positions_.add(record.first);
    }
    positions_.add(record.second);
    const std::int64_t distance = std::int64_t{record.second} - record.first;
    if (distance >= kPairWindow) return;
    if ((count_ >> kChunkBits) == chunks_.size())
        chunks_.push_back(std::make_unique_for_overwrite<std::uint32_t[]>(std::size_t{1} << kChunkBits));
    at(count_++) = static_cast<std::uint32_t>(distance) << 14 | std::uint32_t{record.lower} << 7 | record.upper;
}

void PairStore::finish() {
    snps_ = positions_.ascending();
    positions_ = PositionSet();
    const std::int32_t n = static_cast<std::int32_t>(snps_.size());

    ends_.assign(snps_.size(), 0);
    std::int32_t end = 0;
    for (std::int32_t a = 0; a < n; ++a) {
        end = std::max(end, a);
        while (end + 1 < n && std::int64_t{snps_[end + 1]} - snps_[a] < kPairWindow) ++end;
        ends_[a] = end;
        depth_ = std::max(depth_, end - a);
    }

    // Each run of records becomes the records of its SNP, and each record's distance of positions
    // the distance of its SNPs in the SNP order.
    starts_.assign(snps_.size() + 1, 0);
    std::int32_t a = 0;
    for (std::size_t g = 0; g < groupFirst_.size(); ++g) {
        while (snps_[a] != groupFirst_[g]) starts_[++a] = groupStart_[g];
        const std::uint64_t stop = g + 1 < groupFirst_.size() ? groupStart_[g + 1] : count_;
        std::int32_t b = a;
        for (std::uint64_t k = groupStart_[g]; k < stop; ++k) {
            std::uint32_t& word = at(k);
            const std::int32_t second = groupFirst_[g] + static_cast<std::int32_t>(word >> 14);
            while (snps_[b] != second) ++b;
            word = static_cast<std::uint32_t>(b - a) << 14 | (word & 0x3FFF);
        }
    }
    while (a < n) starts_[++a] = count_;
    groupFirst_ = {};
    groupStart_ = {};
}

}  // namespace ldview
