// The input and report files of the program: a named pipe as input, and the report file that a failed
// run leaves as it was: it is written under a temporary name and put in place at the end.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "process.hpp"
#include "scratch.hpp"

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::RunResult;
using testsupport::ScratchDir;

std::string markers(int count, int chromosomes = 40) {
    std::string content;
    for (int m = 0; m < count; ++m) {
        std::string alleles;
        for (int k = 0; k < chromosomes; ++k) alleles += "AC"[(k * 7 + m * 3 + k / 5) % 2];
        content += std::to_string(1000 + 250 * m) + "\t40\t3\t" + alleles + "\n";
    }
    return content;
}

std::vector<std::string> folderContent(const ScratchDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Writes content into a named pipe once a reader has it open; notes whether the reader went away early.
struct PipeWriter {
    std::atomic<bool> opened{false}, readerLeft{false};
    void operator()(const std::string& path, const std::string& content) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        int fd = -1;
        while ((fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK)) < 0 && errno == ENXIO &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (fd < 0) return;
        opened = true;
        ::fcntl(fd, F_SETFL, 0);
        for (std::size_t done = 0; done < content.size();) {
            const ssize_t wrote = ::write(fd, content.data() + done, content.size() - done);
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote <= 0) {
                readerLeft = true;
                break;
            }
            done += static_cast<std::size_t>(wrote);
        }
        ::close(fd);
    }
};

// A named pipe gives its content once: the input must be opened exactly once (it used to be opened for
// a check and then again, which waited for ever once the writer was gone).
TEST(InputFile, NamedPipeIsReadInOneOpening) {
    ScratchDir dir;
    const std::string content = markers(60);
    testsupport::writeFile(dir.file("markers.txt"), content);
    const RunResult expected = testsupport::run({LINKSTAT_BIN, "-P", "-I" + dir.file("markers.txt")});
    ASSERT_EQ(expected.status, 0);
    ::signal(SIGPIPE, SIG_IGN);
    const std::string fifo = dir.file("markers.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (int attempt = 0; attempt < 12; ++attempt) {
        PipeWriter writer;
        std::thread thread([&] { writer(fifo, content); });
        const RunResult r = testsupport::run({"/usr/bin/timeout", "5", LINKSTAT_BIN, "-P", "-I" + fifo});
        thread.join();
        ASSERT_TRUE(writer.opened);
        ASSERT_EQ(r.status, 0) << "attempt " << attempt << ": " << r.err;
        ASSERT_FALSE(writer.readerLeft);
        ASSERT_EQ(r.out, expected.out);
    }
}

class ReportFile : public testing::Test {
protected:
    std::string good() { return input("good.txt", markers(30)); }
    // Two sets, the second ending in a marker of the wrong length.
    std::string bad() { return input("bad.txt", markers(30) + "\n" + markers(3) + "9999 40 3 ACA\n"); }
    std::string input(const std::string& name, const std::string& content) {
        testsupport::writeFile(dir.file(name), content);
        return "-I" + dir.file(name);
    }
    ScratchDir dir;
};

TEST_F(ReportFile, FailedRunLeavesTheDestinationAsItWas) {
    const std::string out = dir.file("out.txt");
    testsupport::writeFile(out, "the report of an earlier run\n");
    const std::string badInput = bad();
    const RunResult r = testsupport::run({LINKSTAT_BIN, "-P", badInput, "-O" + out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\n\nError in File " + badInput.substr(2) + " at Line 4\nWrong number of chromosomes\nExiting Now....\n\n\n");
    EXPECT_EQ(readFile(out), "the report of an earlier run\n");
    const std::string missing = dir.file("new.txt");
    EXPECT_EQ(testsupport::run({LINKSTAT_BIN, "-P", badInput, "-O" + missing}).status, 1);
    EXPECT_FALSE(fs::exists(missing));
    // no temporary file is left behind; a successful run replaces the file
    EXPECT_EQ(folderContent(dir), (std::vector<std::string>{"bad.txt", "out.txt"}));
    const std::string goodInput = good();
    EXPECT_EQ(testsupport::run({LINKSTAT_BIN, "-P", goodInput, "-O" + out}).status, 0);
    EXPECT_EQ(readFile(out), testsupport::run({LINKSTAT_BIN, "-P", goodInput}).out);
}

// A device or a pipe is written directly: what a failed run wrote before its error stays, as on
// standard output.
TEST_F(ReportFile, DevicesAndPipesAreWrittenDirectly) {
    const RunResult plain = testsupport::run({LINKSTAT_BIN, "-P", bad()});
    ASSERT_EQ(plain.status, 1);
    ASSERT_FALSE(plain.out.empty());
    const RunResult piped = testsupport::run({LINKSTAT_BIN, "-P", bad(), "-O/dev/stdout"});
    EXPECT_EQ(piped.status, 1);
    EXPECT_EQ(piped.out, plain.out);
    EXPECT_EQ(piped.err, plain.err);
}

// Permissions do not bind the superuser, so these run only for other users.
TEST_F(ReportFile, ReadOnlyDestinationsAndFolders) {
    if (::geteuid() == 0) GTEST_SKIP() << "the superuser may write anywhere";
    const std::string goodInput = good();
    const std::string locked = dir.file("locked.txt");
    testsupport::writeFile(locked, "keep\n");
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    const RunResult r = testsupport::run({LINKSTAT_BIN, goodInput, "-O" + locked});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\n\nCannot Access Output File " + locked + "\nExiting Now......\n\n");
    EXPECT_EQ(readFile(locked), "keep\n");
    // a writable file in a folder where no temporary file can be made is written directly
    const fs::path folder = dir.path() / "readonly";
    fs::create_directory(folder);
    testsupport::writeFile(folder / "out.txt", "old\n");
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    const RunResult direct = testsupport::run({LINKSTAT_BIN, "-P", goodInput, "-O" + (folder / "out.txt").string()});
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(direct.status, 0);
    EXPECT_EQ(readFile(folder / "out.txt"), testsupport::run({LINKSTAT_BIN, "-P", goodInput}).out);
}

}  // namespace
