// The tag file (-t) and the work budget of the htSNP searches (-w), as a user meets them.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "runhaplotypes.hpp"
#include "scratch.hpp"

namespace {

using haplotypestest::haplotypes;
using haplotypestest::blockA;
using haplotypestest::fourBlocks;
using haplotypestest::fourBlockSnps;
using haplotypestest::marker;
using testsupport::readFile;
using testsupport::ScratchDir;
using testsupport::sourcePath;
using testsupport::writeFile;

const std::string tagHeader = "SNP1\tSNP2\tN_HapC\tNeedSNP\thtSNPs\tMinSNP\tminimum_set\tK_NeedSNP\tK_htSNPs\n";


std::vector<std::vector<std::string>> rowsof(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream words(line);
        for (std::string field; std::getline(words, field, '\t');) fields.push_back(field);
        rows.push_back(fields);
    }
    return rows;
}

// Blocks 20-40 (common haplotypes 011, 101, 110), 50 (one common haplotype), 60-100 (no
// common haplotype) and 110 (one); known SNPs at 20, 45 and 70.
class Tags : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(dir.file("snps"), fourBlockSnps());
        writeFile(dir.file("known"), marker(20, [](int c) { return blockA(c, 0); }) + marker(45, [](int) { return '0'; }) +
                                         marker(70, [](int c) { return c < 60 ? 'C' : 'A'; }));
        writeFile(dir.file("blocks"), fourBlocks);
    }
    std::string tags() const { return readFile(dir.file("tags.txt")); }
    ScratchDir dir;
};

TEST_F(Tags, OneLinePerBlockAndTheReportUnchanged) {
    auto plain = haplotypes({"-s", "snps", "-b", "blocks", "-k", "known"}, dir.path());
    auto tagged = haplotypes({"-s", "snps", "-t", "tags.txt", "-b", "blocks", "-k", "known"}, dir.path());
    EXPECT_EQ(tagged.status, 0);
    EXPECT_EQ(tagged.err, "");
    EXPECT_EQ(tagged.out, plain.out);
    // 20-40: SNPs 20 and 30 tell 011, 101 and 110 apart; over its known SNPs (20 and 45)
    // 20 does. 50 and 110: one common haplotype. 60-100: none. 50's known range is SNP 70
    // (C/A); those of 60-100 and 110 are empty.
    EXPECT_EQ(tags(), tagHeader +
                          "20\t40\t90\t2\t20,30\t2\t20,30\t1\t20\n"
                          "50\t50\t97\t0\t-\t0\t-\t1\t70\n"
                          "60\t100\t0\t0\t-\tNA\tNA\t0\t-\n"
                          "110\t110\t100\t0\t-\t0\t-\t0\t-\n");
    // Without known SNPs their columns are NA; a block file without blocks gives the header.
    ASSERT_EQ(haplotypes({"-s", "snps", "-b", "blocks", "-t", "tags.txt"}, dir.path()).status, 0);
    EXPECT_EQ(rowsof(tags())[1], (std::vector<std::string>{"20", "40", "90", "2", "20,30", "2", "20,30", "NA", "NA"}));
    writeFile(dir.file("noblocks"), "SNP1\tindex\tSNP2\tindex\n");
    ASSERT_EQ(haplotypes({"-s", "snps", "-b", "noblocks", "-t", "tags.txt"}, dir.path()).status, 0);
    EXPECT_EQ(tags(), tagHeader);
}

TEST_F(Tags, SearchCountAndTrueMinimumDiffer) {
    // Common haplotypes 00001, 00111, 11101 and 01111: the search needs 3 SNPs, SNPs 2 and 4
    // (positions 20 and 40) alone tell them apart.
    const char* haps[] = {"00001", "00111", "11101", "01111"};
    std::string snps;
    for (int k = 0; k < 5; ++k) snps += marker(10 * (k + 1), [&](int c) { return haps[c / 25][k]; });
    writeFile(dir.file("four"), snps);
    writeFile(dir.file("fourblock"), "SNP1\tindex\tSNP2\tindex\n10\t0\t50\t4\n");
    ASSERT_EQ(haplotypes({"-s", "four", "-b", "fourblock", "-t", "tags.txt"}, dir.path()).status, 0);
    EXPECT_EQ(rowsof(tags())[1], (std::vector<std::string>{"10", "50", "100", "3", "10,20,30", "2", "20,40", "NA", "NA"}));
}

