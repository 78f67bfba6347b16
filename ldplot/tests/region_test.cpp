// ldplot -r on the indexed form of a bounds file: only the region's part of the file is read, and
// the picture is the one drawn from the whole file in any other form.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "process.hpp"
#include "scratch.hpp"
#include "synthetic.hpp"

namespace {

using testsupport::readFile;
using testsupport::run;
using testsupport::writeFile;

// 400 SNPs 3,000 apart from 100,000: pairs up to 200,000 apart, some without a record.
const std::vector<std::int32_t> kPositions = ldplottest::evenlySpaced(400, 100000, 3000);

class Region : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(text, ldplottest::boundsFile(kPositions, [](int a, int b) -> std::optional<ldplottest::Bounds> {
                      if ((a + 2 * b) % 11 == 0) return std::nullopt;
                      if (b - a > 8 || (a / 40) != (b / 40)) return ldplottest::recombination;
                      return (a + b) % 5 == 0 ? ldplottest::uninformative : ldplottest::strongLd;
                  }));
        const auto packed = run({PACKBOUNDS_BIN, "-c", "20", "-o", indexed, text});
        ASSERT_EQ(packed.status, 0) << packed.err;
        // Blocks inside regions, across their edges, and one (SNPs 200-299) that spans a region
        // without an end in it.
        writeFile(blocks, ldplottest::blockFile(kPositions, {{200, 299}, {10, 30}, {45, 79}, {120, 125}, {380, 399}}));
    }

    std::string draw(const std::string& bounds, const std::string& region, const std::string& name) {
        const std::string picture = dir.file(name);
        const auto result = run({LDPLOT_BIN, "-d", bounds, "-b", blocks, "-r", region, "-o", picture});
        EXPECT_EQ(result.status, 0) << result.err;
        return readFile(picture);
    }

    testsupport::ScratchDir dir;
    std::string text = dir.file("bounds.txt");
    std::string indexed = dir.file("bounds.tsv.gz");
    std::string blocks = dir.file("blocks.dat");
};

TEST_F(Region, TheIndexedFormDrawsTheRegionAsTheWholeFileDoes) {
    // 190,000-280,000 cuts the block of SNPs 10-30 and 45-79 at its ends; 760,000-800,000 lies
    // inside the block of SNPs 200-299 (placed by the other blocks' ends, or the whole file read).
    for (const std::string region : {"190000-280000", "760000-800000", "1250000-1400000", "1-150000"}) {
        const std::string fromText = draw(text, region, "text.png");
        EXPECT_EQ(draw(indexed, region, "indexed.png"), fromText) << region;
        ASSERT_EQ(fromText.substr(1, 3), "PNG");
    }
    // Only the blocks spanning the region: the whole file is read.
    writeFile(blocks, ldplottest::blockFile(kPositions, {{200, 299}}));
    EXPECT_EQ(draw(indexed, "760000-800000", "indexed.png"), draw(text, "760000-800000", "text.png"));
}

TEST_F(Region, OnlyTheRegionsPartOfTheFileIsRead) {
    const std::string before = draw(text, "150000-300000", "text.png");
    // Damage the compressed data near the end of the file, far from the region.
    const auto size = std::filesystem::file_size(indexed);
    ASSERT_GT(size, 60000u);
    {
        std::fstream file(indexed, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(size - 2000));
        file.write(std::string(200, '\x55').data(), 200);
    }
    // The damage is not a new version of the file: the index stays current.
    std::filesystem::last_write_time(indexed + ".tbi", std::filesystem::last_write_time(indexed));
    EXPECT_EQ(draw(indexed, "150000-300000", "indexed.png"), before);
    // Read whole, the damage is found.
    const auto whole = run({LDPLOT_BIN, "-d", indexed, "-o", dir.file("whole.png")});
    EXPECT_EQ(whole.status, 1);
    EXPECT_NE(whole.err.find("cannot read bounds file " + indexed), std::string::npos) << whole.err;
    // A block end in the region that is not one of its SNPs is refused.
    writeFile(blocks, "SNP1\tindex\tSNP2\tindex\n160001\t20\t190000\t30\n");
    const auto bad = run({LDPLOT_BIN, "-d", indexed, "-b", blocks, "-r", "150000-300000", "-o", dir.file("bad.png")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("position 160001 is not a SNP of " + indexed), std::string::npos) << bad.err;
}

}  // namespace
