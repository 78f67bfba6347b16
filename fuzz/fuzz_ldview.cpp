// Any bytes as one of ldview's inputs: the first byte chooses the reader (bounds, IDs, blocks, tag
// SNPs, genetic map) and the rest is the file (a file that starts with the gzip magic is read as
// gzip).
//
// Bounds are read into the pair store and folded into the overview: records ascend, bounds lie
// on the 0.01 grid, the SNPs ascend, every kept pair lies within its first SNP's reach, every pixel
// has a class, and the pair tiles hold every kept record once. The other readers give results that
// fit the SNPs they were checked against. A refusal must be one line that names the file. Anything
// else (a crash, a sanitizer report, a broken property) aborts.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "boundsinput.hpp"
#include "error.hpp"
#include "overview.hpp"
#include "pairstore.hpp"
#include "sideinputs.hpp"
#include "view.hpp"

#include "scratchfile.hpp"

namespace {

[[noreturn]] void broken(const std::string& what) {
    std::fprintf(stderr, "fuzz_ldview: %s\n", what.c_str());
    std::abort();
}


void expectNamed(const ldtools::Error& error, const std::string& name) {
    const std::string text = error.what();
    if (text.rfind("ldview: ", 0) != 0 || text.find(name) == std::string::npos || text.back() != '\n' ||
        text.find('\n') != text.size() - 1)
        broken("a refusal that is not one line naming its file: " + text);
}

void checkBounds(const std::string& name) {
    ldview::BoundsInput input(name);
    ldview::PairStore store;
    ldview::PairRecord record, previous;
    bool first = true;
    while (input.next(record)) {
        if (record.lower > 100 || record.upper > 100) broken("a bound off the grid");
        if (record.second <= record.first ||
            (!first && (record.first < previous.first || (record.first == previous.first && record.second <= previous.second))))
            broken("records out of order");
        previous = record;
        first = false;
        store.add(record);
    }
    store.finish();
    const std::vector<std::int32_t>& snps = store.snps();
    const std::vector<std::int32_t>& ends = store.ends();
    for (std::size_t k = 1; k < snps.size(); ++k)
        if (snps[k] <= snps[k - 1]) broken("SNPs that do not ascend");
    std::uint64_t kept = 0;
    for (std::int32_t a = 0; a < static_cast<std::int32_t>(snps.size()); ++a) {
        store.forEachOf(a, [&](const ldview::KeptPair& pair) {
            if (pair.distance < 1 || a + pair.distance > ends[a]) broken("a kept pair beyond its first SNP's reach");
            ++kept;
        });
    }
    if (kept != store.size()) broken("kept pairs lost");

    ldtools::WorkerTeam team(1);
    for (const ldview::OverviewLevel& level : ldview::buildOverview(store, 3, team))
        for (std::uint8_t c : level.classes)
            if (c > 4) broken("a pixel without a class");
    const std::vector<std::int32_t> tiles = ldview::pairTileStarts(ends);
    std::uint64_t recorded = 0;
    for (std::size_t t = 0; t + 1 < tiles.size(); ++t) {
        const std::string bytes = ldview::pairTileBytes(store, tiles[t], tiles[t + 1]);
        for (std::size_t k = 0; k < bytes.size(); k += 2)
            if (static_cast<std::uint8_t>(bytes[k]) != ldview::kNoRecord) ++recorded;
    }
    if (recorded != store.size()) broken("the pair tiles do not hold every kept record once");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static fuzzsupport::ScratchFile file("fuzz_ldview");
    file.hold(data + 1, size - 1);
    // The SNPs of a made-up bounds file: positions 100, 200, ..., 5000.
    std::vector<std::int32_t> snps;
    for (std::int32_t p = 100; p <= 5000; p += 100) snps.push_back(p);
    const std::int32_t n = static_cast<std::int32_t>(snps.size());
    try {
        switch (data[0] % 5) {
        case 0:
            checkBounds(file.name());
            break;
        case 1:
            if (ldview::readIds(file.name(), snps, "20").size() != snps.size()) broken("IDs not one a SNP");
            break;
        case 2:
            for (const ldview::BlockSpan& block : ldview::readBlocks(file.name(), snps, "bounds.txt"))
                if (block.first < 0 || block.first >= block.last || block.last >= n) broken("a block with bad indices");
            break;
        case 3: {
            const std::vector<std::int32_t> tags = ldview::readTags(file.name(), snps, "bounds.txt");
            for (std::size_t k = 0; k < tags.size(); ++k)
                if (tags[k] < 0 || tags[k] >= n || (k > 0 && tags[k] <= tags[k - 1])) broken("tags out of order or range");
            break;
        }
        default: {
            const std::vector<ldview::MapPoint> points = ldview::readMap(file.name());
            for (std::size_t k = 1; k < points.size(); ++k)
                if (points[k].position <= points[k - 1].position || points[k].cm < points[k - 1].cm)
                    broken("a map that does not ascend");
        }
        }
    } catch (const ldtools::Error& error) {
        expectNamed(error, file.name());
    }
    return 0;
}
