// End to end on the bundled chr20 example: the report against the checked-in golden file (made by the
// straightforward pair loop), and the progress line on a terminal.

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "linkstat.hpp"
#include "process.hpp"
#include "scratch.hpp"

namespace {

using testsupport::readFile;
using testsupport::ScratchDir;
using testsupport::sourcePath;

const std::string kMarkers = sourcePath("examples/chr20/markers.txt");

std::string golden(const ScratchDir& dir) {
    const std::string path = dir.file("golden.txt");
    const auto r = testsupport::run({GZIP_BIN, "-dc", std::string(LINKSTAT_TEST_DATA) + "/chr20-bounds.txt.gz"},
                                    {.input = "", .workdir = "", .stdoutPath = path});
    EXPECT_EQ(r.status, 0);
    return readFile(path);
}

// Compares large texts without printing them: the first differing line is enough to see.
void expectSameText(const std::string& actual, const std::string& expected) {
    if (actual == expected) return;
    std::istringstream a(actual), e(expected);
    std::string la, le;
    int line = 1;
    while (std::getline(a, la) && std::getline(e, le) && la == le) ++line;
    ADD_FAILURE() << "texts differ at line " << line << ": \"" << la << "\" instead of \"" << le << "\" (sizes "
                  << actual.size() << ", " << expected.size() << ")";
}

TEST(Chr20, ReportEqualsGolden) {
    ScratchDir dir;
    const auto r = testsupport::run({LINKSTAT_BIN, "-P", "-I" + kMarkers, "-O" + dir.file("bounds.txt")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "");
    expectSameText(readFile(dir.file("bounds.txt")), golden(dir));
}

// -D keeps the four-number records of the report, what `awk 'NF == 4'` keeps of it (here every pair
// line; no header or separators either).
TEST(Chr20, RecordsOnlyEqualTheFourFieldLinesOfGolden) {
    ScratchDir dir;
    const auto r = testsupport::run({LINKSTAT_BIN, "-D", "-H", "-S", "-I" + kMarkers});
    EXPECT_EQ(r.status, 0);
    const std::string report = golden(dir);
    testsupport::writeFile(dir.file("golden.txt"), report);
    const auto records = testsupport::run({AWK_BIN, "NF == 4", dir.file("golden.txt")});
    EXPECT_GT(records.out.size(), 1000000u);
    expectSameText(r.out, records.out);
}

// The golden file itself comes from the pair-by-pair loop; check that on the first 150 markers.
TEST(Chr20, StraightforwardLoopReproducesGoldenOnFirstMarkers) {
    ScratchDir dir;
    std::ifstream in(kMarkers);
    std::string subset, line, lastPosition;
    for (int m = 0; m < 150 && std::getline(in, line); ++m) {
        subset += line + "\n";
        lastPosition = line.substr(0, line.find('\t'));
    }
    testsupport::writeFile(dir.file("subset.txt"), subset);
    std::vector<std::string> args = {"linkstat", "-P", "-I" + dir.file("subset.txt"), "-O" + dir.file("out.txt")};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    linkstat::Tuning literal;
    literal.evaluation = linkstat::Evaluation::literal;
    ASSERT_EQ(linkstat::linkstatMain(static_cast<int>(argv.size()), argv.data(), literal), 0);

    std::istringstream all(golden(dir));
    std::string expected;
    const long last = std::stol(lastPosition);
    while (std::getline(all, line)) {
        const long second = std::stol(line.substr(line.find('\t') + 1));
        if (second <= last) expected += line + "\n";
    }
    EXPECT_GT(expected.size(), 100000u);
    expectSameText(readFile(dir.file("out.txt")), expected);
}

// Runs linkstat with standard error on a pseudo-terminal; returns what the terminal received.
std::string runOnTerminal(const std::vector<std::string>& args, int& status, double& seconds) {
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return "openpty failed";
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(slave, 2);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(slave);
    std::string received;
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) received.append(buffer, static_cast<std::size_t>(n));
    waitpid(child, &status, 0);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    close(master);
    return received;
}

TEST(Chr20, ProgressOnATerminalIsErasedAndLeavesTheReportAlone) {
    ScratchDir dir;
    int status = -1;
    double seconds = 0;
    const std::string shown =
        runOnTerminal({LINKSTAT_BIN, "-P", "-I" + kMarkers, "-O" + dir.file("bounds.txt")}, status, seconds);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    expectSameText(readFile(dir.file("bounds.txt")), golden(dir));
    if (seconds > 1.0) {
        EXPECT_FALSE(shown.empty()) << "no progress in " << seconds << " s";
    }
    if (shown.empty()) return;
    // "\r<progress>" updates, then "\r<spaces>\r": nothing is left on the line
    ASSERT_EQ(shown.front(), '\r');
    ASSERT_EQ(shown.back(), '\r');
    const std::size_t blank = shown.rfind('\r', shown.size() - 2);
    EXPECT_EQ(shown.find_first_not_of(' ', blank + 1), shown.size() - 1);
    for (std::size_t at = 0; at < blank; at = shown.find('\r', at + 1))
        EXPECT_EQ(shown.compare(at, 11, "\rlinkstat: "), 0) << shown;
}

}  // namespace
