// sortblocks against the shell commands it replaces ({ head -n 1 F; tail -n +2 F | LC_ALL=C sort
// -n -k1,1; }): the same bytes for block files and for any other text; and its command line.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "process.hpp"
#include "scratch.hpp"

namespace {

using testsupport::readFile;
using testsupport::run;
using testsupport::ScratchDir;
using testsupport::writeFile;

const std::string kHeader = "SNP1\tindex\tSNP2\tindex\n";

std::string shellSort(const std::string& file) {
    const auto result =
        run({"/bin/sh", "-c", "{ head -n 1 \"$1\"; tail -n +2 \"$1\" | LC_ALL=C sort -n -k1,1; }", "sh", file});
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
}

// Both ways on content: to standard output, and with -o.
void expectSameAsShell(const std::string& content, const std::string& what) {
    ScratchDir dir;
    writeFile(dir.file("blocks.dat"), content);
    const std::string expected = shellSort(dir.file("blocks.dat"));
    const auto printed = run({SORTBLOCKS_BIN, dir.file("blocks.dat")});
    EXPECT_EQ(printed.status, 0) << what << ": " << printed.err;
    EXPECT_EQ(printed.out, expected) << what;
    const auto written = run({SORTBLOCKS_BIN, "-o", dir.file("sorted.dat"), dir.file("blocks.dat")});
    EXPECT_EQ(written.status, 0) << what << ": " << written.err;
    EXPECT_EQ(readFile(dir.file("sorted.dat")), expected) << what;
}

TEST(SortBlocks, BlockFilesOfLdtile) {
    expectSameAsShell(kHeader, "header only");
    expectSameAsShell("SNP1\tindex\tSNP2\tindex", "header without a line break");
    expectSameAsShell("", "empty file");
    expectSameAsShell(kHeader + "1263359\t40\t1273711\t49\n1000\t0\t1200\t2\n99999\t7\t100400\t9\n50\t3\t70\t4\n",
                      "blocks in search order");
    expectSameAsShell(kHeader + "300\t2\t400\t3\n100\t0\t200\t1", "last line without a line break");
    expectSameAsShell(kHeader + "300\t2\t400\t3\r\n100\t0\t200\t1\r\n", "CRLF line ends");
}

TEST(SortBlocks, TiesAndLinesThatAreNotBlocks) {
    // Equal keys fall back to the bytes of the whole line; lines without a number count as 0.
    expectSameAsShell(kHeader +
                          "100 b\n100 a\n0100 a\n100.0 a\n100.00\n100\n100.5\n100.50 x\n1e3\n99.999\n"
                          "-5\n-05.0 y\n-\n-0\n-.5\n-0.5\n.5\n0.5\n0\n\nabc\n+7\n+7 \n  8\n\t8\n\t 8 x\n\r9\n"
                          "12abc\n12\x01\n12\xff\n12\x7f\n1.2.3\n1..5\n-1.2.3\n 00000000000000000000000000000000001\n"
                          "123456789012345678901234567890\n123456789012345678901234567891\n99999999999999999999\n"
                          "-123456789012345678901234567890\n-99999999999999999999\n",
                      "ties and odd lines");
    expectSameAsShell(kHeader + std::string("5\0a\n5\0b\n5\n\0\n\0", 13), "NUL bytes");
    expectSameAsShell("\n\n3\n1\n2\n", "an empty first line");
}

TEST(SortBlocks, RandomTextIsOrderedLikeTheShell) {
    std::mt19937 random(2024);
    const std::vector<std::string> pieces = {"0", "1", "9", "00", "12", "012", "-", ".", "5.", ".5", "-3", "+", " ",
                                             "\t", "a", "Z", "\xe9", "\r", "1e5", "0.0", "-0", "7", "77"};
    for (int round = 0; round < 40; ++round) {
        std::string content = kHeader;
        const int lines = static_cast<int>(random() % 60);
        for (int line = 0; line < lines; ++line) {
            const int length = static_cast<int>(random() % 6);
            for (int k = 0; k < length; ++k) content += pieces[random() % pieces.size()];
            content += '\n';
        }
        if (random() % 4 == 0 && content.back() == '\n') content.pop_back();
        expectSameAsShell(content, "random round " + std::to_string(round));
    }
}

TEST(SortBlocks, StandardInputAndTheInputAsOutput) {
    ScratchDir dir;
    const std::string blocks = kHeader + "300\t2\t400\t3\n100\t0\t200\t1\n";
    const std::string sorted = kHeader + "100\t0\t200\t1\n300\t2\t400\t3\n";
    const auto piped = run({SORTBLOCKS_BIN, "-"}, {.input = blocks, .workdir = "", .stdoutPath = ""});
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, sorted);
    writeFile(dir.file("b"), blocks);
    ASSERT_EQ(run({SORTBLOCKS_BIN, "--output=" + dir.file("b"), dir.file("b")}).status, 0);
    EXPECT_EQ(readFile(dir.file("b")), sorted);
}

