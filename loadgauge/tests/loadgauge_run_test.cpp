// Real runs of the loadgauge program: each measuring run takes 2 to 3 seconds.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

#include "process.hpp"

namespace {

const std::string BIN = LOADGAUGE_BIN;

struct Line {
    std::string time;
    int p = -1;
};

std::set<std::string> tempfiles() {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator("/tmp")) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("loadgauge-", 0) == 0) names.insert(name);
    }
    return names;
}

// Fails for every buffer file present now that was not there before the run.
void expectnonewtempfiles(const std::set<std::string>& before) {
    for (const auto& name : tempfiles()) EXPECT_TRUE(before.count(name)) << "left behind: /tmp/" << name;
}

std::vector<Line> parselines(const std::string& out) {
    static const std::regex shape(R"((\d+\.\d\d) (\d+))");
    std::vector<Line> lines;
    std::istringstream in(out);
    std::string text;
    std::smatch m;
    while (std::getline(in, text)) {
        EXPECT_TRUE(std::regex_match(text, m, shape)) << "line " << lines.size() << ": " << text;
        if (!m.empty()) lines.push_back({m[1], std::stoi(m[2])});
    }
    EXPECT_TRUE(out.empty() || out.back() == '\n');
    return lines;
}

// Checks the whole time line of a run with `nprocs` processes: every slot in
// order with its exact time, per slot either process numbers in increasing
// order or a single 0. Returns how many slots each process number marked.
std::vector<int> checktimeline(const std::string& out, int nprocs) {
    std::vector<int> marked(nprocs + 1, 0);
    int slot = -1;
    int last = 0;
    for (const Line& line : parselines(out)) {
        EXPECT_GE(line.p, 0);
        EXPECT_LE(line.p, nprocs);
        char expected[32];
        std::snprintf(expected, sizeof expected, "%d.%d0", (slot + 1) / 10, (slot + 1) % 10);
        if (line.time == expected) {  // first line of the next slot
            ++slot;
        } else {
            EXPECT_GT(line.p, last) << "slot " << slot << " time " << line.time;
            EXPECT_NE(line.p, 0) << "slot " << slot;
            EXPECT_NE(last, 0) << "slot " << slot;
        }
        last = line.p;
        if (line.p >= 0 && line.p <= nprocs) ++marked[line.p];
    }
    EXPECT_EQ(slot, 19999);
    return marked;
}

}  // namespace

TEST(LoadgaugeRun, OneProcessByDefault) {
    const auto before = tempfiles();
    const auto r = testsupport::run({BIN});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.substr(0, 5), "0.00 ");
    EXPECT_NE(r.out.find("1999.90 "), std::string::npos);
    const auto marked = checktimeline(r.out, 1);
    EXPECT_GT(marked[1], 0) << "process 1 never recorded a slot";
    expectnonewtempfiles(before);
}

TEST(LoadgaugeRun, TwoProcessesShareTheTimeLine) {
    const auto before = tempfiles();
    // The child holds standard output open until its own window is over, so
    // the run returns only when both processes have finished.
    const auto r = testsupport::run({BIN, "2"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const auto marked = checktimeline(r.out, 2);
    EXPECT_GT(marked[1], 0) << "the child's marks are not visible to the first process";
    EXPECT_GT(marked[2], 0);
    expectnonewtempfiles(before);
}

TEST(LoadgaugeRun, WriteErrorOnStandardOutput) {
    const auto before = tempfiles();
    const auto r = testsupport::run({BIN}, {.input = "", .workdir = "", .stdoutPath = "/dev/full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "loadgauge: write: No space left on device\n");
    expectnonewtempfiles(before);
}

TEST(LoadgaugeRun, RefusesBadArgumentsBeforeStarting) {
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::string fewer = "loadgauge: less than one process!\n";
    const std::vector<Case> cases = {
        {{"0"}, fewer},
        {{"-3"}, fewer},
        {{"abc"}, fewer},
        {{"2", "3"}, "Usage: loadgauge [number-of-processes]\n"},
        {{"256"}, "loadgauge: too many processes (at most 255)!\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv{BIN};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const auto r = testsupport::run(argv);
        EXPECT_EQ(r.status, 1) << c.args[0];
        EXPECT_EQ(r.err, c.err) << c.args[0];
        EXPECT_EQ(r.out, "") << c.args[0];
    }
}

TEST(LoadgaugeRun, FailedFillerWriteLeavesNoFile) {
    const auto before = tempfiles();
    // A file size limit of 0 with SIGXFSZ ignored makes the first filler write fail.
    const auto r = testsupport::run({"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 0; exec \"$0\" 3", BIN});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "loadgauge: write dummy: File too large\n");
    EXPECT_EQ(r.out, "");
    expectnonewtempfiles(before);
}
