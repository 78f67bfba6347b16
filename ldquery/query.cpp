#include "query.hpp"

#include <algorithm>

#include "blockformat.hpp"
#include "error.hpp"

namespace ldquery {

std::vector<BlockSpan> readBlocks(const std::string& name) {
    std::vector<BlockSpan> blocks;
    try {
        ldtools::TextInput input(name);
        ldtools::forEachBlockLine(input, ldtools::IdTable::kMaxLine, [&](const ldtools::BlockEnds& line) {
            blocks.push_back({line.firstPosition, line.lastPosition});
        });
    } catch (const ldtools::InputError& error) {
        throw ldtools::Error("ldquery: cannot " + error.operation() + " block file " + name + ": " + error.what() + "\n");
    } catch (const ldtools::FormatError& error) {
        throw ldtools::Error("ldquery: " + name + ": line " + std::to_string(error.line()) + ": " + error.what() + "\n");
    }
    // ldtile writes its blocks in search order; a lookup wants them by position.
    std::sort(blocks.begin(), blocks.end(), [](const BlockSpan& a, const BlockSpan& b) { return a.first < b.first; });
    return blocks;
}

const BlockSpan* blockOf(const std::vector<BlockSpan>& blocks, std::int32_t position) {
    // The last block that begins at or before the position; blocks do not overlap.
    auto after = std::upper_bound(blocks.begin(), blocks.end(), position,
                                  [](std::int32_t value, const BlockSpan& block) { return value < block.first; });
    if (after == blocks.begin()) return nullptr;
    const BlockSpan& block = *(after - 1);
    return position <= block.last ? &block : nullptr;
}

std::vector<Partner> partnersOf(const std::string& bounds, std::int32_t position) {
    // The pairs that touch the single position include every pair with the position at an end;
    // those that only span it are left out here.
    const std::unique_ptr<ldtools::BoundsSource> source = ldtools::openBoundsRange(bounds, position, position);
    std::vector<Partner> partners;
    ldtools::BoundsRecord record;
    ldtools::BoundsWords words;
    while (source->next(record, words)) {
        if (record.first != position && record.second != position) continue;
        if (std::int64_t{record.second} - record.first >= ldtools::kPairWindow) continue;
        Partner partner;
        partner.position = record.first == position ? record.second : record.first;
        partner.lower.assign(words.lower);
        partner.upper.assign(words.upper);
        partner.lowerValue = record.lower;
        partner.pairClass = ldtools::classify(record.lower, record.upper);
        partners.push_back(std::move(partner));
    }
    // Pairs below the position come first (ascending first position), then those above it
    // (ascending second position): already ascending.
    return partners;
}

const char* className(ldtools::PairClass pairClass) {
    switch (pairClass) {
    case ldtools::PairClass::strong: return "strong";
    case ldtools::PairClass::recombination: return "recombination";
    case ldtools::PairClass::uninformative: return "uninformative";
    case ldtools::PairClass::noRecord: break;
    }
    return "none";
}

bool classNamed(const std::string& name, ldtools::PairClass& pairClass) {
    for (const ldtools::PairClass candidate :
         {ldtools::PairClass::strong, ldtools::PairClass::recombination, ldtools::PairClass::uninformative}) {
        if (name == className(candidate)) {
            pairClass = candidate;
            return true;
        }
    }
    return false;
}

}  // namespace ldquery
