// The report does not depend on the number of threads: every -T against the straightforward pair loop on
// random files in every mode and with every flag, with blocks of work small enough that every thread
// gets many, also when a set fails half way; two runs at once in one process with choices of their own;
// the chr20 example; and the report file after a failure. These are the tests that the ThreadSanitizer build runs (suite names beginning with "Threads").

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "inprocess.hpp"
#include "settings.hpp"
#include "process.hpp"
#include "scratch.hpp"

namespace {

using namespace linkstat;
using namespace linkstat::testkit;
using testsupport::readFile;
using testsupport::ScratchDir;

// linkstat's thread option as typed: "-T" followed by the count (a bare "-T" for none).
std::string threadOption(int threads) {
    return "-T" + (threads > 0 ? std::to_string(threads) : std::string());
}

const std::vector<std::string> kThreadOptions = {threadOption(1), threadOption(2), threadOption(3), threadOption(8),
                                                 threadOption(0)};

const std::vector<std::vector<std::string>> kOptionSets = {
    {"-RN"},       {"-K", "-RN", "-S", "-H"}, {"-A", "-P", "-RN", "-S"}, {"-E", "-RN", "-H", "-B"},
    {"-K", "-P", "-RN", "-H", "-B"}, {"-A", "-RN", "-H"}, {"-D", "-RN", "-H", "-S"}, {"-A", "-D", "-RN"},
    {"-K", "-D", "-RN", "-B"}};

// Runs every option set with every thread count on `content`; each run must give the report and the
// failure of the straightforward loop. Returns the number of runs compared.
int expectEveryThreadCountEqualsLiteral(const std::string& content, const Tuning& fast, const std::string& what) {
    ScratchDir dir;
    const std::string input = dir.file("markers.txt");
    testsupport::writeFile(input, content);
    Tuning literal;
    literal.evaluation = Evaluation::literal;
    int runs = 0;
    for (std::vector<std::string> options : kOptionSets) {
        options.push_back("-I" + input);
        const Captured expected = runCaptured(options, literal);
        for (const std::string& threads : kThreadOptions) {
            std::vector<std::string> withThreads = options;
            withThreads.insert(withThreads.begin(), threads);
            const Captured actual = runCaptured(withThreads, fast);
            EXPECT_EQ(actual.error, expected.error) << what << " " << threads << " " << options[0];
            EXPECT_EQ(actual.report, expected.report) << what << " " << threads << " " << options[0];
            if (actual.report != expected.report) return runs;
            ++runs;
        }
    }
    return runs;
}

// Small blocks (many per set and per wave), the default blocks, and tiny memo limits (a round per
// wave, the memo emptied between rounds), on narrow and wide count keys, with the count keys of a few
// pairs or of none kept from counting to writing.
std::vector<std::pair<std::string, Tuning>> tunings() {
    std::vector<std::pair<std::string, Tuning>> list;
    Tuning small;
    small.blockLines = 5;
    list.emplace_back("blocks of 5 lines", small);
    list.emplace_back("default blocks", Tuning{});
    Tuning tiny;
    tiny.blockLines = 3;
    tiny.fastLimits = FastPairLimits{40, 60, 40, 60, 4095, 12 * sizeof(std::uint64_t)};
    list.emplace_back("memo of 60 keys, keys of 12 pairs kept", tiny);
    Tuning wide;
    wide.blockLines = 17;
    wide.fastLimits = FastPairLimits{2, 5, 2, 5, 0, 0, 0};
    list.emplace_back("wide keys, memo of 5 keys, no keys kept", wide);
    return list;
}

TEST(Threads, EveryThreadCountGivesTheReferenceReport) {
    std::mt19937 rng(1201);
    int runs = 0;
    for (const auto& [what, tuning] : tunings())
        for (int file = 0; file < 3; ++file)
            runs += expectEveryThreadCountEqualsLiteral(randomMarkers(rng, 1, 30, 90), tuning,
                                                        what + ", file " + std::to_string(file));
    EXPECT_EQ(runs, 4 * 3 * 9 * 5);
}

// A set that fails (its lines are never written) after sets that succeed, and a failure in the first
// set: the lines before the failing set and the same message, whatever the thread count.
TEST(Threads, FailingSetsStopTheReportAtTheSamePlace) {
    std::mt19937 rng(1202);
    const std::vector<std::string> failures = {
        "5 3 1 AC\n6 3 1 ACG\n",        // wrong number of chromosomes
        "5 3 1 ACCA\n6 3 1 ACGA\n7 3 1 AACC\n",  // more than two alleles
        "5 3 1 AC\n6 3 1 CA\n3 3 1 AA\n",  // position out of order
        "5 3 1 AC\nnan 3 1 AC\n"};      // bad position
    Tuning small;
    small.blockLines = 4;
    int runs = 0;
    for (const std::string& failure : failures) {
        const std::string before = randomMarkers(rng, 2, 24, 70);
        runs += expectEveryThreadCountEqualsLiteral(before + "\n" + failure + "\n" + before, small, "failure later");
        runs += expectEveryThreadCountEqualsLiteral(failure + "\n" + before, small, "failure first");
    }
    EXPECT_EQ(runs, 4 * 2 * 9 * 5);
}

// Two runs at once in one process, one with the default kernels and the proven error band, the other with
// every portable kernel and a band widened by 2^30: each gives the reference report and the bounds tally
// it gives when it runs alone, so neither sees the other's kernels, band or tallies.
TEST(Threads, RunsAtOnceKeepTheirOwnKernelsBandsAndTallies) {
    std::mt19937 rng(1204);
    ScratchDir dir;
    const std::string input = dir.file("markers.txt");
    testsupport::writeFile(input, randomMarkers(rng, 10, 40, 120) + "\n" + randomMarkers(rng, 10, 40, 120));
    Tuning fast, portable, literal;
    fast.blockLines = portable.blockLines = 7;
    portable.kernels.use(PackKernel::portable);
    portable.kernels.use(CountKernel::portable);
    portable.kernels.use(EmKernel::portable);
    portable.kernels.use(BoundsKernel::portable);
    ASSERT_TRUE(portable.widenBand(0x1p30));
    literal.evaluation = Evaluation::literal;
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{threadOption(2), "-RN", "-I" + input}, {threadOption(3), "-K", "-P", "-RN", "-I" + input}}) {
        const Captured expected = runCaptured(options, literal);
        const Captured aloneFast = runCaptured(options, fast), alonePortable = runCaptured(options, portable);
        ASSERT_EQ(aloneFast.report, expected.report);
        ASSERT_EQ(alonePortable.report, expected.report);
        ASSERT_GT(alonePortable.tally.exact, aloneFast.tally.exact);  // the widened band sends tables there
        for (int round = 0; round < 3; ++round) {
            Captured together;
            std::thread other([&] { together = runCaptured(options, portable); });
            const Captured mine = runCaptured(options, fast);
            other.join();
            EXPECT_EQ(mine.report, expected.report);
            EXPECT_EQ(together.report, expected.report);
            EXPECT_EQ(mine.tally.tables, aloneFast.tally.tables);
            EXPECT_EQ(mine.tally.exact, aloneFast.tally.exact);
            EXPECT_EQ(together.tally.tables, alonePortable.tally.tables);
            EXPECT_EQ(together.tally.exact, alonePortable.tally.exact);
        }
    }
}

