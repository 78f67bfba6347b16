#pragma once
// The block file: a header line "SNP1 index SNP2 index", then one block a line: the position and
// index of its first SNP, the position and index of its last SNP. The lines may come sorted by
// position or in the order the block finder found the blocks.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ldplot {

struct Block {
    std::int32_t firstPosition;
    std::int32_t lastPosition;
    std::size_t first;  // index among all SNPs of the bounds file
    std::size_t last;
};

// Reads the blocks and checks them against the SNPs of the bounds file (snps: every SNP of
// boundsName, ascending, numbered from 0 as the block finder numbers them). Throws ldtools::Error
// naming the file and line of the first problem.
std::vector<Block> readBlockFile(const std::string& name, const std::vector<std::int32_t>& snps,
                                 const std::string& boundsName);

}  // namespace ldplot
