// Any bytes as ldplot's block file and genetic map (the first byte says where the one ends and the
// other begins; a map that starts with the gzip magic is read as gzip).
//
// The block reader either gives blocks whose ends are SNPs of the bounds file (at the index the
// block finder gave them, last above first) or refuses the file with a message that names it. The
// map gives one genetic position per position asked, each a number or NaN (outside the map), never
// decreasing along the positions; or it refuses the file with a message that names it. Anything
// else (a crash, a sanitizer report, a broken property) aborts.

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "blocks.hpp"
#include "error.hpp"
#include "geneticmap.hpp"

#include "scratchfile.hpp"

namespace {

[[noreturn]] void broken(const std::string& what) {
    std::fprintf(stderr, "fuzz_ldplot: %s\n", what.c_str());
    std::abort();
}


void expectNamed(const ldtools::Error& error, const std::string& name) {
    const std::string text = error.what();
    if (text.rfind("ldplot: ", 0) != 0 || text.find(name) == std::string::npos || text.back() != '\n')
        broken("a refusal that does not name its file: " + text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static fuzzsupport::ScratchFile blockFile("fuzz_ldplot-blocks");
    static fuzzsupport::ScratchFile mapFile("fuzz_ldplot-map");
    const std::size_t split = 1 + std::min<std::size_t>(data[0] * (size - 1) / 255, size - 1);
    blockFile.hold(data + 1, split - 1);
    mapFile.hold(data + split, size - split);

    // The SNPs of a made-up bounds file: positions 100, 200, ..., 5000.
    std::vector<std::int32_t> snps;
    for (std::int32_t p = 100; p <= 5000; p += 100) snps.push_back(p);
    try {
        for (const ldplot::Block& block : ldplot::readBlockFile(blockFile.name(), snps, "bounds.txt")) {
            if (block.first >= block.last || block.last >= snps.size()) broken("a block with bad indices");
            if (snps[block.first] != block.firstPosition || snps[block.last] != block.lastPosition)
                broken("a block whose ends are not its SNPs");
        }
    } catch (const ldtools::Error& error) {
        expectNamed(error, blockFile.name());
    }

    std::vector<double> at;
    for (double p = 0; p <= 6000; p += 250) at.push_back(p);
    try {
        const std::vector<double> cm = ldplot::geneticPositions(mapFile.name(), at);
        if (cm.size() != at.size()) broken("not one genetic position per position");
        double previous = -INFINITY;
        for (double value : cm) {
            if (std::isnan(value)) continue;
            if (!std::isfinite(value) || value < previous) broken("genetic positions that fall or are infinite");
            previous = value;
        }
    } catch (const ldtools::Error& error) {
        expectNamed(error, mapFile.name());
    }
    return 0;
}
