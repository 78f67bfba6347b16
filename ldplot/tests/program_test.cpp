// The ldplot program as a user runs it: the picture files, messages and exit statuses, and the
// output left as it was when a run fails.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "process.hpp"
#include "scratch.hpp"
#include "synthetic.hpp"

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::run;
using testsupport::RunResult;
using testsupport::ScratchDir;
using testsupport::writeFile;

const std::vector<std::int32_t> positions = ldplottest::evenlySpaced(12, 10000, 5000);

class Program : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string bounds = dir.file("bounds.txt");
    std::string blocks = dir.file("blocks.dat");

    void SetUp() override {
        writeFile(bounds, ldplottest::boundsFile(positions, [](int a, int b) -> std::optional<ldplottest::Bounds> {
                      if (b - a > 6) return ldplottest::recombination;
                      return ldplottest::strongLd;
                  }));
        // Three blocks in the order they were found.
        writeFile(blocks, ldplottest::blockFile(positions, {{4, 7}, {0, 2}, {9, 11}}));
    }

    RunResult ldplot(std::vector<std::string> args, const testsupport::RunOptions& options = {}) {
        args.insert(args.begin(), LDPLOT_BIN);
        return run(args, options);
    }
    // Files in the scratch folder other than the inputs.
    std::vector<std::string> others() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename().string();
            if (name != "bounds.txt" && name != "blocks.dat") names.push_back(name);
        }
        return names;
    }
};

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