TEST(ThreadsChr20, EveryThreadCountGivesTheGoldenReport) {
    ScratchDir dir;
    const std::string golden = dir.file("golden.txt");
    ASSERT_EQ(testsupport::run({GZIP_BIN, "-dc", std::string(LINKSTAT_TEST_DATA) + "/chr20-bounds.txt.gz"},
                               {.input = "", .workdir = "", .stdoutPath = golden})
                  .status,
              0);
    const std::string expected = readFile(golden);
    ASSERT_GT(expected.size(), 1000000u);
    Tuning smallBlocks;
    smallBlocks.blockLines = 300;
    for (const std::string& threads : {threadOption(1), threadOption(3), threadOption(8)}) {
        const Captured actual =
            runCaptured({threads, "-P", "-I" + testsupport::sourcePath("examples/chr20/markers.txt")}, smallBlocks);
        EXPECT_EQ(actual.error, "");
        EXPECT_TRUE(actual.report == expected) << threads << ": the report differs from the golden file";
    }
}

// The program itself: on standard output the lines of the sets before the failing one, then the
// message; with -O the old report stays as it was. A report that cannot be written
// ends the run with its message while the threads are at work.
TEST(ThreadsProgram, FailuresAndTheReportFile) {
    ScratchDir dir;
    std::mt19937 rng(1203);
    const std::string good = randomMarkers(rng, 20, 30, 80);
    const std::string input = dir.file("bad.txt");
    testsupport::writeFile(input, good + "\n" + "5 3 1 AC\n6 3 1 ACGT\n");
    const std::string out = dir.file("out.txt");
    testsupport::writeFile(out, "an earlier report\n");
    const testsupport::RunResult single = testsupport::run({LINKSTAT_BIN, threadOption(1), "-P", "-RN", "-I" + input});
    ASSERT_EQ(single.status, 1);
    ASSERT_EQ(single.err,
              "\n\nError in File " + input + " at Line 2\nWrong number of chromosomes\nExiting Now....\n\n\n");
    ASSERT_FALSE(single.out.empty());
    for (const std::string& threads : {threadOption(2), threadOption(3), threadOption(8)}) {
        const testsupport::RunResult shown = testsupport::run({LINKSTAT_BIN, threads, "-P", "-RN", "-I" + input});
        EXPECT_EQ(shown.status, 1);
        EXPECT_EQ(shown.out, single.out) << threads;
        EXPECT_EQ(shown.err, single.err) << threads;
        const testsupport::RunResult kept =
            testsupport::run({LINKSTAT_BIN, threads, "-P", "-RN", "-I" + input, "-O" + out});
        EXPECT_EQ(kept.status, 1);
        EXPECT_EQ(kept.err, single.err);
        EXPECT_EQ(readFile(out), "an earlier report\n") << threads;
    }
    // 600 markers 300 apart: 179,700 pair lines, far more than the report's buffer
    std::string many;
    for (int m = 0; m < 600; ++m) {
        std::string alleles;
        for (int k = 0; k < 20; ++k) alleles += "AG"[(rng() >> 7) % 2];
        many += std::to_string(1000 + 300 * m) + " 20 1 " + alleles + "\n";
    }
    testsupport::writeFile(input, many);
    for (const std::string& threads : {threadOption(1), threadOption(3)}) {
        const testsupport::RunResult full =
            testsupport::run({"/usr/bin/timeout", "120", LINKSTAT_BIN, threads, "-I" + input, "-O/dev/full"});
        EXPECT_EQ(full.status, 1) << threads;
        EXPECT_EQ(full.err, "\n\nCannot Write Output File /dev/full\nExiting Now......\n\n") << threads;
    }
}

}  // namespace
