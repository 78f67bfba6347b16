// Reading ldplot's inputs: the command line, the block file, the genetic map, and the distinct
// positions of a bounds file.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "blocks.hpp"
#include "error.hpp"
#include "geneticmap.hpp"
#include "lines.hpp"
#include "options.hpp"
#include "pairs.hpp"
#include "scratch.hpp"

namespace ldplot {
namespace {

using testsupport::ScratchDir;
using testsupport::writeFile;

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ldtools::Error& error) {
        EXPECT_EQ(error.status(), 1);
        return error.what();
    }
    return "(no error)";
}

TEST(CommandLine, ShortLongAndAttachedForms) {
    const CommandLine c = parseCommandLine({"-d", "b.txt", "--blocks=k.dat", "-mmap.gz", "--region", "100-200", "-w800",
                                            "--color", "upper", "--output", "x.SVG"});
    EXPECT_EQ(c.action, CommandLine::Action::run);
    EXPECT_EQ(c.options.bounds, "b.txt");
    EXPECT_EQ(c.options.blocks, "k.dat");
    EXPECT_EQ(c.options.map, "map.gz");
    EXPECT_TRUE(c.options.hasRange);
    EXPECT_EQ(c.options.from, 100);
    EXPECT_EQ(c.options.to, 200);
    EXPECT_EQ(c.options.width, 800);
    EXPECT_EQ(c.options.colouring, Colouring::upper);
    EXPECT_EQ(c.options.format, PictureFormat::svg);

    const CommandLine d = parseCommandLine({"-o", "-x.pdf", "-d", "-", "-c", "lower", "-r", "7-7"});
    EXPECT_EQ(d.options.output, "-x.pdf");
    EXPECT_EQ(d.options.format, PictureFormat::pdf);
    EXPECT_EQ(d.options.bounds, "-");
    EXPECT_EQ(d.options.width, 1600);
    EXPECT_EQ(d.options.from, 7);
    EXPECT_EQ(parseCommandLine({"-d", "b", "-o", "p.Png"}).options.format, PictureFormat::png);
    EXPECT_FALSE(parseCommandLine({"-d", "b", "-o", "p.png"}).options.hasRange);

    EXPECT_EQ(parseCommandLine({"-d", "b", "--help"}).action, CommandLine::Action::help);
    EXPECT_EQ(parseCommandLine({"-h", "--bogus"}).action, CommandLine::Action::help);
    EXPECT_EQ(parseCommandLine({"--version"}).action, CommandLine::Action::version);
}

TEST(CommandLine, MistakesAreNamed) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-o", "x.png"}, "-d BOUNDS is required"},
        {{"-d", "b"}, "-o OUT is required"},
        {{"-d"}, "-d needs a value"},
        {{"-d", "b", "-d", "c", "-o", "x.png"}, "-d is given twice"},
        {{"--colour", "class", "-c", "lower"}, "-c is given twice"},
        {{"-q"}, "unknown option -q"},
        {{"-hx"}, "unknown option -hx"},
        {{"--width"}, "-w needs a value"},
        {{"--widths=3"}, "unknown option --widths"},
        {{"--help=3"}, "--help takes no value"},
        {{"-d", "b", "bounds2.txt"}, "unexpected argument 'bounds2.txt'"},
        {{"-d", ""}, "the file name of -d is empty"},
        {{"-w", "399"}, "-w takes a width in pixels from 400 to 10000, not '399'"},
        {{"-w", "10001"}, "-w takes a width in pixels from 400 to 10000, not '10001'"},
        {{"-w", "12px"}, "-w takes a width in pixels from 400 to 10000, not '12px'"},
        {{"-c", "Class"}, "-c takes class, lower or upper, not 'Class'"},
        {{"-r", "200-100"}, "-r takes FROM-TO, two positions with FROM not above TO, not '200-100'"},
        {{"-r", "100"}, "-r takes FROM-TO, two positions with FROM not above TO, not '100'"},
        {{"-r", "+1-5"}, "-r takes FROM-TO, two positions with FROM not above TO, not '+1-5'"},
        {{"-r", "1-99999999999"}, "-r takes FROM-TO, two positions with FROM not above TO, not '1-99999999999'"},
    };
    for (const auto& [args, message] : cases)
        EXPECT_EQ(errorOf([&] { parseCommandLine(args); }), "ldplot: " + message + " (see ldplot -h)\n")
            << args.front();
    for (const char* name : {"x.gif", "x", "png", "dir.png/x", "x.png.bak", "x."})
        EXPECT_EQ(errorOf([&] { parseCommandLine({"-d", "b", "-o", name}); }),
                  std::string("ldplot: cannot tell the picture type of ") + name +
                      ": name the output .png, .svg or .pdf\n");
}

// SNPs 100, 200, 300, 400 (indices 0 to 3).
const std::vector<std::int32_t> fourSnps = {100, 200, 300, 400};

