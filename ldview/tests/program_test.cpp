// The ldview program as a user runs it: help and version, one-line errors with status 1, and the
// summary line of a run.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <filesystem>

#include "process.hpp"
#include "scratch.hpp"
#include "viewfiles.hpp"

namespace {

using testsupport::run;
using testsupport::RunResult;

RunResult ldview(std::vector<std::string> args) {
    args.insert(args.begin(), LDVIEW_BIN);
    return run(args);
}

TEST(ViewProgram, HelpVersionAndUsageErrors) {
    RunResult r = ldview({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: ldview -d BOUNDS", 0), 0u);
    r = ldview({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("ldview ") + LDTOOLS_VERSION + "\n");
    r = ldview({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("Usage: ldview", 0), 0u);

    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-o", "v"}, "ldview: -d BOUNDS is required (see ldview -h)\n"},
        {{"-d", "b"}, "ldview: -o DIR is required (see ldview -h)\n"},
        {{"-d", "b", "-o", "v", "-x"}, "ldview: unknown option -x (see ldview -h)\n"},
        {{"-d", "b", "-o", "v", "-w", "300"}, "ldview: -w takes a whole number from 400 to 10000, not '300' (see ldview -h)\n"},
        {{"-d", "b", "-o", "v", "-c", "a b"},
         "ldview: -c takes a chromosome name without white space, '#', '{' or '}', not 'a b' (see ldview -h)\n"},
        {{"-d", "b", "-o", "v", "-c", "{x}"},
         "ldview: -c takes a chromosome name without white space, '#', '{' or '}', not '{x}' (see ldview -h)\n"},
        {{"-d", "", "-o", "v"}, "ldview: the file name of -d is empty (see ldview -h)\n"},
        {{"-d", "b", "-o", "v", "extra"}, "ldview: unexpected argument 'extra' (see ldview -h)\n"},
    };
    for (const auto& [args, message] : cases) {
        r = ldview(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, message);
        EXPECT_EQ(r.out, "");
    }
}

TEST(ViewProgram, RunsAndFailsInOneLine) {
    testsupport::ScratchDir dir;
    RunResult r = ldview({"-d", dir.file("none.txt"), "-o", dir.file("view")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ldview: cannot open bounds file " + dir.file("none.txt") + ": No such file or directory\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("view")));

    testsupport::writeFile(dir.file("b.txt"), ldviewtest::boundsText({{10, 20, 50, 99}, {10, 30, 0, 50}, {20, 30, 71, 99}}));
    testsupport::writeFile(dir.file("blocks.dat"), "SNP1 index SNP2 index\n10 0 20 1\n");
    r = ldview({"-d", dir.file("b.txt"), "-b", dir.file("blocks.dat"), "-c", "7", "-o", dir.file("view")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("ldview: 3 SNPs, 3 pairs, 1 blocks; view written to " + dir.file("view") + "/index.html (", 0), 0u)
        << r.out;
    EXPECT_TRUE(std::filesystem::exists(dir.file("view/index.html")));
}

TEST(ViewProgram, StoppedRunLeavesNothingBehind) {
    // The bounds come through a pipe, so that the run is surely still reading when the signal
    // arrives; the records after it let the run notice.
    testsupport::ScratchDir dir;
    const std::string fifo = dir.file("bounds.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(dir.file("view"));
    testsupport::writeFile(dir.file("view/.ldview"), "an earlier view\n");
    const std::string view = dir.file("view");
    const char* argv[] = {LDVIEW_BIN, "-d", fifo.c_str(), "-o", view.c_str(), nullptr};
    pid_t child = 0;
    ASSERT_EQ(::posix_spawn(&child, LDVIEW_BIN, nullptr, nullptr, const_cast<char* const*>(argv), environ), 0);
    const int fd = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    // The run stops reading once it has noticed the signal: writing on then fails.
    const auto previous = ::signal(SIGPIPE, SIG_IGN);
    auto feed = [&](int from, int count) {
        std::string text;
        for (int k = from; k < from + count; ++k) text += std::to_string(k) + " " + std::to_string(k + 1) + " 0.5 0.9\n";
        return ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    };
    EXPECT_TRUE(feed(1, 1000));
    ::usleep(100000);
    ::kill(child, SIGTERM);
    feed(1001, 200000);
    ::close(fd);
    ::signal(SIGPIPE, previous);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"bounds.fifo", "view"}));
    EXPECT_EQ(testsupport::readFile(view + "/.ldview"), "an earlier view\n");
}

}  // namespace
