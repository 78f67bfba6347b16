// The programs' output files, as the shared replacement mechanism writes them: a failed run leaves
// an earlier file whole whatever the length of its name, and a descriptor's name (/dev/stdout)
// writes through the descriptor instead of replacing what it points to.

#include "process.hpp"
#include "scratch.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::ScratchDir;
using testsupport::writeFile;

namespace {

const std::string chr20 = testsupport::sourcePath("examples/chr20/");

testsupport::RunResult runIn(const ScratchDir& dir, std::vector<std::string> args, const std::string& stdoutPath = "") {
    return testsupport::run(args, {.input = "", .workdir = dir.path().string(), .stdoutPath = stdoutPath});
}

std::vector<std::string> namesIn(const ScratchDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// Names of up to 255 bytes, the most a folder takes: a run that fails after it began to write
// leaves the earlier file as it was and no temporary file.
TEST(OutputFiles, AFailedRunKeepsAnEarlierFileWhateverTheLengthOfItsName) {
    ScratchDir dir;
    // vcf2markers: a VCF whose records go back after the first few thousand.
    const std::string prefix(243, 'a');
    runIn(dir, {"/bin/sh", "-c", "gzip -dc '" + chr20 + "chr20.vcf.gz' > sorted.vcf"});
    std::string text = readFile(dir.file("sorted.vcf"));
    const std::size_t firstRecord = text.find("\n20\t") + 1;
    const std::size_t secondRecord = text.find('\n', firstRecord) + 1;
    // The first record moved to the end.
    writeFile(dir.file("unsorted.vcf"), text.substr(0, firstRecord) + text.substr(secondRecord) +
                                            text.substr(firstRecord, secondRecord - firstRecord));
    fs::remove(dir.file("sorted.vcf"));
    // linkstat: a marker file whose last line goes back.
    std::string markers = readFile(chr20 + "markers.txt").substr(0, 30000);
    markers.resize(markers.rfind('\n') + 1);
    writeFile(dir.file("markers.txt"), markers + "5 600 2 " + std::string(600, 'A') + "\n");
    // ldplot: a bounds file whose last line is no record.
    writeFile(dir.file("bounds.txt"), "100\t200\t\t0.350\t0.990\n100\t300\t\t0.620\t1.000\n1 2 x y\n");

    const std::string bounds(250, 'b');
    const std::string picture = std::string(242, 'c') + ".png";
    for (const std::string& name : {prefix + ".markers.txt", bounds, picture}) writeFile(dir.file(name), "old\n");
    const std::vector<std::string> before = namesIn(dir);

    auto result = runIn(dir, {VCF2MARKERS_BIN, "-o", prefix, "unsorted.vcf"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("the records are not sorted"), std::string::npos) << result.err;
    result = runIn(dir, {LINKSTAT_BIN, "-Imarkers.txt", "-P", "-O" + bounds});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("Error in File markers.txt at Line"), std::string::npos) << result.err;
    result = runIn(dir, {LDPLOT_BIN, "-d", "bounds.txt", "-o", picture});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("bounds.txt: line 3"), std::string::npos) << result.err;

    for (const std::string& name : {prefix + ".markers.txt", bounds, picture})
        EXPECT_EQ(readFile(dir.file(name)), "old\n") << name.substr(0, 8) << "...";
    EXPECT_EQ(namesIn(dir), before);

    // The same names are replaced by a run that succeeds.
    result = runIn(dir, {VCF2MARKERS_BIN, "-H", "none", "-o", prefix, chr20 + "chr20.vcf.gz"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readFile(dir.file(prefix + ".markers.txt")), readFile(chr20 + "markers.txt"));
}

// "-t /dev/stdout > report.txt": the tag table goes through standard output into the report's
// file, after the report, and the report is not lost.
TEST(OutputFiles, TheNameOfStandardOutputWritesThroughIt) {
    ScratchDir dir;
    const std::string zeros(50, '0');
    const std::string ones(50, '1');
    std::string alternating;
    for (int i = 0; i < 50; ++i) alternating += "01";
    writeFile(dir.file("snps.txt"), "1000 100 51 " + zeros + ones + "\n1100 100 51 " + alternating + "\n1300 100 51 " +
                                        zeros + ones + "\n");
    writeFile(dir.file("blocks.txt"), "SNP1\tindex\tSNP2\tindex\n1000\t0\t1300\t2\n");
    auto apart = runIn(dir, {HAPLOTYPES_BIN, "-s", "snps.txt", "-b", "blocks.txt", "-t", "tags.txt"});
    ASSERT_EQ(apart.status, 0) << apart.err;
    ASSERT_NE(apart.out, "");
    auto together = runIn(dir, {HAPLOTYPES_BIN, "-s", "snps.txt", "-b", "blocks.txt", "-t", "/dev/stdout"},
                          dir.file("report.txt"));
    EXPECT_EQ(together.status, 0) << together.err;
    EXPECT_EQ(readFile(dir.file("report.txt")), apart.out + readFile(dir.file("tags.txt")));
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"blocks.txt", "report.txt", "snps.txt", "tags.txt"}));
}

}  // namespace
