// The ldtile program as a user runs it: options, messages, output files and exit statuses.

#include "process.hpp"
#include "scratch.hpp"
#include "version.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

using testsupport::readFile;
using testsupport::run;
using testsupport::RunResult;
using testsupport::ScratchDir;
using testsupport::writeFile;

std::string usage(const std::string& bounds = "foo.out", const std::string& percentage = "0.95",
                  const std::string& minblocksize = "500") {
    return "\nUsage: ldtile [-d datafile][-f blockfile][-o outputfile]\n"
           "\t\t[-s selectalg][-p LDpercentage][-t LDthreshold][-b minblocksize]\n"
           "(for some forgotten reason, you need to use at least one of these options, otherwise you'll just "
           "get this help message again.)\n\n"
           "if options not specified, default values are:\n"
           "\tdatafile: " + bounds + "\n\tblockfile: block.dat\n\toutputfile: plot.dat\n"
           "\tselectalg: maxsize [i think this is obsolete]\n"
           "\tpercentage: " + percentage + "\n\tLDthreshold: 0.90\n\tminblocksize: " + minblocksize + "\n"
           "\nLDthreshold is currently obsolete because we are using confidence bounds. "
           "Can be used to set threshold when other measures of LD are used.\n\n";
}

// One block of span 5,000 (SNPs 0 and 1), SNP 2 in none.
const char* oneBlock = "1000 6000\t\t0.850\t0.990\n1000 9000 0.1 0.2\n6000 9000 0.1 0.2\n";
const char* oneBlockStats =
    "Total number of blocks: 1\nAverage length of blocks: 5000.000\nShortest block: 5000\nLongest block: 5000\n"
    "Percent coverage: 0.050\n";

class Ldtile : public ::testing::Test {
protected:
    RunResult ldtile(std::vector<std::string> words) {
        words.insert(words.begin(), LDTILE_BIN);
        return run(words, {.input = "", .workdir = dir.path().string(), .stdoutPath = ""});
    }
    // The same under a limit of the address space (in kB), where the build allows one: the
    // sanitizers reserve far more address space than any limit that means something.
    RunResult ldtileWithin(long kilobytes, std::vector<std::string> words) {
#if defined(__SANITIZE_ADDRESS__)
        (void)kilobytes;
        return ldtile(std::move(words));
#else
        words.insert(words.begin(), {"/bin/sh", "-c", "ulimit -v " + std::to_string(kilobytes) + " && exec \"$0\" \"$@\"",
                                     LDTILE_BIN});
        return run(words, {.input = "", .workdir = dir.path().string(), .stdoutPath = ""});
#endif
    }
    std::string file(const std::string& name) const { return dir.file(name); }
    void write(const std::string& name, const std::string& text) const { writeFile(file(name), text); }
    std::string read(const std::string& name) const { return readFile(file(name)); }
    bool exists(const std::string& name) const { return std::filesystem::exists(file(name)); }

    ScratchDir dir;
};

