// The program as a user runs it: options, marker sets, report lines, every failure message and status.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bounds.hpp"
#include "linkstat.hpp"
#include "process.hpp"
#include "scratch.hpp"

namespace {

using namespace linkstat;
using testsupport::RunResult;
using testsupport::ScratchDir;

const std::string kNeedInput = "\n\nNeed an Input File\nExiting Now......\n\n";
const std::string kEmptyTail = "0 0 0 0 0 0 0 1\n";

RunResult linkstat(std::vector<std::string> args, const testsupport::RunOptions& options = {}) {
    args.insert(args.begin(), LINKSTAT_BIN);
    return testsupport::run(args, options);
}

std::string marker(const std::string& position, const std::string& alleles, const std::string& ratio = "36") {
    return position + "\t600\t" + ratio + "\t" + alleles + "\n";
}

std::string repeat(const std::string& unit, int times) {
    std::string s;
    for (int k = 0; k < times; ++k) s += unit;
    return s;
}

// Ten individuals homozygous for one allele at both markers and ten for the other: complete linkage.
const std::string kLinkedA = repeat("AA", 10) + repeat("CC", 10);
const std::string kLinkedB = repeat("GG", 10) + repeat("TT", 10);
// Two markers with five double heterozygotes: the three counting modes give different results.
const std::string kPhasedA = repeat("AA", 5) + repeat("AC", 5);
const std::string kPhasedB = repeat("GG", 5) + repeat("GT", 5);

class Cli : public testing::Test {
protected:
    std::string input(const std::string& content, const std::string& name = "markers.txt") {
        const std::string path = dir.file(name);
        testsupport::writeFile(path, content);
        return "-I" + path;
    }
    ScratchDir dir;
};

void expectFailure(const RunResult& r, const std::string& err, const std::string& out = "") {
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, err);
    EXPECT_EQ(r.out, out);
}

TEST_F(Cli, InputIsRequiredAndMustBeAReadableFile) {
    expectFailure(linkstat({"-P", "-H", "-Ofoo"}), kNeedInput);
    const std::string file = input(marker("1", "AC"));
    // a bare -I at the end has no value: the name is empty
    expectFailure(linkstat({"-P", "-I"}), "\n\nCannot Access Input File \nExiting Now......\n\n");
    expectFailure(linkstat({"-I" + dir.file("missing")}),
                  "\n\nCannot Access Input File " + dir.file("missing") + "\nExiting Now......\n\n");
    expectFailure(linkstat({"-I" + dir.path().string()}),
                  "\n\nCannot Access Input File " + dir.path().string() + "\nExiting Now......\n\n");
    // the input is checked before the output is created
    linkstat({"-I" + dir.file("missing"), "-O" + dir.file("never.txt")});
    EXPECT_FALSE(std::filesystem::exists(dir.file("never.txt")));
    const std::string badOutput = dir.file("no/such/folder.txt");
    expectFailure(linkstat({file, "-O" + badOutput}),
                  "\n\nCannot Access Output File " + badOutput + "\nExiting Now......\n\n");
}

// A bare -I or -O takes the next argument as its value; a bare -R stays empty.
TEST_F(Cli, BareInputAndOutputOptionsTakeTheNextArgument) {
    const std::string file = input(marker("100", kLinkedA) + marker("150", kLinkedB));
    const std::string out = dir.file("out.txt");
    const RunResult r = linkstat({"-P", "-I", file.substr(2), "-O", out});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(testsupport::readFile(out), "100\t150\t\t0.850\t1.000\n");
    EXPECT_EQ(linkstat({"-O", "-I" + file.substr(2)}).err, kNeedInput);  // "-I..." was the output's name
    const std::string withN = input(marker("1", "ANAC") + marker("2", "GGTT"), "n.txt");
    EXPECT_EQ(linkstat({withN, "-RN"}).status, 0);
    expectFailure(linkstat({withN, "-R", "N"}), "\n\nMore Than Two Alleles ANAC\nExiting Now....\n\n\n");
}

