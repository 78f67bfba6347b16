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
constexpr ldtools::BlockFileRules kBlockRules{.header = ldtools::BlockHeader::required, .maxLine = LineReader::maxLength};

}  // namespace

std::vector<Block> readBlockFile(const std::string& name, const std::vector<std::int32_t>& snps,
                                 const std::string& boundsName) {
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

    std::vector<Block> blocks;
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
    }
    return blocks;
}

}  // namespace ldplot