TEST_F(Ldtile, WithoutWordsPrintsOnlyTheUsage) {
    const auto r = ldtile({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, usage());
    EXPECT_EQ(r.err, "");
}

TEST_F(Ldtile, IllegalLetterEndsTheOptionsAfterItsWord) {
    auto r = ldtile({"-p", "0.9", "-x", "-d", "bounds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "the percentage specified is 0.900\nldtile: illegal option x\n" + usage("foo.out", "0.90"));

    r = ldtile({"-xb", "7", "-d", "bounds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "ldtile: illegal option x\nthe min blocksize specified is 7\n" + usage("foo.out", "0.95", "7"));
}

TEST_F(Ldtile, MissingValueIsReportedLikeAnIllegalOption) {
    auto r = ldtile({"-p"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "ldtile: option requires an argument -- p\n" + usage());
    r = ldtile({"-d", "bounds", "-xd"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "the filename specified is bounds\nldtile: illegal option x\n"
                     "ldtile: option requires an argument -- d\n" + usage("bounds"));
    EXPECT_EQ(r.err, "");
}

TEST_F(Ldtile, OneBlockWritesBothFilesAndTheStatistics) {
    write("bounds", oneBlock);
    const auto r = ldtile({"-d", "bounds", "-f", "blocks", "-o", "stats"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "the filename specified is bounds\nthe blockfile specified is blocks\n"
                     "the datafile specified is stats\n2\n" + std::string(oneBlockStats));
    EXPECT_EQ(read("blocks"), "SNP1\tindex\tSNP2\tindex\n1000\t0\t6000\t1\n");
    EXPECT_EQ(read("stats"), "0.900\t0.950\t500\tmaxsize\t1\t5000.000\t5000\t5000\t0.050\n");
}

TEST_F(Ldtile, SecondRunAppendsStatisticsAndReplacesBlocks) {
    write("bounds", oneBlock);
    write("blocks", "old blocks\nmore old blocks\nand more\n");
    ASSERT_EQ(ldtile({"-d", "bounds", "-f", "blocks", "-o", "stats", "-t", "0.5", "-b", "12", "-s", "mine"}).status, 0);
    write("bounds", "1000 1200 0.9 1.0\n");
    const auto r = ldtile({"-d", "bounds", "-f", "blocks", "-o", "stats", "-p", "0.5"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("stats"), "0.500\t0.950\t12\tmine\t1\t5000.000\t5000\t5000\t0.050\n"
                             "0.900\t0.500\t500\tmaxsize\t1\t200.000\t200\t200\t0.002\n");
    EXPECT_EQ(read("blocks"), "SNP1\tindex\tSNP2\tindex\n1000\t0\t1200\t1\n");
}

TEST_F(Ldtile, StatisticsOfSeveralBlocksInSearchOrder) {
    // Blocks 9000-18000 (longest, found first), then 1000-3000, then 30000-34000.
    write("bounds", "1000 3000 0.9 1\n3000 9000 0 0\n9000 18000 0.9 1\n18000 30000 0 0\n30000 34000 0.9 1\n");
    const auto r = ldtile({"-d", "bounds", "-o", "stats"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("block.dat"), "SNP1\tindex\tSNP2\tindex\n9000\t2\t18000\t3\n1000\t0\t3000\t1\n30000\t4\t34000\t5\n");
    EXPECT_EQ(read("stats"), "0.900\t0.950\t500\tmaxsize\t3\t5000.000\t2000\t9000\t0.150\n");
    EXPECT_NE(r.out.find("Shortest block: 2000\nLongest block: 9000\nPercent coverage: 0.150\n"), std::string::npos);
}

TEST_F(Ldtile, PositionsAtBothEndsOfTheIntegerRange) {
    write("bounds", "-2147483648 -2147478648 0.9 1\n-2147478648 2147483647 0.9 1\n"
                    "2147483000 2147483647 0.9 1\n");
    const auto r = ldtile({"-d", "bounds", "-o", "stats"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("block.dat"), "SNP1\tindex\tSNP2\tindex\n-2147483648\t0\t-2147478648\t1\n"
                                 "2147483000\t2\t2147483647\t3\n");
    EXPECT_EQ(read("stats"), "0.900\t0.950\t500\tmaxsize\t2\t2823.500\t647\t5000\t0.056\n");
}

TEST_F(Ldtile, NoBlocksLeavesTheOutputFilesAlone) {
    write("bounds", "1000 6000 0.75 0.99\n");  // strong LD, not enough for two SNPs
    write("stats", "kept\n");
    auto r = ldtile({"-d", "bounds", "-f", "blocks", "-o", "stats"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "the filename specified is bounds\nthe blockfile specified is blocks\n"
                     "the datafile specified is stats\n1\nno blocks.\n");
    EXPECT_FALSE(exists("blocks"));
    EXPECT_EQ(read("stats"), "kept\n");
    write("empty", "");
    r = ldtile({"-d", "empty"});
    EXPECT_EQ(r.out, "the filename specified is empty\n0\nno blocks.\n");
    EXPECT_FALSE(exists("block.dat"));
    EXPECT_FALSE(exists("plot.dat"));
}

TEST_F(Ldtile, OptionWordsEndAtTheFirstOtherWord) {
    write("foo.out", oneBlock);
    write("-f", "1000 1100 0.9 1\n");
    // -bd 7: d is ignored after the value-taking b; "-" sets nothing; "x" ends the options.
    auto r = ldtile({"-bd", "7", "-", "x", "-d", "nothing"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "the min blocksize specified is 7\n2\n" + std::string(oneBlockStats));
    EXPECT_EQ(read("plot.dat"), "0.900\t0.950\t7\tmaxsize\t1\t5000.000\t5000\t5000\t0.050\n");
    r = ldtile({"-d", "-f"});
    EXPECT_EQ(r.out.rfind("the filename specified is -f\n1\nTotal number of blocks: 1\n", 0), 0u);
    EXPECT_EQ(read("block.dat"), "SNP1\tindex\tSNP2\tindex\n1000\t0\t1100\t1\n");
}

TEST_F(Ldtile, ReadsTheBoundsFromAPipe) {
    const auto r = run({LDTILE_BIN, "-d", "/dev/stdin", "-o", "stats"},
                       {.input = oneBlock, .workdir = dir.path().string(), .stdoutPath = ""});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "the filename specified is /dev/stdin\nthe datafile specified is stats\n2\n" + std::string(oneBlockStats));
    EXPECT_EQ(read("block.dat"), "SNP1\tindex\tSNP2\tindex\n1000\t0\t6000\t1\n");
}

TEST_F(Ldtile, UnreadableBoundsFileIsAnError) {
    auto r = ldtile({"-d", "missing"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "the filename specified is missing\n");
    EXPECT_EQ(r.err, "ldtile: cannot open bounds file missing: No such file or directory\n");
    std::filesystem::create_directory(file("folder"));
    r = ldtile({"-d", "folder"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ldtile: cannot open bounds file folder: Is a directory\n");
    EXPECT_FALSE(exists("block.dat"));
    EXPECT_FALSE(exists("plot.dat"));
}

TEST_F(Ldtile, MalformedRecordNamesTheLineWhereItBegins) {
    const std::string expected = ": expected four numbers: first position, second position, lower bound, upper bound\n";
    const std::pair<const char*, const char*> cases[] = {
        {"1000 6000 0.85 0.99\n1000\n7000 0.5\n", "line 2"},  // partial record at the end
        {"1000 6000 0.85 0.99\n\n1000 7000 inf 0.5\n", "line 3"},
        {"1000 6000 nan 0.99\n", "line 1"},
        {"1000 6000 0x1p-1 0.99\n", "line 1"},
        {"1000 6000 0.5 1e999\n", "line 1"},
        {"1000.5 6000 0.5 0.9\n", "line 1"},
        {"1000 6000 0.5 0.9\n2147483648 2147483649 0 0\n", "line 2"},
        {"# header\n1000 6000 0.5 0.9\n", "line 1"},
        {"1000 6000 0.5 0.9 \n1000\n6001 0.5 0.9 0.1\n", "line 3"},
    };
    for (const auto& [text, line] : cases) {
        write("bounds", text);
        const auto r = ldtile({"-d", "bounds"});
        EXPECT_EQ(r.status, 1) << text;
        EXPECT_EQ(r.err, "ldtile: bounds: " + std::string(line) + expected) << text;
        EXPECT_FALSE(exists("block.dat"));
    }
}

TEST_F(Ldtile, RecordsOutOfOrderAreAnError) {
    const std::pair<const char*, const char*> cases[] = {
        {"1000 6000 0.85 0.99\n1000 6000 0.85 0.99\n", "line 2"},  // the same pair twice
        {"1000 6000 0.85 0.99\n1000 5000 0.85 0.99\n", "line 2"},
        {"1000 6000 0.85 0.99\n900 6000 0.85 0.99\n", "line 2"},
        {"6000 6000 0.85 0.99\n", "line 1"},
        {"1000 6000 0.85 0.99\n\n6000\n1000 0.85 0.99\n", "line 3"},
    };
    for (const auto& [text, line] : cases) {
        write("bounds", text);
        const auto r = ldtile({"-d", "bounds"});
        EXPECT_EQ(r.status, 1) << text;
        EXPECT_EQ(r.err, "ldtile: bounds: " + std::string(line) + ": records are not in order of position\n") << text;
    }
}

TEST_F(Ldtile, OutputFileThatCannotBeOpenedIsAnError) {
    write("bounds", oneBlock);
    write("blocks", "untouched\n");
    std::filesystem::create_directory(file("folder"));
    auto r = ldtile({"-d", "bounds", "-f", "blocks", "-o", "folder"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ldtile: cannot open statistics file folder: Is a directory\n");
    EXPECT_EQ(r.out.find("Total number"), std::string::npos);
    EXPECT_EQ(read("blocks"), "untouched\n");

    write("stats", "earlier\n");
    r = ldtile({"-d", "bounds", "-f", "folder", "-o", "stats"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ldtile: cannot open block file folder: Is a directory\n");
    EXPECT_EQ(r.out.find("Total number"), std::string::npos);
    EXPECT_EQ(read("stats"), "earlier\n");
}

TEST_F(Ldtile, WriteErrorIsReportedAndTheOtherFileStillWritten) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    write("bounds", oneBlock);
    const auto r = ldtile({"-d", "bounds", "-f", "blocks", "-o", "/dev/full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ldtile: cannot write /dev/full: No space left on device\n");
    EXPECT_EQ(read("blocks"), "SNP1\tindex\tSNP2\tindex\n1000\t0\t6000\t1\n");
}

TEST_F(Ldtile, HelpAndVersionAreReadWhereOptionWordsAre) {
    auto r = ldtile({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, usage());
    EXPECT_EQ(r.err, "");
    r = ldtile({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("ldtile ") + ldtools::kVersion + "\n");
    // The usage text shows the values set so far.
    r = ldtile({"-p", "0.5", "--help", "-d", "bounds"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "the percentage specified is 0.500\n" + usage("foo.out", "0.50"));
    // A value word is a value, whatever it looks like.
    r = ldtile({"-d", "--help"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "the filename specified is --help\n");
    EXPECT_EQ(r.err, "ldtile: cannot open bounds file --help: No such file or directory\n");
    // No word after an illegal letter is read.
    r = ldtile({"-x", "--version"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "ldtile: illegal option x\n" + usage());
}

TEST_F(Ldtile, BlockFileAndStatisticsFileMustBeDifferentFiles) {
    // One file named by -f and -o is refused once blocks were found, before either file is opened.
    write("bounds", oneBlock);
    const std::string found = "the filename specified is bounds\nthe blockfile specified is ";
    auto r = ldtile({"-d", "bounds", "-f", "same", "-o", "same"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, found + "same\nthe datafile specified is same\n2\n");
    EXPECT_EQ(r.err, "ldtile: -f and -o name the same file: same\n");
    EXPECT_FALSE(exists("same"));

    // Two names of one file: a link to it, or a name yet to be created, spelt two ways.
    write("stats", "earlier\n");
    std::filesystem::create_symlink("stats", file("link"));
    r = ldtile({"-d", "bounds", "-f", "link", "-o", "stats"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ldtile: -f and -o name the same file: link\n");
    EXPECT_EQ(read("stats"), "earlier\n");
    std::filesystem::create_hard_link(file("stats"), file("hard"));
    r = ldtile({"-d", "bounds", "-f", "stats", "-o", "hard"});
    EXPECT_EQ(r.err, "ldtile: -f and -o name the same file: stats\n");
    r = ldtile({"-d", "bounds", "-f", "./new", "-o", "new"});
    EXPECT_EQ(r.err, "ldtile: -f and -o name the same file: ./new\n");
    EXPECT_FALSE(exists("new"));
    EXPECT_EQ(read("stats"), "earlier\n");

    // Two names of one device are not refused: writing both to it corrupts nothing.
    if (std::filesystem::exists("/dev/null")) {
        std::filesystem::create_symlink("/dev/null", file("null"));
        r = ldtile({"-d", "bounds", "-f", "null", "-o", "/dev/null"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
    }

    // Without blocks neither file is written, so nothing is refused.
    write("none", "1000 6000 0.75 0.99\n");
    r = ldtile({"-d", "none", "-f", "same", "-o", "same"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "the filename specified is none\nthe blockfile specified is same\nthe datafile specified is same\n"
                     "1\nno blocks.\n");
}

TEST_F(Ldtile, OutputsThatAreTheBoundsFileAreRefused) {
    // The block file would replace the bounds, the statistics line would grow them: refused once
    // blocks were found, before either file is opened, by the same name or another name of it.
    write("bounds", oneBlock);
    std::filesystem::create_symlink("bounds", file("link"));
    const std::string echo = "the filename specified is bounds\n";
    auto r = ldtile({"-d", "bounds", "-f", "bounds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, echo + "the blockfile specified is bounds\n2\n");
    EXPECT_EQ(r.err, "ldtile: -f and -d name the same file: bounds\n");
    r = ldtile({"-d", "bounds", "-o", "./bounds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ldtile: -o and -d name the same file: ./bounds\n");
    r = ldtile({"-d", "bounds", "-f", "link", "-o", "stats"});
    EXPECT_EQ(r.err, "ldtile: -f and -d name the same file: link\n");
    // -f and -o naming one file is reported first.
    r = ldtile({"-d", "bounds", "-f", "bounds", "-o", "bounds"});
    EXPECT_EQ(r.err, "ldtile: -f and -o name the same file: bounds\n");
    EXPECT_EQ(read("bounds"), oneBlock);
    EXPECT_TRUE(std::filesystem::is_symlink(file("link")));
    EXPECT_FALSE(exists("block.dat"));
    EXPECT_FALSE(exists("stats"));
    EXPECT_FALSE(exists("plot.dat"));
}

TEST_F(Ldtile, OverlongWordIsAnErrorOfItsLine) {
    const std::string longest(4194304 - 4, '0');
    write("bounds", longest + "1000 6000 0.85 0.99\n");  // a word of 4,194,304 bytes is read
    auto r = ldtile({"-d", "bounds", "-o", "stats"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("block.dat"), "SNP1\tindex\tSNP2\tindex\n1000\t0\t6000\t1\n");

    write("bounds", "1000 6000 0.85 0.99\n\n1000 7000 0.5 " + std::string(4194305, '9') + "\n");
    r = ldtile({"-d", "bounds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "the filename specified is bounds\n");
    EXPECT_EQ(r.err, "ldtile: bounds: line 3: word longer than 4194304 bytes\n");

    // A file without white space ends with the error instead of filling memory.
    if (std::filesystem::exists("/dev/zero")) {
        r = ldtileWithin(1 << 20, {"-d", "/dev/zero"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "ldtile: /dev/zero: line 1: word longer than 4194304 bytes\n");
    }
}

// One record from the first SNP to one 199,991 units away, then a chain of neighbours between:
// a row as wide as the file with a single pair.
std::string wideRowFile() {
    std::string text = "0 199991 0.9 1\n";
    for (int i = 1; i <= 199990; ++i) text += std::to_string(i) + " " + std::to_string(i + 1) + " 0.9 1\n";
    return text;
}

TEST_F(Ldtile, MemoryFollowsTheRecordsNotTheWidestRow) {
    write("bounds", wideRowFile());
    const auto r = ldtileWithin(1 << 20, {"-d", "bounds", "-o", "stats"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // The pair (0, 1) is not in the file: the neighbours from SNP 1 on form blocks of two, each
    // 200 units above the one before.
    EXPECT_EQ(r.out, "the filename specified is bounds\nthe datafile specified is stats\n199991\n"
                     "Total number of blocks: 995\nAverage length of blocks: 1.000\nShortest block: 1\n"
                     "Longest block: 1\nPercent coverage: 0.010\n");
    const std::string blocks = read("block.dat");
    EXPECT_EQ(blocks.rfind("SNP1\tindex\tSNP2\tindex\n1\t1\t2\t2\n202\t202\t203\t203\n403\t403\t404\t404\n", 0), 0u);
    const std::string last = "\n199795\t199795\t199796\t199796\n";
    EXPECT_EQ(blocks.compare(blocks.size() - last.size(), last.size(), last), 0);
    EXPECT_EQ(read("stats"), "0.900\t0.950\t500\tmaxsize\t995\t1.000\t1\t1\t0.010\n");
}

TEST_F(Ldtile, MemoryThatRunsOutIsAnErrorNotAnAbort) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers reserve more address space than the limit";
#endif
    // Three million records need far more than 64 MB.
    const auto r = run({"/bin/sh", "-c",
                        "ulimit -v 65536 && awk 'BEGIN { for (i = 1; i <= 3000000; ++i) print i, i + 1, 0.9, 1 }' 2>/dev/null | "
                        "exec \"$0\" -d /dev/stdin",
                        LDTILE_BIN},
                       {.input = "", .workdir = dir.path().string(), .stdoutPath = ""});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "the filename specified is /dev/stdin\n");
    EXPECT_EQ(r.err, "ldtile: not enough memory for the bounds table\n");
    EXPECT_FALSE(exists("block.dat"));
}

}  // namespace