TEST_F(Cli, HelpAndVersion) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, {"-P", "--help", "-Imissing"}}) {
        const RunResult help = linkstat(args);
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.err, "");
        EXPECT_EQ(help.out, usageText());
    }
    EXPECT_EQ(usageText().rfind("Usage: linkstat -Ifile", 0), 0u);
    const RunResult version = linkstat({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "linkstat " LDTOOLS_VERSION "\n");
    // options are read from left to right: an error before --help is reported
    expectFailure(linkstat({"-R" + std::string(105, 'x'), "--help"}), "\n\nOption Value Too Long -R\nExiting Now......\n\n");
    // -h and other spellings are letters the program ignores
    const std::string file = input(marker("100", kLinkedA) + marker("150", kLinkedB));
    EXPECT_EQ(linkstat({file, "-h", "--helpme", "-version"}).out, linkstat({file}).out);
    expectFailure(linkstat({"-h"}), kNeedInput);
    const RunResult full = linkstat({"--version"}, {.input = "", .workdir = "", .stdoutPath = "/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "\n\nCannot Write Output File stdout\nExiting Now......\n\n");
}

// Within a marker set positions may repeat but not fall.
TEST_F(Cli, PositionsOutOfOrderAreRefused) {
    const std::string ordered = marker("100", kLinkedA) + marker("100", kLinkedB) + marker("150.5", kLinkedB);
    const RunResult r = linkstat({input(ordered + "\n" + marker("20", kLinkedA) + marker("150", kLinkedB)), "-P"});
    EXPECT_EQ(r.status, 0);  // ties, and a new set that starts lower
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4);
    const std::string falling = input(ordered + "\n" + marker("300", kLinkedA) + marker("299.5", kLinkedB), "f.txt");
    expectFailure(linkstat({falling, "-P"}),
                  "\n\nError in File " + falling.substr(2) + " at Line 6\nPosition Out Of Order\nExiting Now....\n\n\n",
                  linkstat({input(ordered, "o.txt"), "-P"}).out);
    // a bad position is reported as such; a falling one before a wrong number of chromosomes
    const std::string bad = input(marker("300", kLinkedA) + marker("-1", kLinkedB), "b.txt");
    expectFailure(linkstat({bad}), "\n\nError in File " + bad.substr(2) + " at Line 2\nBad Position\nExiting Now....\n\n\n");
    const std::string both = input(marker("300", kLinkedA) + marker("200", "AC"), "w.txt");
    expectFailure(linkstat({both}),
                  "\n\nError in File " + both.substr(2) + " at Line 2\nPosition Out Of Order\nExiting Now....\n\n\n");
}

TEST_F(Cli, UnknownArgumentsAreIgnoredAndOnlyTheLetterCounts) {
    const std::string file = input(marker("1000", kLinkedA) + marker("2500", kLinkedB));
    const RunResult plain = linkstat({file, "-P"});
    ASSERT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out, "1000\t2500\t\t0.850\t1.000\n");
    EXPECT_EQ(plain.err, "");
    const RunResult noisy = linkstat({"-x", "-Z", "foo", file, "-C", "-", "-Pxyz", "-e"});
    EXPECT_EQ(noisy.status, 0);
    EXPECT_EQ(noisy.out, plain.out);
}

TEST_F(Cli, WorkedExampleGivesTheSameBoundsInEveryMode) {
    const std::string file = input(marker("1000.5", kLinkedA) + marker("2500", kLinkedB));
    for (const char* mode : {"-E", "-K", "-A"}) EXPECT_EQ(linkstat({file, mode}).out, "1499\t\t0.850\t1.000\n");
}

