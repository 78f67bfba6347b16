#include "blocks.hpp"

#include <algorithm>

#include "blockformat.hpp"
#include "error.hpp"
#include "lines.hpp"
#include "numbers.hpp"
#include "reader.hpp"

namespace ldplot {
namespace {

ldtools::FileReader openBlockFile(const std::string& name) {
    try {
        return ldtools::FileReader(name);
    } catch (const ldtools::SystemError& error) {
        throw ldtools::Error("ldplot: cannot open block file " + name + ": " + error.reason() + "\n");
    }
}

// ldplot's rules for a block file: line 1 is the header, a line is at most LineReader::maxLength
// bytes long.
constexpr ldtools::BlockFileRules kBlockRules{.header = ldtools::BlockHeader::required, .maxLine = LineReader::kMaxLength};

// Reads the block lines of a block file and hands each to visit(numbers, fail): its four whole
// numbers (first position, index, last position, index) and the failure of its line.
template <class Visit>
void forEachBlockLine(const std::string& name, Visit visit) {
    ldtools::FileReader file = openBlockFile(name);
    ldtools::BlockFileReader lines(file, kBlockRules);
    auto fail = [&](const std::string& reason) { failAt(name, lines.line(), reason); };
    auto next = [&](ldtools::BlockLine& line) {
        try {
            return lines.next(line);
        } catch (const ldtools::SystemError& error) {
            throw ldtools::Error("ldplot: cannot read block file " + name + ": " + error.reason() + "\n");
        }
    };
    ldtools::BlockLine line;
    for (ldtools::BlockRead read; (read = next(line)) != ldtools::BlockRead::end;) {
        if (read == ldtools::BlockRead::noHeader) fail("expected the header line SNP1 index SNP2 index");
        if (read == ldtools::BlockRead::lineTooLong) fail(lineTooLong());
        std::int32_t numbers[4] = {};
        bool ok = line.count == 4;
        for (std::size_t k = 0; ok && k < 4; ++k)
            ok = ldtools::parseInt32(line.words[k], numbers[k]) == ldtools::WholeNumber::ok;
        if (!ok) fail("expected four whole numbers: first position, index, last position, index");
        if (numbers[2] <= numbers[0]) fail("the last position of a block must lie above its first");
        visit(numbers, fail);
    }
}

}  // namespace

std::vector<Block> readBlockFile(const std::string& name, const std::vector<std::int32_t>& snps,
                                 const std::string& boundsName) {
    std::vector<Block> blocks;
    forEachBlockLine(name, [&](const std::int32_t (&numbers)[4], const auto& fail) {
        Block block{numbers[0], numbers[2], 0, 0};
        for (int end = 0; end < 2; ++end) {
            const std::int32_t position = numbers[2 * end];
            const std::int32_t index = numbers[2 * end + 1];
            const auto found = std::lower_bound(snps.begin(), snps.end(), position);
            if (found == snps.end() || *found != position)
                fail("position " + std::to_string(position) + " is not a SNP of " + boundsName);
            const std::size_t actual = static_cast<std::size_t>(found - snps.begin());
            if (index < 0 || static_cast<std::size_t>(index) != actual)
                fail("position " + std::to_string(position) + " is SNP " + std::to_string(actual) + " of " +
                     boundsName + ", not SNP " + std::to_string(index));
            (end == 0 ? block.first : block.last) = actual;
        }
        blocks.push_back(block);
    });
    return blocks;
}

std::optional<RegionBlocks> placeBlocksInRegion(const std::string& name, const std::vector<std::int32_t>& snps,
                                                std::int32_t from, std::int32_t to, const std::string& boundsName) {
    RegionBlocks placed;
    bool haveOffset = false;
    bool unplaced = false;
    forEachBlockLine(name, [&](const std::int32_t (&numbers)[4], const auto& fail) {
        if (numbers[2] < from || numbers[0] > to) return;
        if (numbers[1] < 0 || numbers[3] < numbers[1])
            fail("the indices of a block must not be negative nor decrease");
        bool anchored = false;
        for (int end = 0; end < 2; ++end) {
            const std::int32_t position = numbers[2 * end];
            if (position < from || position > to) continue;
            const std::size_t index = static_cast<std::size_t>(numbers[2 * end + 1]);
            const auto found = std::lower_bound(snps.begin(), snps.end(), position);
            if (found == snps.end() || *found != position)
                fail("position " + std::to_string(position) + " is not a SNP of " + boundsName);
            const std::size_t local = static_cast<std::size_t>(found - snps.begin());
            // Every SNP of the region is read, so the indices of the file and of the region's SNPs
            // differ by one number, the same for every block end in the region.
            if (index < local || (haveOffset && index - local != placed.offset))
                fail("position " + std::to_string(position) + " is not SNP " + std::to_string(index) + " of " +
                     boundsName + " (the indices of the blocks in the region disagree)");
            placed.offset = index - local;
            haveOffset = true;
            anchored = true;
        }
        unplaced = unplaced || !anchored;
        placed.blocks.push_back({numbers[0], numbers[2], static_cast<std::size_t>(numbers[1]),
                                 static_cast<std::size_t>(numbers[3])});
    });
    // A block that spans the whole region places itself only by another block's end.
    if (unplaced && !haveOffset) return std::nullopt;
    return placed;
}

}  // namespace ldplot
