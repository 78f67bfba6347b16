#include "pairblocks.hpp"

#include <algorithm>

namespace linkstat {

std::vector<Block> cutBlocks(const double* positions, int nMarkers, std::size_t maxLines) {
    std::vector<Block> blocks;
    Block block;
    auto close = [&](Cursor at) {
        block.stop = at;
        blocks.push_back(block);
        block = Block{at, at, 0, 0, 0};
    };
    int windowEnd = 1;
    for (int i = 0; i + 1 < nMarkers; ++i) {
        if (positions[i + 1] - positions[i] > kPairWindow) {
            if (block.lines == maxLines) close(Cursor{i, i + 1});
            ++block.lines;
            block.marker = i;
            continue;
        }
        windowEnd = std::max(windowEnd, i + 1);
        while (windowEnd < nMarkers && positions[windowEnd] - positions[i] < kPairWindow) ++windowEnd;
        for (int j = i + 1; j < windowEnd;) {
            if (block.lines == maxLines) close(Cursor{i, j});
            const std::size_t take = std::min(static_cast<std::size_t>(windowEnd - j), maxLines - block.lines);
            block.lines += take;
            block.pairs += static_cast<long>(take);
            block.marker = i;
            j += static_cast<int>(take);
        }
    }
    if (block.lines > 0) close(Cursor{nMarkers - 1, nMarkers});
    return blocks;
}

}  // namespace linkstat