TEST_F(Cli, LastModeOptionDecides) {
    const std::string file = input(marker("10", kPhasedA) + marker("20", kPhasedB));
    const std::string em = linkstat({file}).out, known = linkstat({file, "-K"}).out, act = linkstat({file, "-A"}).out;
    EXPECT_EQ(known, "10\t" + kEmptyTail);  // the double heterozygotes are left out: one haplotype only
    EXPECT_NE(em, known);
    EXPECT_NE(em, act);
    EXPECT_EQ(linkstat({file, "-A", "-E"}).out, em);
    EXPECT_EQ(linkstat({file, "-E", "-K"}).out, known);
    EXPECT_EQ(linkstat({file, "-K", "-E", "-A"}).out, act);
}

TEST_F(Cli, HeaderVariants) {
    const std::string file = input("");
    EXPECT_EQ(linkstat({file, "-H"}).out, "\t\t\t  r\t  d\t  D'\tdelta\t  Q\t rho\n");
    EXPECT_EQ(linkstat({file, "-H", "-P"}).out, "\t\t\t\t  r\t  d\t  D'\tdelta\t  Q\t rho\n");
    EXPECT_EQ(linkstat({file, "-H", "-B"}).out, "\t\t\t  r\t  d\t  D'\tdelta\t  Q\t rho\tLower\tUpper\n");
    EXPECT_EQ(linkstat({file, "-B"}).out, "");
}

TEST_F(Cli, MarkerSetsAndSeparators) {
    EXPECT_EQ(linkstat({input("")}).out, "");
    EXPECT_EQ(linkstat({input(""), "-S"}).out, ">\n");
    const std::string pair = marker("100", kLinkedA) + marker("150", kLinkedB);
    const std::string line = "100\t150\t\t0.850\t1.000\n";
    // an empty line and a line of white space each end a set; a trailing empty line gives an empty set
    const RunResult r = linkstat({input(pair + "\n" + pair + " \t \n" + pair + "\n"), "-S", "-P"});
    EXPECT_EQ(r.out, line + ">\n" + line + ">\n" + line + ">\n>\n");
    // a line of three fields ends the set and is not stored
    EXPECT_EQ(linkstat({input(pair + "1 2 3\n" + marker("200", kLinkedB)), "-P"}).out, line);
    // a single marker or an empty set writes nothing
    EXPECT_EQ(linkstat({input(marker("5", kLinkedA) + "\n\n" + marker("7", kLinkedA))}).out, "");
}