TEST_F(Tags, AFailedRunLeavesNoTagFile) {
    writeFile(dir.file("tags.txt"), "an earlier tag file\n");
    // An input fault, and a report that cannot be written: the old file stays as it was.
    EXPECT_EQ(haplotypes({"-s", "missing", "-b", "blocks", "-t", "tags.txt"}, dir.path()).status, 1);
    testsupport::RunOptions full;
    full.workdir = dir.path();
    full.stdoutPath = "/dev/full";
    auto r = testsupport::run({HAPLOTYPES_BIN, "-s", "snps", "-b", "blocks", "-t", "tags.txt"}, full);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "haplotypes: cannot write standard output: No space left on device\n");
    EXPECT_EQ(tags(), "an earlier tag file\n");
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"blocks", "known", "snps", "tags.txt"}));

    // A tag file that cannot be made or written.
    auto nofolder = haplotypes({"-s", "snps", "-b", "blocks", "-t", "no/such/folder/tags.txt"}, dir.path());
    EXPECT_EQ(nofolder.err, "haplotypes: cannot open tag file no/such/folder/tags.txt: No such file or directory\n");
    EXPECT_EQ(nofolder.out, "");
    EXPECT_EQ(nofolder.status, 1);
    auto device = haplotypes({"-s", "snps", "-b", "blocks", "-t", "/dev/full"}, dir.path());
    EXPECT_EQ(device.err, "haplotypes: cannot write tag file /dev/full: No space left on device\n");
    EXPECT_EQ(device.status, 1);
}

// Renaming the tag file over an input would lose it: refused before anything is written, for
// every input, by the same name or through another name of the same file.
TEST_F(Tags, ATagFileThatIsAnInputIsRefused) {
    std::filesystem::create_symlink("known", dir.file("link"));
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-s", "snps", "-b", "blocks", "-t", "snps"}, "snps: it is the SNP file"},
        {{"-s", "snps", "-b", "blocks", "-t", "./blocks"}, "./blocks: it is the block file"},
        {{"-s", "snps", "-b", "blocks", "-k", "known", "-t", "link"}, "link: it is the known-SNP file"},
    };
    for (const auto& [args, message] : cases) {
        auto r = haplotypes(args, dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "haplotypes: cannot write tag file " + message + "\n");
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(readFile(dir.file("snps")), fourBlockSnps());
    EXPECT_EQ(readFile(dir.file("blocks")), fourBlocks);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link")));
    // A tag file beside the inputs, and two names of one device, are fine.
    EXPECT_EQ(haplotypes({"-s", "snps", "-b", "blocks", "-t", "tags.txt"}, dir.path()).status, 0);
    std::filesystem::create_symlink("/dev/null", dir.file("null"));
    auto device = haplotypes({"-s", "snps", "-b", "null", "-t", "/dev/null"}, dir.path());
    EXPECT_EQ(device.status, 0);
    EXPECT_EQ(device.err, "");
}

TEST_F(Tags, Options) {
    // -t takes a value like s, b and k; empty, or missing at the end, it is refused.
    EXPECT_EQ(haplotypes({"-s", "snps", "-b", "blocks", "-t", ""}, dir.path()).err,
              "haplotypes: no tag file given (-t tagfile)\n");
    auto last = haplotypes({"-s", "snps", "-b", "blocks", "-t"}, dir.path());
    EXPECT_EQ(last.status, 1);
    EXPECT_EQ(last.out.rfind("Usage: haplotypes", 0), 0u);
    // -xt: x is ignored, t takes the next word; a later -t wins.
    ASSERT_EQ(haplotypes({"-s", "snps", "-xt", "first.txt", "-b", "blocks", "-t", "tags.txt"}, dir.path()).status, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("first.txt")));
    EXPECT_EQ(tags().substr(0, tagHeader.size()), tagHeader);

    for (const char* bad : {"-1", "x", "2147483648", ""}) {
        auto r = haplotypes({"-s", "snps", "-b", "blocks", "-w", bad}, dir.path());
        EXPECT_EQ(r.err, "haplotypes: -w " + std::string(bad) +
                             ": the work budget must be a whole number from 0 (no limit) to 2147483647\n");
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.status, 1);
    }
    auto help = haplotypes({"--help"});
    EXPECT_NE(help.out.find("\t-t tagfile:"), std::string::npos);
    EXPECT_NE(help.out.find("\t-w N:"), std::string::npos);
}

// 16 common haplotypes of 6 chromosomes each (4 more chromosomes carry only "0"); SNP k
// carries "1" on the haplotypes of the k-th pair (0,1), (0,2), ... Over 38 SNPs the fewest
// that tell them apart are 12, and the search needs millions of subsets to know it.
class PairFamily : public ::testing::Test {
protected:
    void SetUp() override {
        std::string snps;
        int k = 0;
        for (int a = 0; a < 16 && k < 38; ++a)
            for (int b = a + 1; b < 16 && k < 38; ++b, ++k)
                snps += marker(1000 + 10 * k, [&](int c) { return c < 96 && (c / 6 == a || c / 6 == b) ? '1' : '0'; });
        writeFile(dir.file("snps"), snps);
        writeFile(dir.file("blocks"), "SNP1\tindex\tSNP2\tindex\n1000\t0\t1370\t37\n");
    }
    ScratchDir dir;
};

