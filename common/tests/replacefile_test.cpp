#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string>

#include "error.hpp"
#include "replacefile.hpp"
#include "scratch.hpp"
#include "writer.hpp"

namespace {

namespace fs = std::filesystem;
using ldtools::ReplacementFile;

void writeText(ReplacementFile& file, const std::string& text) {
    ldtools::writeAll(file.fd(), text.data(), text.size());
}

int entriesIn(const fs::path& folder) {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++n;
    return n;
}

mode_t modeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_mode & 07777;
}

TEST(ReplacementFile, TheDestinationChangesOnlyAtCommit) {
    testsupport::ScratchDir dir;
    const std::string name = dir.file("report.txt");
    testsupport::writeFile(name, "old\n");
    ASSERT_EQ(::chmod(name.c_str(), 0640), 0);
    {
        ReplacementFile file(name);
        EXPECT_FALSE(file.direct());
        writeText(file, "new\n");
        EXPECT_EQ(testsupport::readFile(name), "old\n");
        EXPECT_EQ(entriesIn(dir.path()), 2);  // the destination and the temporary file
        file.commit();
    }
    EXPECT_EQ(testsupport::readFile(name), "new\n");
    EXPECT_EQ(modeOf(name), 0640u);
    EXPECT_EQ(entriesIn(dir.path()), 1);
}

TEST(ReplacementFile, AnAbandonedRunLeavesNoTraceAndTheOldFileIntact) {
    testsupport::ScratchDir dir;
    const std::string kept = dir.file("kept.txt");
    testsupport::writeFile(kept, "old\n");
    {
        ReplacementFile file(kept);
        writeText(file, "partial");
    }  // destroyed without commit, as when an error unwinds the run
    EXPECT_EQ(testsupport::readFile(kept), "old\n");
    {
        ReplacementFile file(dir.file("new.txt"));
        writeText(file, "partial");
        file.abandon();
    }
    EXPECT_FALSE(fs::exists(dir.file("new.txt")));
    EXPECT_EQ(entriesIn(dir.path()), 1);
}

TEST(ReplacementFile, NewFilesTakeTheUmask) {
    testsupport::ScratchDir dir;
    const mode_t old = ::umask(027);
    {
        ReplacementFile file(dir.file("fresh"));
        file.commit();
    }
    ::umask(old);
    EXPECT_EQ(modeOf(dir.file("fresh")), 0640u);
}

TEST(ReplacementFile, ALinkStaysALinkAndItsTargetIsReplaced) {
    testsupport::ScratchDir dir;
    fs::create_directory(dir.path() / "data");
    const std::string target = dir.file("data/real.txt");
    testsupport::writeFile(target, "old\n");
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    fs::create_symlink("data/real.txt", dir.path() / "link.txt");
    {
        ReplacementFile file(dir.file("link.txt"));
        writeText(file, "new\n");
        file.commit();
    }
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.txt"));
    EXPECT_EQ(testsupport::readFile(target), "new\n");
    EXPECT_EQ(modeOf(target), 0600u);
    EXPECT_EQ(entriesIn(dir.path() / "data"), 1);
}

TEST(ReplacementFile, DevicesAreWrittenDirectlyAndFolderErrorsAreReported) {
    {
        ReplacementFile file("/dev/null");
        EXPECT_TRUE(file.direct());
        writeText(file, "discarded");
        file.commit();
    }
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    // a pipe reached through a link of the system that names no file (/dev/stdout, /proc/self/fd/N)
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    {
        ReplacementFile file("/proc/self/fd/" + std::to_string(fds[1]));
        EXPECT_TRUE(file.direct());
        writeText(file, "through the pipe");
        file.commit();
    }
    ::close(fds[1]);
    char text[32] = {};
    EXPECT_EQ(::read(fds[0], text, sizeof text), 16);
    EXPECT_STREQ(text, "through the pipe");
    ::close(fds[0]);
    testsupport::ScratchDir dir;
    try {
        ReplacementFile file(dir.path().string());
        FAIL() << "a folder was opened for writing";
    } catch (const ldtools::SystemError& error) {
        EXPECT_EQ(error.code(), EISDIR);
    }
    try {
        ReplacementFile file(dir.file("no/such/folder/file"));
        FAIL() << "a file in a missing folder was opened";
    } catch (const ldtools::SystemError& error) {
        EXPECT_EQ(error.code(), ENOENT);
    }
}

// Whether writing one name would replace the file of the other: one name, links and new names
// spelt two ways are one file; two names of one device or pipe are not.
TEST(SameFile, NamesOfOneRegularFileButNotOfOneDevice) {
    testsupport::ScratchDir dir;
    const std::string file = dir.file("data.txt");
    testsupport::writeFile(file, "data\n");
    fs::create_symlink(file, dir.file("link"));
    fs::create_hard_link(file, dir.file("hard"));
    EXPECT_TRUE(ldtools::sameFile(file, file));
    EXPECT_TRUE(ldtools::sameFile(dir.file("link"), file));
    EXPECT_TRUE(ldtools::sameFile(file, dir.file("hard")));
    EXPECT_TRUE(ldtools::sameFile(dir.file("new"), dir.file("./new")));
    EXPECT_FALSE(ldtools::sameFile(file, dir.file("new")));
    EXPECT_FALSE(ldtools::sameFile(dir.file("new"), dir.file("other")));

    fs::create_symlink("/dev/null", dir.file("null"));
    EXPECT_FALSE(ldtools::sameFile(dir.file("null"), "/dev/null"));
    EXPECT_TRUE(ldtools::sameFile("/dev/null", "/dev/null"));
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    EXPECT_FALSE(ldtools::sameFile("/proc/self/fd/" + std::to_string(fds[0]), "/proc/self/fd/" + std::to_string(fds[1])));
    ::close(fds[0]);
    ::close(fds[1]);
}

}  // namespace

namespace {

// A run stopped from outside (Ctrl-C, kill, a reader that went away) removes its temporary files
// and still ends by the signal, as a shell expects; the destination keeps its old text.
TEST(ReplacementFile, ARunEndedByASignalLeavesNoTemporaryFile) {
    for (int signal : {SIGINT, SIGTERM, SIGPIPE}) {
        testsupport::ScratchDir dir;
        const std::string name = dir.file("out.txt");
        testsupport::writeFile(name, "old\n");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ReplacementFile file(name);
            ReplacementFile second(dir.file("other.txt"));
            writeText(file, "partial");
            ::raise(signal);
            ::_exit(0);  // not reached
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << signal;
        EXPECT_EQ(WTERMSIG(status), signal);
        EXPECT_EQ(entriesIn(dir.path()), 1) << "signal " << signal;
        EXPECT_EQ(testsupport::readFile(name), "old\n");
    }
}

}  // namespace