TEST(SortBlocks, CommandLineAndErrors) {
    ScratchDir dir;
    const auto bare = run({SORTBLOCKS_BIN});
    EXPECT_EQ(bare.status, 1);
    EXPECT_EQ(bare.err.rfind("Usage: sortblocks [-o OUTPUT] BLOCKS\n", 0), 0u) << bare.err;
    const auto help = run({SORTBLOCKS_BIN, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, bare.err);
    EXPECT_EQ(run({SORTBLOCKS_BIN, "--version"}).out, "sortblocks " LDTOOLS_VERSION "\n");

    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-q", "b"}, "sortblocks: unknown option -q (see sortblocks -h)\n"},
        {{"-o"}, "sortblocks: -o needs a value (see sortblocks -h)\n"},
        {{"-o", "", "b"}, "sortblocks: the file name of -o is empty (see sortblocks -h)\n"},
        {{"a", "b"}, "sortblocks: expected one block file (see sortblocks -h)\n"},
        {{"-o", "x"}, "sortblocks: expected one block file (see sortblocks -h)\n"},
        {{""}, "sortblocks: the name of the block file is empty (see sortblocks -h)\n"},
        {{dir.file("none")}, "sortblocks: cannot open " + dir.file("none") + ": No such file or directory\n"},
        {{dir.path().string()}, "sortblocks: cannot open " + dir.path().string() + ": Is a directory\n"},
    };
    for (const auto& [args, message] : cases) {
        std::vector<std::string> argv = {SORTBLOCKS_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto result = run(argv);
        EXPECT_EQ(result.status, 1) << message;
        EXPECT_EQ(result.err, message);
        EXPECT_EQ(result.out, "");
    }

    // A failed run leaves the output as it was.
    writeFile(dir.file("b"), kHeader + "2 0 3 1\n");
    writeFile(dir.file("out"), "old\n");
    if (::geteuid() != 0) {  // the superuser reads any file
        ::chmod(dir.file("b").c_str(), 0);
        const auto unreadable = run({SORTBLOCKS_BIN, "-o", dir.file("out"), dir.file("b")});
        EXPECT_EQ(unreadable.status, 1);
        EXPECT_EQ(unreadable.err, "sortblocks: cannot open " + dir.file("b") + ": Permission denied\n");
        ::chmod(dir.file("b").c_str(), 0644);
    }
    const auto full = run({SORTBLOCKS_BIN, "-o", "/dev/full", dir.file("b")});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "sortblocks: cannot write /dev/full: No space left on device\n");
    const auto folder = run({SORTBLOCKS_BIN, "-o", dir.path().string(), dir.file("b")});
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.err.rfind("sortblocks: cannot write " + dir.path().string() + ": ", 0), 0u) << folder.err;
    EXPECT_EQ(readFile(dir.file("out")), "old\n");
}

}  // namespace