TEST_F(PairFamily, BudgetStopsTheSearchesAndSaysSo) {
    // A work budget of 1000 subsets stops each search; the rows are still complete and the status 0.
    auto r = haplotypes({"-s", "snps", "-b", "blocks", "-k", "snps", "-t", "tags.txt", "-w", "1000"}, dir.path());
    EXPECT_EQ(r.status, 0);
    auto rows = rowsof(r.out);
    ASSERT_EQ(rows.size(), 3u);
    int needed = std::stoi(rows[1][7]);
    EXPECT_GE(needed, 12);
    EXPECT_EQ(rows[1][14], rows[1][7]);
    std::string block = "haplotypes: block 1000-1370: ";
    std::string stopped = r.err;
    for (const char* text : {"htSNP search stopped after ", "minimum htSNP search stopped after ",
                             "htSNP search over the known SNPs stopped after "}) {
        ASSERT_EQ(stopped.rfind(block + text, 0), 0u) << r.err;
        size_t number = block.size() + std::string(text).size();
        size_t end = stopped.find(' ', number);
        long long subsets = std::stoll(stopped.substr(number, end - number));
        EXPECT_GT(subsets, 0);
        EXPECT_LE(subsets, 1000);
        stopped = stopped.substr(stopped.find('\n') + 1);
    }
    EXPECT_EQ(stopped, "");
    EXPECT_NE(r.err.find(" subsets; NeedSNP is an upper bound\n"), std::string::npos);
    EXPECT_NE(r.err.find(" subsets; MinSNP and minimum_set are NA\n"), std::string::npos);
    EXPECT_NE(r.err.find(" subsets; the known NeedSNP (K_NeedSNP) is an upper bound\n"), std::string::npos);
    auto tags = rowsof(readFile(dir.file("tags.txt")));
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[1][3], rows[1][7]);
    EXPECT_EQ(std::count(tags[1][4].begin(), tags[1][4].end(), ',') + 1, needed);
    EXPECT_EQ(tags[1][5], "NA");
    EXPECT_EQ(tags[1][6], "NA");

    // Without a limit (and with the default) both searches are exact and quiet.
    for (std::vector<std::string> budget : {std::vector<std::string>{"-w", "0"}, {}}) {
        std::vector<std::string> args = {"-s", "snps", "-b", "blocks", "-t", "tags.txt"};
        args.insert(args.end(), budget.begin(), budget.end());
        auto exact = haplotypes(args, dir.path());
        EXPECT_EQ(exact.err, "");
        EXPECT_EQ(rowsof(exact.out)[1][7], "12");
        EXPECT_EQ(rowsof(readFile(dir.file("tags.txt")))[1][5], "12");
    }
}

// Every block of the chr20 example, with the test blocks and with the blocks the pipeline
// finds (those of its golden reports): the htSNPs listed number NeedSNP, the true minimum
// is never above it, and the report is the golden one.
TEST(TagsOfChr20, EveryBlock) {
    ScratchDir dir;
    std::string pipelineblocks = "SNP1\tindex\tSNP2\tindex\n";
    for (const auto& row : rowsof(readFile(sourcePath("tests/pipeline/golden/chr20-report.txt"))))
        if (row.size() > 2 && row[0] != "SNP1" && row[0].rfind("notinblocks", 0) != 0)
            pipelineblocks += row[0] + "\t0\t" + row[1] + "\t0\n";
    writeFile(dir.file("pipeline-blocks.txt"), pipelineblocks);

    struct Case {
        std::string blocks, report;
    };
    int blocks = 0, below = 0;
    for (const Case& c : {Case{sourcePath("Haplotypes/tests/data/chr20-blocks.txt"),
                               sourcePath("Haplotypes/tests/data/chr20-report.txt")},
                          Case{dir.file("pipeline-blocks.txt"), sourcePath("tests/pipeline/golden/chr20-known-report.txt")}}) {
        auto r = haplotypes({"-s", sourcePath("examples/chr20/snps.txt"), "-b", c.blocks, "-k",
                             sourcePath("examples/chr20/known.txt"), "-t", dir.file("tags.txt")});
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, readFile(c.report));
        auto report = rowsof(r.out);
        auto tags = rowsof(readFile(dir.file("tags.txt")));
        ASSERT_EQ(tags.size(), report.size() - 1);  // the report's closing line has no tag line
        for (size_t b = 1; b < tags.size(); ++b) {
            const auto& tag = tags[b];
            const auto& row = report[b];
            ASSERT_EQ(tag.size(), 9u);
            EXPECT_EQ(tag[0], row[0]);
            EXPECT_EQ(tag[1], row[1]);
            EXPECT_EQ(tag[2], row[6]);   // N_HapC
            EXPECT_EQ(tag[3], row[7]);   // NeedSNP
            EXPECT_EQ(tag[7], row[14]);  // the known NeedSNP
            auto count = [](const std::string& list) {
                return list == "-" ? 0 : static_cast<int>(std::count(list.begin(), list.end(), ',')) + 1;
            };
            int needed = std::stoi(tag[3]), minimum = std::stoi(tag[5]);
            EXPECT_EQ(count(tag[4]), needed) << tag[0];
            EXPECT_EQ(count(tag[6]), minimum) << tag[0];
            EXPECT_EQ(count(tag[8]), std::stoi(tag[7])) << tag[0];
            EXPECT_LE(minimum, needed) << tag[0];
            below += minimum < needed;
            ++blocks;
        }
    }
    EXPECT_GT(blocks, 100);
    EXPECT_GT(below, 0);
}

}  // namespace
