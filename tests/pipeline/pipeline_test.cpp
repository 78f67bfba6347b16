// End-to-end runs of the ldblocks pipeline script over the built programs, laid out
// as an installation would lay them out (script and programs in one folder).

#include "process.hpp"
#include "scratch.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::run;
using testsupport::ScratchDir;
using testsupport::sourcePath;

namespace {

class Pipeline : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(bin());
        fs::copy_file(sourcePath("scripts/ldblocks"), script());
        fs::create_symlink(LINKSTAT_BIN, bin() / "linkstat");
        fs::create_symlink(LDTILE_BIN, bin() / "ldtile");
        fs::create_symlink(HAPLOTYPES_BIN, bin() / "haplotypes");
    }

    fs::path bin() const { return scratch.path() / "bin"; }
    std::string script() const { return (bin() / "ldblocks").string(); }
    std::string out() const { return (scratch.path() / "out").string(); }
    std::string out(const std::string& name) const { return (scratch.path() / "out" / name).string(); }

    testsupport::RunResult ldblocks(std::vector<std::string> args) const {
        args.insert(args.begin(), {"/bin/sh", script()});
        return run(args);
    }

    ScratchDir scratch;
};

const std::string chr20 = sourcePath("examples/chr20/");

TEST_F(Pipeline, Chr20ReportMatchesGolden) {
    auto r = ldblocks({"-o", out() + "//", chr20 + "markers.txt", chr20 + "snps.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(out("report.txt")), readFile(sourcePath("tests/pipeline/golden/chr20-report.txt")));
    for (const char* name : {"linkstat.txt", "bounds.txt", "ldtile.txt", "plot.dat", "blocks.dat", "blocks.sorted.dat"})
        EXPECT_TRUE(fs::exists(out(name))) << name;
    EXPECT_FALSE(fs::exists(out("report.txt.partial")));
    EXPECT_NE(r.out.find("report written to " + out("report.txt")), std::string::npos) << r.out;
}

TEST_F(Pipeline, Chr20ReportWithKnownSnpsMatchesGolden) {
    auto r = ldblocks({"-k", chr20 + "known.txt", "-o", out(), chr20 + "markers.txt", chr20 + "snps.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(out("report.txt")), readFile(sourcePath("tests/pipeline/golden/chr20-known-report.txt")));
}

TEST_F(Pipeline, BoundsFileHoldsExactlyTheFourNumberRecords) {
    // Markers 1000-1300 are in complete LD (25 individuals 00/00, 25 11/11); 1200 is monomorphic (empty-margin lines) and 500000 lies
    // more than 200000 beyond its neighbour (a far-pair line).
    std::string a = std::string(50, 'A') + std::string(50, 'G');
    std::string c = std::string(50, 'C') + std::string(50, 'T');
    fs::create_directory(out());
    testsupport::writeFile(out("markers.txt"), "1000 100 51 " + a + "\n1100 100 51 " + c + "\n1200 100 1 " +
                                                   std::string(100, 'A') + "\n1300 100 51 " + a + "\n500000 100 51 " +
                                                   c + "\n");
    std::string phased;
    for (const char* position : {"1000", "1100", "1200", "1300", "500000"})
        phased += std::string(position) + " 100 51 " + std::string(50, '0') + std::string(50, '1') + "\n";
    testsupport::writeFile(out("snps.txt"), phased);
    ASSERT_EQ(ldblocks({"-o", out(), out("markers.txt"), out("snps.txt")}).status, 0);
    EXPECT_EQ(readFile(out("linkstat.txt")),
              "1000\t1100\t\t0.940\t1.000\n"
              "1000\t1200\t0 0 0 0 0 0 0 1\n"
              "1000\t1300\t\t0.940\t1.000\n"
              "1100\t1200\t0 0 0 0 0 0 0 1\n"
              "1100\t1300\t\t0.940\t1.000\n"
              "1200\t1300\t0 0 0 0 0 0 0 1\n"
              "1300\t500000 0 0 0 0 0 0 0 0 0 1\n");
    EXPECT_EQ(readFile(out("bounds.txt")),
              "1000\t1100\t\t0.940\t1.000\n"
              "1000\t1300\t\t0.940\t1.000\n"
              "1100\t1300\t\t0.940\t1.000\n");
}

TEST_F(Pipeline, BlocksAreSortedForTheAnalyser) {
    ASSERT_EQ(ldblocks({"-o", out(), chr20 + "markers.txt", chr20 + "snps.txt"}).status, 0);
    std::istringstream sorted(readFile(out("blocks.sorted.dat")));
    std::string header;
    std::getline(sorted, header);
    EXPECT_EQ(header, "SNP1\tindex\tSNP2\tindex");
    long previousLast = -1, first, firstIndex, last, lastIndex;
    size_t blocks = 0;
    while (sorted >> first >> firstIndex >> last >> lastIndex) {
        EXPECT_GT(first, previousLast);
        previousLast = last;
        ++blocks;
    }
    std::string unsorted = readFile(out("blocks.dat"));
    EXPECT_EQ(blocks + 1, static_cast<size_t>(std::count(unsorted.begin(), unsorted.end(), '\n')));
}

TEST_F(Pipeline, FailingStepStopsWithItsMessageAndLeavesNoReport) {
    fs::create_directory(out());
    testsupport::writeFile(out("report.txt"), "stale report of an earlier run\n");
    auto r = ldblocks({"-o", out(), chr20 + "no-such-file.txt", chr20 + "snps.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot Access Input File " + chr20 + "no-such-file.txt"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("ldblocks: linkstat failed (exit status 1); no report written"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out("report.txt")));
    EXPECT_FALSE(fs::exists(out("report.txt.partial")));
}

TEST_F(Pipeline, FailingAnalyserLeavesNoReport) {
    auto r = ldblocks({"-o", out(), chr20 + "markers.txt", chr20 + "missing-snps.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("haplotypes: cannot open SNP file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("ldblocks: haplotypes failed"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out("report.txt")));
    EXPECT_FALSE(fs::exists(out("report.txt.partial")));
}

TEST_F(Pipeline, NoBlockGivesAReportWithoutRowsInsteadOfStaleBlocks) {
    fs::create_directory(out());
    // A block file of an earlier run must not be taken for this run's blocks.
    testsupport::writeFile(out("blocks.dat"), "SNP1\tindex\tSNP2\tindex\n1000\t0\t1100\t1\n");
    std::string alleles0(100, '0'), alleles1 = std::string(50, '0') + std::string(50, '1');
    testsupport::writeFile(out("markers.txt"), "1000\t100\t1\t" + alleles0 + "\n1100\t100\t51\t" + alleles1 + "\n");
    testsupport::writeFile(out("snps.txt"), "1000\t100\t1\t" + alleles0 + "\n1100\t100\t51\t" + alleles1 + "\n");
    auto r = ldblocks({"-o", out(), out("markers.txt"), out("snps.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(out("blocks.dat")));
    std::string report = readFile(out("report.txt"));
    EXPECT_EQ(report.substr(0, 4), "SNP1");
    EXPECT_NE(report.find("\nnotinblocks/known: 2\t2\n"), std::string::npos) << report;
    EXPECT_NE(r.out.find("ldblocks: 0 blocks"), std::string::npos) << r.out;
}

TEST_F(Pipeline, UsageOnHelpAndOnWrongArguments) {
    auto help = ldblocks({"-h"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: ldblocks [-k knownsnpfile] [-o outdir] markerfile snpfile\n", 0), 0u);
    EXPECT_EQ(help.err, "");
    for (auto args : std::vector<std::vector<std::string>>{{}, {"only-one"}, {"a", "b", "c"}, {"-x", "a", "b"}}) {
        auto r = ldblocks(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("Usage: ldblocks"), std::string::npos);
    }
}

TEST(Install, InstalledPipelineAndManPagesWork) {
    ScratchDir prefix;
    auto install = run({CMAKE_COMMAND, "--install", LDTOOLS_BINARY_DIR, "--prefix", prefix.path().string()});
    ASSERT_EQ(install.status, 0) << install.err;
    for (const char* program : {"linkstat", "ldtile", "haplotypes", "loadgauge", "ldblocks"}) {
        EXPECT_TRUE(fs::exists(prefix.path() / "bin" / program)) << program;
        EXPECT_TRUE(fs::exists(prefix.path() / "share/man/man1" / (std::string(program) + ".1"))) << program;
    }
    std::string outdir = prefix.file("run");
    auto r = run({(prefix.path() / "bin/ldblocks").string(), "-o", outdir, chr20 + "markers.txt", chr20 + "snps.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(outdir + "/report.txt"), readFile(sourcePath("tests/pipeline/golden/chr20-report.txt")));
}

}  // namespace
