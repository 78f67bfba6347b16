#pragma once
// The block file: a header line "SNP1 index SNP2 index", then one block a line: the position and
// index of its first SNP, the position and index of its last SNP. The lines may come sorted by
// position or in the order the block finder found the blocks.

#include <cstddef>
#include <cstdint>
#include <optional>
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

// The blocks that reach into the region from..to, for SNPs read from the region alone (snps: the
// SNPs of the records that touch the region, ascending; all of the region's SNPs are among them).
// The blocks keep their indices among all SNPs of the bounds file; offset is that index of the
// SNP snps[0] would have, found from the block ends inside the region, which are checked against
// snps. nullopt when a block spans the whole region and no block end lies in it: then the blocks
// cannot be placed without all SNPs of the file. Throws ldtools::Error as readBlockFile.
struct RegionBlocks {
    std::vector<Block> blocks;
    std::size_t offset = 0;
};
std::optional<RegionBlocks> placeBlocksInRegion(const std::string& name, const std::vector<std::int32_t>& snps,
                                                std::int32_t from, std::int32_t to, const std::string& boundsName);

}  // namespace ldplot
