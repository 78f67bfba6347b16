// The program as a user runs it: command line, messages, exit statuses and the report.

#include <gtest/gtest.h>

#include <functional>

#include "runhaplotypes.hpp"
#include "scratch.hpp"

namespace {

using haplotypestest::haplotypes;
using haplotypestest::blockA;
using haplotypestest::fourBlocks;
using haplotypestest::fourBlockSnps;
using haplotypestest::marker;
using testsupport::ScratchDir;
using testsupport::writeFile;

const std::string usage =
    "Usage: haplotypes -s snpfile -b blockfile [-k knownsnpfile]\n"
    "\t-s snpfile: name of complete snp file in qz.out format\n"
    "\t-b blockfile: name of SORTED blockfile, no header, in block.dat format\n"
    "\t-k knownsnpfile: same as snpfile\n\n";
const std::string header = "SNP1\tSNP2\tN_SNPS\tAllHaps\tHap80\tHapC\tN_HapC\tNeedSNP\t%HapsKn\t";
const std::string knownheader = "K_SNPS\tK_Haps\tK_Hap80\tK_HapC\tN_KHapC\tNeedSNP\t";

// The four blocks of fourBlockSnps, with SNP 130 after them (twelve SNPs). Known SNPs at 5, 20,
// 45, 50 and 70 (its own alleles C/A).
class Report : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(dir.file("snps"), fourBlockSnps() + marker(130, [](int c) { return "01"[c % 2]; }));
        writeFile(dir.file("known"), marker(5, [](int) { return '0'; }) + marker(20, [](int c) { return blockA(c, 0); }) +
                                         marker(45, [](int) { return '0'; }) +
                                         marker(50, [](int c) { return c < 97 ? '0' : '1'; }) +
                                         marker(70, [](int c) { return c < 60 ? 'C' : 'A'; }));
        writeFile(dir.file("blocks"), fourBlocks);
    }
    ScratchDir dir;
};

TEST_F(Report, RowsWithAndWithoutKnownSNPs) {
    auto known = haplotypes({"-s", "snps", "-b", "blocks", "-k", "known"}, dir.path());
    // Block 20-40: known range 20 and 45 (beyond the block); 50: itself; 60-100: the known
    // walk stops at the last known SNP, 70; 110: no known SNP left, an empty range.
    EXPECT_EQ(known.out, header + knownheader +
                             "\n20\t40\t3\t5\t3\t3\t90\t2\t0.44\t2\t2\t2\t2\t100\t1\t"
                             "\n50\t50\t1\t2\t1\t1\t97\t0\t1.00\t1\t2\t1\t1\t97\t0\t"
                             "\n60\t100\t5\t20\t16\t0\t0\t0\tNA\t1\t2\t2\t2\t100\t1\t"
                             "\n110\t110\t1\t1\t1\t1\t100\t0\t1.00\t0\t1\t1\t1\t100\t0\t"
                             "\nnotinblocks/known: 2\t1\n");
    EXPECT_EQ(known.err, "");
    EXPECT_EQ(known.status, 0);

    auto plain = haplotypes({"-s", "snps", "-b", "blocks"}, dir.path());
    EXPECT_EQ(plain.out, header +
                             "\n20\t40\t3\t5\t3\t3\t90\t2\t1.00\t"
                             "\n50\t50\t1\t2\t1\t1\t97\t0\t1.00\t"
                             "\n60\t100\t5\t20\t16\t0\t0\t0\tNA\t"
                             "\n110\t110\t1\t1\t1\t1\t100\t0\t1.00\t"
                             "\nnotinblocks/known: 2\t1\n");
    EXPECT_EQ(plain.status, 0);
}

TEST_F(Report, NoBlocks) {
    writeFile(dir.file("blocks"), "SNP1\tindex\tSNP2\tindex\n");
    EXPECT_EQ(haplotypes({"-s", "snps", "-b", "blocks", "-k", "known"}, dir.path()).out,
              header + knownheader + "\nnotinblocks/known: 12\t3\n");
    EXPECT_EQ(haplotypes({"-s", "snps", "-b", "blocks"}, dir.path()).out, header + "\nnotinblocks/known: 12\t12\n");
}

TEST_F(Report, CommandLine) {
    auto none = haplotypes({});
    EXPECT_EQ(none.out, usage);
    EXPECT_EQ(none.status, 1);
    for (std::vector<std::string> args : {std::vector<std::string>{"-s"}, {"-s", "snps", "-xb"}}) {
        auto r = haplotypes(args, dir.path());
        EXPECT_EQ(r.out, usage);
        EXPECT_EQ(r.status, 1);
    }
    // Letters other than s, b and k are ignored; a later -s wins; options end at the first
    // argument that does not begin with "-".
    EXPECT_EQ(haplotypes({"-x", "-s", "missing", "-zs", "snps", "-b", "blocks"}, dir.path()).status, 0);
    EXPECT_EQ(haplotypes({"-s", "snps", "blocks", "-b", "blocks"}, dir.path()).err,
              "haplotypes: no block file given (-b blockfile)\n");
    EXPECT_EQ(haplotypes({"-sb", "snps", "blocks"}, dir.path()).err, "haplotypes: no block file given (-b blockfile)\n");
    EXPECT_EQ(haplotypes({"snps", "-s", "snps", "-b", "blocks"}, dir.path()).err,
              "haplotypes: no SNP file given (-s snpfile)\n");
    EXPECT_EQ(haplotypes({"-b", "blocks", "-s", ""}, dir.path()).err, "haplotypes: no SNP file given (-s snpfile)\n");
    EXPECT_EQ(haplotypes({"-s", "snps", "-b", "blocks", "-k", ""}, dir.path()).err,
              "haplotypes: no known-SNP file given (-k knownsnpfile)\n");
}

