#pragma once
// The files a view adds to the bounds: variant IDs, blocks, tag SNPs and a genetic map. Each is
// checked against the SNPs of the bounds file (all distinct positions of its records, ascending,
// numbered from 0). Every problem is thrown as ldtools::Error with ldview's complete message.

#include <cstdint>
#include <string>
#include <vector>

#include "mapformat.hpp"

namespace ldview {

// The ID file: one SNP a line, "pos id ref alt" (an optional header line "pos id ref alt" first).
// Returns the ID of every SNP (empty where the file has none); an ID "." is shown as
// CHROM:POS:REF:ALT. Lines of positions that are not SNPs are skipped.
std::vector<std::string> readIds(const std::string& name, const std::vector<std::int32_t>& snps,
                                 const std::string& chromosome);

// A block by the indices of its first and last SNP.
struct BlockSpan {
    std::int32_t first;
    std::int32_t last;
};

// The block file: a header line "SNP1 index SNP2 index", then one block a line (first position and
// index, last position and index), in any order. Returns the blocks sorted by their first SNP.
std::vector<BlockSpan> readBlocks(const std::string& name, const std::vector<std::int32_t>& snps,
                                  const std::string& boundsName);

// The tag file of the block report: tab-separated, a header line naming the columns, the tag SNPs
// of each block in the column htSNPs (comma-separated positions, or "-"). Returns the indices of the
// tag SNPs, ascending, each once.
std::vector<std::int32_t> readTags(const std::string& name, const std::vector<std::int32_t>& snps,
                                   const std::string& boundsName);

using MapPoint = ldtools::MapPoint;

// A genetic map of one chromosome: a header line, then "pos chr cM" a line, positions ascending and
// genetic positions never decreasing; plain or gzip.
std::vector<MapPoint> readMap(const std::string& name);

}  // namespace ldview