TEST(BlockFile, SortedOrNotWithBlankLines) {
    ScratchDir dir;
    writeFile(dir.file("blocks"), "SNP1\tindex\tSNP2\tindex\r\n300\t2\t400\t3\n\n  \n100 0 200 1\r\n");
    const std::vector<Block> blocks = readBlockFile(dir.file("blocks"), fourSnps, "b.txt");
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].first, 2u);
    EXPECT_EQ(blocks[0].last, 3u);
    EXPECT_EQ(blocks[1].firstPosition, 100);
    EXPECT_EQ(blocks[1].lastPosition, 200);
    writeFile(dir.file("header"), "SNP1\tindex\tSNP2\tindex\n");
    EXPECT_TRUE(readBlockFile(dir.file("header"), fourSnps, "b.txt").empty());
}

TEST(BlockFile, ProblemsNameFileAndLine) {
    ScratchDir dir;
    const std::string header = "SNP1\tindex\tSNP2\tindex\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "line 1: expected the header line SNP1 index SNP2 index"},
        {"100\t0\t200\t1\n", "line 1: expected the header line SNP1 index SNP2 index"},
        {header + "100 0 200\n", "line 2: expected four whole numbers: first position, index, last position, index"},
        {header + "100 0 200 1 5\n", "line 2: expected four whole numbers: first position, index, last position, index"},
        {header + "100 0 200 1.0\n", "line 2: expected four whole numbers: first position, index, last position, index"},
        {header + "100 0 200 1\n\n300 2 300 2\n", "line 4: the last position of a block must lie above its first"},
        {header + "100 0 250 1\n", "line 2: position 250 is not a SNP of b.txt"},
        {header + "100 0 200 2\n", "line 2: position 200 is SNP 1 of b.txt, not SNP 2"},
        {header + "100 -1 200 1\n", "line 2: position 100 is SNP 0 of b.txt, not SNP -1"},
        {header + "1" + std::string(LineReader::kMaxLength, '0') + "\n",
         "line 2: line longer than 1048576 bytes"},
    };
    for (const auto& [content, message] : cases) {
        writeFile(dir.file("blocks"), content);
        EXPECT_EQ(errorOf([&] { readBlockFile(dir.file("blocks"), fourSnps, "b.txt"); }),
                  "ldplot: " + dir.file("blocks") + ": " + message + "\n");
    }
    EXPECT_EQ(errorOf([&] { readBlockFile(dir.file("none"), fourSnps, "b.txt"); }),
              "ldplot: cannot open block file " + dir.file("none") + ": No such file or directory\n");
    EXPECT_EQ(errorOf([&] { readBlockFile(dir.path().string(), fourSnps, "b.txt"); }),
              "ldplot: cannot open block file " + dir.path().string() + ": Is a directory\n");
}

void writeGzip(const std::string& name, const std::string& content) {
    gzFile file = gzopen(name.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(gzwrite(file, content.data(), static_cast<unsigned>(content.size())), static_cast<int>(content.size()));
    ASSERT_EQ(gzclose(file), Z_OK);
}

TEST(GeneticMap, InterpolatedBetweenPointsPlainOrGzip) {
    ScratchDir dir;
    const std::string map = "pos\tchr\tcM\n100\t20\t1.0\n200\t20\t2.0\n\n300 20 2.5\n";
    writeFile(dir.file("map.txt"), map);
    writeGzip(dir.file("map.gz"), map);
    const std::vector<double> at = {50, 99.5, 100, 150, 200, 250, 300, 300.5, 400};
    for (const char* name : {"map.txt", "map.gz"}) {
        const std::vector<double> cm = geneticPositions(dir.file(name), at);
        ASSERT_EQ(cm.size(), at.size());
        EXPECT_TRUE(std::isnan(cm[0]) && std::isnan(cm[1])) << name;
        EXPECT_DOUBLE_EQ(cm[2], 1.0);
        EXPECT_DOUBLE_EQ(cm[3], 1.5);
        EXPECT_DOUBLE_EQ(cm[4], 2.0);
        EXPECT_DOUBLE_EQ(cm[5], 2.25);
        EXPECT_DOUBLE_EQ(cm[6], 2.5);
        EXPECT_TRUE(std::isnan(cm[7]) && std::isnan(cm[8])) << name;
    }
    // A header alone: nothing is known.
    writeFile(dir.file("empty.txt"), "pos chr cM\n");
    EXPECT_TRUE(std::isnan(geneticPositions(dir.file("empty.txt"), {100})[0]));
}

TEST(GeneticMap, ProblemsNameFileAndLine) {
    ScratchDir dir;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "line 1: expected the header line pos chr cM"},
        {"100 20 1.0\n200 20 2.0\n", "line 1: expected the header line pos chr cM"},
        {"pos cM\n", "line 1: expected the header line pos chr cM"},
        {"pos chr cM\n100 20\n", "line 2: expected three columns: position, chromosome, cM"},
        {"pos chr cM\n100 20 x\n", "line 2: expected three columns: position, chromosome, cM"},
        {"pos chr cM\n100.5 20 1\n", "line 2: expected three columns: position, chromosome, cM"},
        {"pos chr cM\n100 20 inf\n", "line 2: expected three columns: position, chromosome, cM"},
        {"pos chr cM\n100 20 1\n100 20 1\n", "line 3: position 100 does not lie above 100, the position before it"},
        {"pos chr cM\n100 20 1\n200 20 0.5\n", "line 3: the genetic position (cM) decreases"},
        {"pos chr cM\n100 20 1\n\n50 21 0\n", "line 4: chromosome 21 after 20: the map must hold one chromosome"},
        // Bytes of the file quoted in a message cannot cut it short or garble the terminal.
        {std::string("pos chr cM\n100 20 1\n200 2\0\x1b 2\n", 30),
         "line 3: chromosome 2\\x00\\x1b after 20: the map must hold one chromosome"},
    };
    for (const auto& [content, message] : cases) {
        writeGzip(dir.file("map.gz"), content);
        EXPECT_EQ(errorOf([&] { geneticPositions(dir.file("map.gz"), {150}); }),
                  "ldplot: " + dir.file("map.gz") + ": " + message + "\n");
    }
    EXPECT_EQ(errorOf([&] { geneticPositions(dir.file("none.gz"), {}); }),
              "ldplot: cannot open genetic map " + dir.file("none.gz") + ": No such file or directory\n");
    EXPECT_EQ(errorOf([&] { geneticPositions(dir.path().string(), {}); }),
              "ldplot: cannot open genetic map " + dir.path().string() + ": Is a directory\n");
    // A gzip file cut short is a read error, not a shorter map.
    std::string whole = "pos chr cM\n";
    for (int k = 1; k < 5000; ++k) whole += std::to_string(k * 100) + " 20 " + std::to_string(k) + "\n";
    writeGzip(dir.file("whole.gz"), whole);
    const std::string packed = testsupport::readFile(dir.file("whole.gz"));
    writeFile(dir.file("cut.gz"), packed.substr(0, packed.size() / 2));
    EXPECT_EQ(errorOf([&] { geneticPositions(dir.file("cut.gz"), {}); }),
              "ldplot: cannot read genetic map " + dir.file("cut.gz") + ": unexpected end of file\n");
}