TEST_F(Report, HelpAndVersion) {
    // Whole arguments among the options; they answer before any file is looked at.
    for (std::vector<std::string> args : {std::vector<std::string>{"--help"}, {"-s", "missing", "--help", "-b"}}) {
        auto help = haplotypes(args, dir.path());
        EXPECT_EQ(help.out.substr(0, usage.size()), usage);
        EXPECT_EQ(help.err, "");
        EXPECT_EQ(help.status, 0);
    }
    auto version = haplotypes({"--version", "-s", "missing"}, dir.path());
    EXPECT_EQ(version.out, "haplotypes " LDTOOLS_VERSION "\n");
    EXPECT_EQ(version.status, 0);
    // -h is a letter like any other; a value named --help is a file name; after the first
    // word that is not an option --help is ignored.
    EXPECT_EQ(haplotypes({"-h", "-s", "snps", "-b", "blocks"}, dir.path()).out.substr(0, header.size()), header);
    EXPECT_EQ(haplotypes({"-s", "--help", "-b", "blocks"}, dir.path()).err,
              "haplotypes: cannot open SNP file --help: No such file or directory\n");
    EXPECT_EQ(haplotypes({"-s", "snps", "x", "--version"}, dir.path()).err,
              "haplotypes: no block file given (-b blockfile)\n");
}

TEST_F(Report, FirstErrorWinsAndStdoutStaysEmpty) {
    writeFile(dir.file("badsnps"), "10 1 1 0101\n");
    writeFile(dir.file("badblocks"), "SNP1\n60 5 100 9\n20 1 40 3\n");
    writeFile(dir.file("strayblocks"), "SNP1\n20 1 45 3\n");
    auto check = [&](std::vector<std::string> args, const std::string& err) {
        auto r = haplotypes(args, dir.path());
        EXPECT_EQ(r.err, err);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.status, 1);
    };
    check({"-b", "badblocks", "-s", "badsnps", "-k", "missing"},
          "haplotypes: block file badblocks: line 3: blocks out of order or overlapping (the lines after the header "
          "must be sorted by their first column)\n");
    check({"-b", "blocks", "-s", "badsnps", "-k", "missing"},
          "haplotypes: SNP file badsnps: record 1: allele string has fewer than 100 characters\n");
    check({"-b", "strayblocks", "-s", "snps", "-k", "missing"},
          "haplotypes: cannot open known-SNP file missing: No such file or directory\n");
    check({"-b", "strayblocks", "-s", "snps", "-k", "known"},
          "haplotypes: block file strayblocks: line 2: position 45 is not in the SNP file\n");
    check({"-b", ".", "-s", "snps"}, "haplotypes: cannot open block file .: Is a directory\n");
    // An endless file ends with an error instead of taking all memory.
    check({"-b", "blocks", "-s", "/dev/zero"},
          "haplotypes: SNP file /dev/zero: record 1: field longer than 1048576 characters\n");
    check({"-b", "/dev/zero", "-s", "snps"},
          "haplotypes: block file /dev/zero: line 1: field longer than 1048576 characters\n");
}

TEST_F(Report, MissingAllelesNeedBothSNPs) {
    // A missing allele is no mirror of a called one. Common haplotypes 1- (33), -0 (33) and 10
    // (34): SNP 100 alone leaves 1- and 10 together, so NeedSNP is 2.
    writeFile(dir.file("gaps"), marker(100, [](int c) { return c >= 33 && c < 66 ? '-' : '1'; }) +
                                    marker(200, [](int c) { return c < 33 ? '-' : '0'; }));
    writeFile(dir.file("gapblock"), "SNP1\tindex\tSNP2\tindex\n100\t0\t200\t1\n");
    auto r = haplotypes({"-s", "gaps", "-b", "gapblock"}, dir.path());
    EXPECT_EQ(r.out, header + "\n100\t200\t2\t3\t3\t3\t100\t2\t1.00\t\nnotinblocks/known: 0\t0\n");
    EXPECT_EQ(r.status, 0);
}

TEST_F(Report, FailedWriteToStandardOutput) {
    testsupport::RunOptions options;
    options.workdir = dir.path();
    options.stdoutPath = "/dev/full";
    auto r = testsupport::run({HAPLOTYPES_BIN, "-s", "snps", "-b", "blocks"}, options);
    EXPECT_EQ(r.err, "haplotypes: cannot write standard output: No space left on device\n");
    EXPECT_EQ(r.status, 1);
}

// The chr20 example with a block file of consecutive SNPs (made by
// bench/haplotypes/makeblocks.sh) and the example's known SNPs.
TEST(Golden, Chr20Example) {
    auto r = haplotypes({"-s", testsupport::sourcePath("examples/chr20/snps.txt"), "-b",
                         testsupport::sourcePath("Haplotypes/tests/data/chr20-blocks.txt"), "-k",
                         testsupport::sourcePath("examples/chr20/known.txt")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, testsupport::readFile(testsupport::sourcePath("Haplotypes/tests/data/chr20-report.txt")));
}

}  // namespace