TEST_F(Cli, TablesGrowPastTwoThousandMarkers) {
    std::string content;
    for (int m = 0; m < 2500; ++m) content += marker(std::to_string(m * 100000), m % 2 ? kLinkedA : kLinkedB);
    const RunResult r = linkstat({input(content), "-P"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2499);
    EXPECT_NE(r.out.find("249800000\t249900000\t\t0.850\t1.000\n"), std::string::npos);
}

TEST_F(Cli, WindowEdges) {
    auto pairs = [&](std::vector<std::string> positions, std::vector<std::string> options = {"-P"}) {
        std::string content;
        for (const auto& p : positions) content += marker(p, kLinkedA);
        options.push_back(input(content));
        return linkstat(options).out;
    };
    EXPECT_EQ(pairs({"0", "200000"}), "");
    EXPECT_EQ(pairs({"0", "200001"}), "0\t200001 0 0 0 0 0 0 0 0 0 1\n");
    EXPECT_EQ(pairs({"0", "200001"}, {}), "0\t200001 0 0 0 0 0 0 0 0 0 1\n");
    EXPECT_EQ(pairs({"0", "150000", "199999"}),
              "0\t150000\t\t0.850\t1.000\n0\t199999\t\t0.850\t1.000\n150000\t199999\t\t0.850\t1.000\n");
    const std::string chain = pairs({"100", "150000", "250000"});
    EXPECT_EQ(chain.substr(0, 11), "100\t150000\t");
    EXPECT_EQ(chain.substr(chain.find('\n') + 1, 14), "150000\t250000\t");
    EXPECT_EQ(std::count(chain.begin(), chain.end(), '\n'), 2);
}

TEST_F(Cli, EmptyMarginAndZeroRatioLines) {
    const std::string mono = marker("10", repeat("AA", 20)) + marker("30", kLinkedB);
    EXPECT_EQ(linkstat({input(mono)}).out, "20\t" + kEmptyTail);
    EXPECT_EQ(linkstat({input(mono), "-P"}).out, "10\t30\t" + kEmptyTail);
    // a zero or non-numeric third field makes the marker ratio zero: no counting for its pairs
    for (const char* mode : {"-E", "-K", "-A"}) {
        const std::string zero = marker("10", kLinkedA, "0") + marker("30", kLinkedB) + marker("60", kLinkedB, "x");
        EXPECT_EQ(linkstat({input(zero), mode, "-P"}).out,
                  "10\t30\t" + kEmptyTail + "10\t60\t" + kEmptyTail + "30\t60\t" + kEmptyTail);
    }
}

TEST_F(Cli, OddChromosomeNumbers) {
    const std::string file = input(marker("1", kLinkedA + "A") + marker("2", kLinkedB + "G"));
    EXPECT_EQ(linkstat({file, "-E"}).out, "1\t\t0.850\t1.000\n");  // the unpaired chromosome is left out
    // but counted as a chromosome of its own in actual-haplotype mode: counts 21, 0, 0, 20
    double bounds[2];
    confidenceLimitsFromCounts(bounds, PairCounts{21, 0, 0, 20, 0}, 21);
    char expected[64];
    std::snprintf(expected, sizeof expected, "1\t\t%5.3f\t%5.3f\n", bounds[0], bounds[1]);
    EXPECT_EQ(linkstat({file, "-A"}).out, expected);
}

TEST_F(Cli, DataErrorsStopBeforeTheSetIsWritten) {
    const std::string pair = marker("100", kLinkedA) + marker("150", kLinkedB);
    const std::string written = "100\t150\t\t0.850\t1.000\n";
    const std::string file = input(pair + "\n" + pair + "\n" + marker("100", kLinkedA) + marker("170", "ACA"));
    expectFailure(linkstat({file, "-P"}),
                  "\n\nError in File " + file.substr(2) + " at Line 2\nWrong number of chromosomes\nExiting Now....\n\n\n",
                  written + written);
    const std::string three = input(pair + "\n" + marker("1", "AGNCTG") + marker("2", "ACAC--"), "three.txt");
    expectFailure(linkstat({three, "-P", "-RN", "-S"}), "\n\nMore Than Two Alleles AG-CTG\nExiting Now....\n\n\n",
                  written + ">\n");
}

TEST_F(Cli, OverLongValuesAreRefused) {
    const std::string longName = dir.file(std::string(511 - dir.file("").size(), 'n'));
    ASSERT_EQ(longName.size(), 511u);
    expectFailure(linkstat({"-I" + longName}), "\n\nCannot Access Input File " + longName + "\nExiting Now......\n\n");
    expectFailure(linkstat({"-I" + longName + "x"}), "\n\nOption Value Too Long -I\nExiting Now......\n\n");
    expectFailure(linkstat({"-O" + longName + "x", "-Ia"}), "\n\nOption Value Too Long -O\nExiting Now......\n\n");
    const std::string file = input(marker("1", "AC"));
    EXPECT_EQ(linkstat({file, "-R" + std::string(104, 'x')}).status, 0);
    expectFailure(linkstat({file, "-R" + std::string(105, 'x')}), "\n\nOption Value Too Long -R\nExiting Now......\n\n");
}

// Lines and fields far beyond 2098 and 1999 characters are read (3000 individuals here);
// the 256 MiB limits refuse a line without end, and their boundaries are checked in markers_test.
TEST_F(Cli, LongLinesAndFieldsAreReadAndEndlessLinesRefused) {
    const std::string pair = marker("100", kLinkedA) + marker("150", kLinkedB) + "\n";
    const std::string written = "100\t150\t\t0.850\t1.000\n";
    auto padded = [](std::string line, std::size_t length) { return line.append(length - line.size(), ' ') + "\n"; };
    const std::string wide = padded("1 2 3 " + kLinkedA, 5000) + padded("2 2 3 " + kLinkedB, 5000);
    EXPECT_EQ(linkstat({input(pair + wide), "-P"}).out, written + "1\t2\t\t0.850\t1.000\n");
    const std::string large = marker("1", repeat("AA", 1500) + repeat("CC", 1500)) + marker("2", repeat("GG", 1500) + repeat("TT", 1500));
    const RunResult r = linkstat({input(large), "-P"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "1\t2\t\t0.990\t1.000\n");
    // a line without end: refused once it passes 256 MiB, before memory runs out
    expectFailure(linkstat({"-I/dev/zero"}), "\n\nError in File /dev/zero at Line 1\nLine Too Long\nExiting Now....\n\n\n");
}

TEST_F(Cli, PositionsMustBePrintable) {
    for (const char* bad : {"inf", "nan", "-1", "2147483648", "1e12"}) {
        const std::string file = input(marker("5", kLinkedA) + "\n" + marker(bad, kLinkedA));
        expectFailure(linkstat({file}),
                      "\n\nError in File " + file.substr(2) + " at Line 3\nBad Position\nExiting Now....\n\n\n");
    }
    // the largest printable position, and a field that does not begin with a number, which reads as 0
    const std::string file = input(marker("abc", kLinkedA) + marker("2147483647", kLinkedB) + marker("2147483647.9", kLinkedB));
    EXPECT_EQ(linkstat({file, "-P"}).out, "0\t2147483647 0 0 0 0 0 0 0 0 0 1\n2147483647\t2147483647\t\t0.850\t1.000\n");
}

// Renaming the report over the marker file would lose it: refused after the input is found and
// before anything is written, by the same name or through another name of the same file.
TEST_F(Cli, ReportThatIsTheInputIsRefused) {
    const std::string content = marker("100", kLinkedA) + marker("150", kLinkedB);
    const std::string file = input(content, "m.txt");
    const std::string name = file.substr(2);
    std::filesystem::create_symlink(name, dir.file("link"));
    std::filesystem::create_hard_link(name, dir.file("hard"));
    for (const std::string& output : {name, dir.path().string() + "/./m.txt", dir.file("link"), dir.file("hard")}) {
        expectFailure(linkstat({file, "-H", "-O" + output}),
                      "\n\nOutput File Is The Input File " + output + "\nExiting Now......\n\n");
        expectFailure(linkstat({"-O", output, "-I", name}),
                      "\n\nOutput File Is The Input File " + output + "\nExiting Now......\n\n");
    }
    EXPECT_EQ(testsupport::readFile(name), content);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link")));
    // A missing input is reported as such first; two names of one device are not one file.
    expectFailure(linkstat({"-I" + dir.file("none"), "-O" + dir.file("none")}),
                  "\n\nCannot Access Input File " + dir.file("none") + "\nExiting Now......\n\n");
    std::filesystem::create_symlink("/dev/null", dir.file("null"));
    const RunResult device = linkstat({"-I" + dir.file("null"), "-O/dev/null", "-H"});
    EXPECT_EQ(device.status, 0);
    EXPECT_EQ(device.err, "");
}

TEST_F(Cli, WriteErrorsAreReported) {
    const std::string file = input(marker("100", kLinkedA) + marker("150", kLinkedB));
    expectFailure(linkstat({file, "-O/dev/full"}), "\n\nCannot Write Output File /dev/full\nExiting Now......\n\n");
    const RunResult r = linkstat({file}, {.input = "", .workdir = "", .stdoutPath = "/dev/full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\n\nCannot Write Output File stdout\nExiting Now......\n\n");
}

}  // namespace