TEST_F(Program, HelpVersionAndUsage) {
    RunResult r = ldplot({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(startsWith(r.out, "Usage: ldplot -d BOUNDS")) << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ldplot({"-h"}).out, r.out);
    r = ldplot({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ldplot " LDTOOLS_VERSION "\n");
    const RunResult bare = ldplot({});
    EXPECT_EQ(bare.status, 1);
    EXPECT_EQ(bare.out, "");
    EXPECT_EQ(bare.err, ldplot({"--help"}).out);
    r = ldplot({"-d", bounds, "-o", dir.file("x.png"), "-w", "50"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ldplot: -w takes a width in pixels from 400 to 10000, not '50' (see ldplot -h)\n");
    EXPECT_TRUE(others().empty());
}

TEST_F(Program, PngSvgAndPdfByExtension) {
    const std::vector<std::pair<std::string, std::string>> formats = {
        {"ld.png", "\x89PNG\r\n\x1a\n"}, {"ld.PDF", "%PDF-"}, {"ld.svg", "<?xml"}};
    for (const auto& [name, signature] : formats) {
        const RunResult r = ldplot({"-d", bounds, "-b", blocks, "-o", dir.file(name)});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out + r.err, "");
        EXPECT_TRUE(startsWith(readFile(dir.file(name)), signature)) << name;
        // The same input gives the same file.
        const std::string again = dir.file("again-" + name);
        ASSERT_EQ(ldplot({"-d", bounds, "-b", blocks, "-o", again}).status, 0);
        EXPECT_EQ(readFile(again), readFile(dir.file(name))) << name;
    }
}

// Block outlines are the only paths stroked in black (in the spellings of cairo's SVG writers).
int blackStrokes(const std::string& svg) {
    int count = 0;
    for (const char* black : {"stroke:rgb(0%,0%,0%)", "stroke=\"rgb(0%, 0%, 0%)\""})
        for (std::size_t at = svg.find(black); at != std::string::npos; at = svg.find(black, at + 1)) ++count;
    return count;
}

TEST_F(Program, SvgIsWellFormedWithOneOutlinePerBlock) {
    ASSERT_EQ(ldplot({"-d", bounds, "-b", blocks, "-o", dir.file("ld.svg")}).status, 0);
    ASSERT_EQ(ldplot({"-d", bounds, "-o", dir.file("none.svg")}).status, 0);
    ASSERT_EQ(ldplot({"-d", bounds, "-b", blocks, "-r", "30000-50000", "-o", dir.file("zoom.svg")}).status, 0);
    EXPECT_EQ(blackStrokes(readFile(dir.file("ld.svg"))), 3);
    EXPECT_EQ(blackStrokes(readFile(dir.file("none.svg"))), 0);
    EXPECT_EQ(blackStrokes(readFile(dir.file("zoom.svg"))), 1);  // SNPs 4 to 8: the block 4-7 only
    if (std::string(XMLLINT).empty()) GTEST_SKIP() << "xmllint not found";
    for (const char* name : {"ld.svg", "none.svg", "zoom.svg"}) {
        const RunResult lint = run({XMLLINT, "--noout", dir.file(name)});
        EXPECT_EQ(lint.status, 0) << name << ": " << lint.err;
    }
}

TEST_F(Program, BoundsFromAPipeAndMapFromGzip) {
    ASSERT_EQ(ldplot({"-d", bounds, "-o", dir.file("file.png")}).status, 0);
    testsupport::RunOptions piped;
    piped.input = readFile(bounds);
    const RunResult r = ldplot({"-d", "/dev/stdin", "-o", dir.file("pipe.png")}, piped);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir.file("pipe.png")), readFile(dir.file("file.png")));

    writeFile(dir.file("map.txt"), "pos\tchr\tcM\n1000\t20\t0\n100000\t20\t0.5\n");
    ASSERT_EQ(run({"/bin/gzip", "-k", dir.file("map.txt")}).status, 0);
    for (const char* map : {"map.txt", "map.txt.gz"}) {
        const RunResult withMap = ldplot({"-d", bounds, "-m", dir.file(map), "-o", dir.file("map.png")});
        EXPECT_EQ(withMap.status, 0) << withMap.err;
    }
    writeFile(dir.file("bad.txt"), "pos\tchr\tcM\n1000\t20\n");
    const RunResult bad = ldplot({"-d", bounds, "-m", dir.file("bad.txt"), "-o", dir.file("bad.png")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "ldplot: " + dir.file("bad.txt") + ": line 2: expected three columns: position, chromosome, cM\n");
    EXPECT_FALSE(fs::exists(dir.file("bad.png")));
}

// A bad bounds file gets the same reason from ldplot as from ldtile.
TEST_F(Program, BoundsFileReasonsAreThoseOfTheBlockFinder) {
    const std::vector<std::string> contents = {
        "1000 2000 0.5\n",                        // cut short
        "1000 2000 0.5 0.9\n1000 x 0.5 0.9\n",    // not a number
        "1000 2000 0.5 0.9\n1000 1500 0.5 0.9\n", // out of order
        "2000 1000 0.5 0.9\n",                    // second not above first
        "1000 2000 0.5 nan\n",
    };
    for (const std::string& content : contents) {
        writeFile(dir.file("bad.txt"), content);
        const RunResult ldtile = run({LDTILE_BIN, "-d", dir.file("bad.txt"), "-f", dir.file("b.dat"), "-o",
                                      dir.file("s.dat")});
        ASSERT_TRUE(startsWith(ldtile.err, "ldtile: ")) << ldtile.err;
        const RunResult r = ldplot({"-d", dir.file("bad.txt"), "-o", dir.file("bad.png")});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "ldplot: " + ldtile.err.substr(8)) << content;
        EXPECT_EQ(r.out, "");
    }
    for (const std::string& name : {dir.file("none.txt"), dir.path().string()}) {
        const RunResult ldtile = run({LDTILE_BIN, "-d", name, "-f", dir.file("b.dat"), "-o", dir.file("s.dat")});
        const RunResult r = ldplot({"-d", name, "-o", dir.file("bad.png")});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "ldplot: " + ldtile.err.substr(8));
    }
    EXPECT_FALSE(fs::exists(dir.file("bad.png")));
}

TEST_F(Program, FailedRunsLeaveTheOutputAsItWas) {
    // A bad block file: the picture that was there stays, and no temporary file remains.
    writeFile(dir.file("ld.png"), "an older picture");
    writeFile(dir.file("blocks2.dat"), "SNP1\tindex\tSNP2\tindex\n10000\t0\t12345\t1\n");
    RunResult r = ldplot({"-d", bounds, "-b", dir.file("blocks2.dat"), "-o", dir.file("ld.png")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ldplot: " + dir.file("blocks2.dat") + ": line 2: position 12345 is not a SNP of " + bounds + "\n");
    EXPECT_EQ(readFile(dir.file("ld.png")), "an older picture");
    EXPECT_EQ(others().size(), 2u);  // ld.png and blocks2.dat

    r = ldplot({"-d", bounds, "-o", dir.file("missing/ld.png")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ldplot: cannot write " + dir.file("missing/ld.png") + ": No such file or directory\n");
    fs::create_directory(dir.file("folder.svg"));
    r = ldplot({"-d", bounds, "-o", dir.file("folder.svg")});
    EXPECT_EQ(r.err, "ldplot: cannot write " + dir.file("folder.svg") + ": Is a directory\n");
    if (fs::exists("/dev/full")) {
        fs::create_symlink("/dev/full", dir.file("full.png"));
        fs::create_symlink("/dev/full", dir.file("full.pdf"));
        for (const char* name : {"full.png", "full.pdf"}) {
            r = ldplot({"-d", bounds, "-o", dir.file(name)});
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, "ldplot: cannot write " + dir.file(name) + ": No space left on device\n");
        }
    }

    // The picture must not replace an input.
    fs::copy_file(bounds, dir.file("bounds.png"));
    r = ldplot({"-d", dir.file("bounds.png"), "-o", dir.file("./bounds.png")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ldplot: the picture " + dir.file("./bounds.png") + " would replace the input file " +
                         dir.file("bounds.png") + "\n");
    EXPECT_EQ(readFile(dir.file("bounds.png")), readFile(bounds));
}

TEST_F(Program, EmptyBoundsFileAndRangeWithoutSnpsStillDraw) {
    writeFile(dir.file("empty.txt"), "");
    RunResult r = ldplot({"-d", dir.file("empty.txt"), "-o", dir.file("empty.png")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(startsWith(readFile(dir.file("empty.png")), "\x89PNG"));
    r = ldplot({"-d", bounds, "-b", blocks, "-r", "1-2", "-o", dir.file("none.png")});
    EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace
