// Real runs of the loadgauge program: each measuring run takes 2 to 3 seconds.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "process.hpp"

namespace {

const std::string BIN = LOADGAUGE_BIN;

std::set<std::string> tempFiles() {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator("/tmp")) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("loadgauge-", 0) == 0) names.insert(name);
    }
    return names;
}

// Fails for every buffer file present now that was not there before the run.
void expectNoNewTempFiles(const std::set<std::string>& before) {
    for (const auto& name : tempFiles()) EXPECT_TRUE(before.count(name)) << "left behind: /tmp/" << name;
}

std::string slotTime(int slot) {
    return std::to_string(slot / 10) + "." + std::to_string(slot % 10) + "0";
}

// Checks a whole time line: every slot in order with its exact time, per slot
// process numbers in increasing order or a single 0. Returns how many slots
// each process number was named in.
std::vector<int> checkTimeline(const std::string& out, int nprocs) {
    std::vector<int> named(nprocs + 1, 0);
    EXPECT_TRUE(out.empty() || out.back() == '\n');
    std::istringstream in(out);
    std::string line;
    int slot = -1;
    int last = 0;
    while (std::getline(in, line)) {
        const size_t space = line.find(' ');
        const std::string time = line.substr(0, space);
        const int p = space == std::string::npos ? -1 : std::atoi(line.c_str() + space + 1);
        EXPECT_EQ(line, time + " " + std::to_string(p));
        if (time == slotTime(slot + 1)) {
            ++slot;
        } else {
            EXPECT_EQ(time, slotTime(slot));
            EXPECT_GT(p, last) << "slot " << slot;
            EXPECT_NE(last, 0) << "slot " << slot;
        }
        last = p;
        if (p < 0 || p > nprocs) ADD_FAILURE() << line;
        else ++named[p];
    }
    EXPECT_EQ(slot, 19999);
    return named;
}

}  // namespace

TEST(LoadgaugeRun, OneProcessByDefault) {
    const auto before = tempFiles();
    const auto r = testsupport::run({BIN});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_GT(checkTimeline(r.out, 1)[1], 0) << "process 1 never recorded a slot";
    expectNoNewTempFiles(before);
}

TEST(LoadgaugeRun, TwoProcessesShareTheTimeLine) {
    const auto before = tempFiles();
    // The child keeps standard output open until its window is over, so the
    // run returns only when both processes have finished.
    const auto r = testsupport::run({BIN, "2"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const auto named = checkTimeline(r.out, 2);
    EXPECT_GT(named[1], 0) << "the child's marks are not visible to the first process";
    EXPECT_GT(named[2], 0);
    expectNoNewTempFiles(before);
}

TEST(LoadgaugeRun, WriteErrorOnStandardOutput) {
    const auto before = tempFiles();
    const auto r = testsupport::run({BIN}, {.input = "", .workdir = "", .stdoutPath = "/dev/full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "loadgauge: write: No space left on device\n");
    expectNoNewTempFiles(before);
}

TEST(LoadgaugeRun, RefusesBadArgumentsBeforeStarting) {
    const std::string fewer = "loadgauge: less than one process!\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"0"}, fewer},
        {{"-3"}, fewer},
        {{"abc"}, fewer},
        {{"2", "3"}, "Usage: loadgauge [number-of-processes]\n"},
        {{"256"}, "loadgauge: too many processes (at most 255)!\n"},
    };
    for (const auto& [args, err] : cases) {
        std::vector<std::string> argv{BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto r = testsupport::run(argv);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(r.err, err) << args[0];
        EXPECT_EQ(r.out, "") << args[0];
    }
}

TEST(LoadgaugeRun, FailedFillerWriteLeavesNoFile) {
    const auto before = tempFiles();
    // A file size limit of 0 with SIGXFSZ ignored makes the first filler write fail.
    const auto r = testsupport::run({"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 0; exec \"$0\" 3", BIN});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "loadgauge: write dummy: File too large\n");
    EXPECT_EQ(r.out, "");
    expectNoNewTempFiles(before);
}

TEST(LoadgaugeRun, HelpAndVersionAnswerAtOnceWithoutMeasuring) {
    const auto before = tempFiles();
    const auto help = testsupport::run({BIN, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: loadgauge [number-of-processes]\n", 0), 0u) << help.out;
    EXPECT_EQ(help.err, "");
    const auto version = testsupport::run({BIN, "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "loadgauge " LDTOOLS_VERSION "\n");
    // Only as the single argument: with a count after it, it is a usage error, like any other second argument.
    const auto both = testsupport::run({BIN, "--help", "2"});
    EXPECT_EQ(both.status, 1);
    EXPECT_EQ(both.err, "Usage: loadgauge [number-of-processes]\n");
    expectNoNewTempFiles(before);
}
