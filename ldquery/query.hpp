#pragma once
// The partners of a SNP: every pair of a bounds file that has the SNP at one end (pairs less than
// kPairWindow apart), with the partner's name, the bounds as the file writes them, the class of
// the pair and, with a block file, whether both SNPs lie in one block.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "boundsformat.hpp"
#include "idformat.hpp"

namespace ldquery {

// A block by the positions of its first and last SNP.
struct BlockSpan {
    std::int32_t first = 0;
    std::int32_t last = 0;
};

// The blocks of a block file (ldtile -f; header line, then SNP1 index SNP2 index a line), in
// ascending order of first position. Throws ldtools::Error with the complete message.
std::vector<BlockSpan> readBlocks(const std::string& name);

// The block that holds a position, or nullptr.
const BlockSpan* blockOf(const std::vector<BlockSpan>& blocks, std::int32_t position);

struct Partner {
    std::int32_t position = 0;
    std::string lower;  // the bounds' words as the file writes them
    std::string upper;
    double lowerValue = 0.0;
    ldtools::PairClass pairClass = ldtools::PairClass::noRecord;
};

// Every partner of position in the bounds file, ascending by position. Reads only the region of
// the position for the indexed form with its index, else the whole file. Throws
// ldtools::BoundsFileError.
std::vector<Partner> partnersOf(const std::string& bounds, std::int32_t position);

// What a partner must have to be listed.
struct PartnerFilter {
    std::optional<ldtools::PairClass> pairClass;  // only pairs of this class
    std::optional<double> minLower;               // only pairs whose lower bound is at least this
    bool admits(const Partner& partner) const {
        return (!pairClass || partner.pairClass == *pairClass) && (!minLower || partner.lowerValue >= *minLower);
    }
};

// The name of a pair class in the output: strong, recombination, uninformative.
const char* className(ldtools::PairClass pairClass);
// The class a name names; false for a name of no class.
bool classNamed(const std::string& name, ldtools::PairClass& pairClass);

}  // namespace ldquery
