// packbounds as the pipeline and the workflow run it: records in, the indexed form and its index
// out (checked with gzip and tabix), the records passed on unchanged, and its refusals.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "process.hpp"
#include "scratch.hpp"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const std::string kHeader = "#chrom\tpos1\tpos2\tlower\tupper\n";

class Packbounds : public ::testing::Test {
protected:
    testsupport::RunResult pack(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), PACKBOUNDS_BIN);
        return testsupport::run(args, {.input = input, .workdir = dir.path().string(), .stdoutPath = ""});
    }
    std::string shell(const std::string& command) {
        return testsupport::run({"/bin/sh", "-c", command}, {.input = "", .workdir = dir.path().string(), .stdoutPath = ""})
            .out;
    }
    testsupport::ScratchDir dir;
};

TEST_F(Packbounds, InputsInTurnBecomeOneIndexedFileAndPassOnUnchanged) {
    // linkstat -D's records, and the same words in other spacing.
    writeFile(dir.file("a.txt"), "100\t200\t\t0.350\t0.990\n100\t300\t\t0.62\t1\n");
    writeFile(dir.file("b.txt"), "250 300 0.980 1.000\n\n300\n450 0 0.5\n");
    const auto result = pack({"-p", "-c", "chr7", "-o", "out.tsv.gz", "a.txt", "-", "b.txt"},
                             "200\t260\t\t0.10\t0.20\n");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out,
              "100\t200\t\t0.350\t0.990\n100\t300\t\t0.62\t1\n200\t260\t\t0.10\t0.20\n250\t300\t\t0.980\t1.000\n"
              "300\t450\t\t0\t0.5\n");
    EXPECT_EQ(shell("gzip -dc out.tsv.gz"), kHeader +
                                                "chr7\t100\t200\t0.350\t0.990\nchr7\t100\t300\t0.62\t1\n"
                                                "chr7\t200\t260\t0.10\t0.20\nchr7\t250\t300\t0.980\t1.000\n"
                                                "chr7\t300\t450\t0\t0.5\n");
    EXPECT_EQ(shell("tabix out.tsv.gz chr7:255-280"), "chr7\t100\t300\t0.62\t1\nchr7\t200\t260\t0.10\t0.20\n"
                                                     "chr7\t250\t300\t0.980\t1.000\n");
    EXPECT_EQ(shell("tabix -l out.tsv.gz"), "chr7\n");
    // The indexed form is an input too; written again it is the same file.
    ASSERT_EQ(pack({"-c", "chr7", "-o", "again.tsv.gz", "out.tsv.gz"}).status, 0);
    EXPECT_EQ(readFile(dir.file("again.tsv.gz")), readFile(dir.file("out.tsv.gz")));
    // Positions written otherwise (a leading zero, a sign) are stored as plain numbers, so that the
    // index files them where a region finds them (it would read "0610" as octal 392), and passed on
    // as they were.
    writeFile(dir.file("zeros.txt"), "0100 0610 0.5 1\n+100 700 0.5 1\n");
    const auto zeros = pack({"-p", "-c", "c1", "-o", "zeros.tsv.gz", "zeros.txt"});
    ASSERT_EQ(zeros.status, 0) << zeros.err;
    EXPECT_EQ(zeros.out, "0100\t0610\t\t0.5\t1\n+100\t700\t\t0.5\t1\n");
    EXPECT_EQ(shell("tabix zeros.tsv.gz c1:610-610"), "c1\t100\t610\t0.5\t1\nc1\t100\t700\t0.5\t1\n");
    EXPECT_EQ(shell("tabix zeros.tsv.gz c1:650-650"), "c1\t100\t700\t0.5\t1\n");
    // No records: the header alone, with an index.
    ASSERT_EQ(pack({"-c", "1", "-o", "empty.tsv.gz"}, "").status, 0);
    EXPECT_EQ(shell("gzip -dc empty.tsv.gz"), kHeader);
    EXPECT_TRUE(fs::exists(dir.file("empty.tsv.gz.tbi")));
}

TEST_F(Packbounds, RefusalsLeaveTheOldFileAndIndex) {
    writeFile(dir.file("a.txt"), "100 200 0.1 0.2\n100 300 0.1 0.2\n");
    writeFile(dir.file("back.txt"), "100 250 0.1 0.2\n");
    writeFile(dir.file("zero.txt"), "0 250 0.1 0.2\n");
    ASSERT_EQ(pack({"-c", "7", "-o", "out.tsv.gz", "a.txt"}).status, 0);
    const std::string before = readFile(dir.file("out.tsv.gz"));
    const std::string index = readFile(dir.file("out.tsv.gz.tbi"));
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"-c", "7", "-o", "out.tsv.gz", "a.txt", "back.txt"},
         "packbounds: the records of back.txt do not go on after those of a.txt (100 250 after 100 300)\n"},
        {{"-c", "8", "-o", "out.tsv.gz", "out.tsv.gz"}, "packbounds: the output out.tsv.gz would replace the input file out.tsv.gz\n"},
        {{"-c", "8", "-o", "new.tsv.gz", "out.tsv.gz"},
         "packbounds: out.tsv.gz holds the records of chromosome 7, not 8\n"},
        {{"-c", "7", "-o", "out.tsv.gz", "zero.txt"},
         "packbounds: cannot write out.tsv.gz: position 0 lies below 1, where the index's positions begin\n"},
        {{"-c", "7", "-o", "out.tsv.gz", "none.txt"},
         "packbounds: cannot open bounds file none.txt: No such file or directory\n"},
        {{"-c", "#7", "-o", "out.tsv.gz", "a.txt"},
         "packbounds: -c takes a chromosome name without white space that does not begin with '#', not '#7' "
         "(see packbounds -h)\n"},
        {{"-o", "out.tsv.gz", "a.txt"}, "packbounds: -c CHROM is required (see packbounds -h)\n"},
        {{"-c", "7", "-o", "/dev/null", "a.txt"},
         "packbounds: cannot write /dev/null: not a regular file in a writable folder, which its index needs\n"},
    };
    for (const Case& c : cases) {
        const auto result = pack(c.args);
        EXPECT_EQ(result.err, c.message);
        EXPECT_EQ(result.status, 1) << c.message;
    }
    EXPECT_EQ(readFile(dir.file("out.tsv.gz")), before);
    EXPECT_EQ(readFile(dir.file("out.tsv.gz.tbi")), index);
    EXPECT_FALSE(fs::exists(dir.file("new.tsv.gz")));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "back.txt", "out.tsv.gz", "out.tsv.gz.tbi", "zero.txt"}));
}

}  // namespace