TEST(Positions, EveryDistinctPositionOnceInOrder) {
    // Groups in ascending order of their first position, seconds ascending within a group, many
    // of them new, repeated or far ahead: enough to merge several times.
    std::mt19937 random(20);
    std::set<std::int32_t> expected;
    PositionSet positions;
    std::int32_t first = 0;
    for (int group = 0; group < 400; ++group) {
        first += 1 + static_cast<std::int32_t>(random() % 500);
        expected.insert(first);
        std::set<std::int32_t> seconds;
        const int count = 1 + static_cast<int>(random() % 600);
        for (int k = 0; k < count; ++k) seconds.insert(first + 1 + static_cast<std::int32_t>(random() % 400000));
        for (std::int32_t second : seconds) {
            positions.add(first, second);
            expected.insert(second);
        }
    }
    EXPECT_EQ(positions.take(), std::vector<std::int32_t>(expected.begin(), expected.end()));
}

// Pairs kept for drawing come back as they went in, in the same order, whether kept with their
// class or with a bound: runs of one pair or many, distances from 1 to the last one inside the
// window, first positions up to where the second still fits in 32 bits.
TEST(KeptPairs, EveryPairComesBackAsAdded) {
    std::mt19937 random(25);
    std::vector<std::pair<std::int32_t, std::int32_t>> positions;
    std::int32_t first = 0;
    for (int run = 0; run < 300; ++run) {
        first += 1 + static_cast<std::int32_t>(random() % 1000);
        if (run == 299) first = std::numeric_limits<std::int32_t>::max() - kPairWindow;
        std::set<std::int32_t> distances{kPairWindow - 1};
        if (run % 3 != 0)
            for (int k = 0; k < 50; ++k) distances.insert(1 + static_cast<std::int32_t>(random() % (kPairWindow - 1)));
        for (std::int32_t distance : distances) positions.emplace_back(first, first + distance);
    }
    for (const bool classes : {true, false}) {
        std::vector<KeptPair> added;
        for (const auto& [a, b] : positions) {
            const float value = classes ? static_cast<float>(random() % kPairClassCount)
                                        : static_cast<float>(random() % 1000001) / 1e6f;
            added.push_back({a, b, value});
        }
        KeptPairs kept;
        kept.reserve(added.size(), classes);
        for (const KeptPair& pair : added) kept.add(pair);
        ASSERT_EQ(kept.size(), added.size());
        std::size_t k = 0;
        kept.forEach([&](const KeptPair& pair) {
            ASSERT_LT(k, added.size());
            EXPECT_EQ(pair.first, added[k].first) << k;
            EXPECT_EQ(pair.second, added[k].second) << k;
            EXPECT_EQ(pair.value, added[k].value) << k;
            ++k;
        });
        EXPECT_EQ(k, added.size()) << "classes " << classes;
    }
}

}  // namespace
}  // namespace ldplot
