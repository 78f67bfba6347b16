#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

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

namespace {

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// The wait status of a child process that runs body (which ends the process itself); -1 when no
// child could be started.
template <typename Body>
int statusOfChild(Body body) {
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        body();
        ::_exit(125);  // body did not end the process
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child ? status : -1;
}

// A destination name of the longest length the folder takes still gets a temporary file of its
// own: a failed run leaves the old file whole, a successful one replaces it, and a signal removes
// the temporary file.
TEST(ReplacementFile, TheLongestNamesAreReplacedAsAnyOther) {
    testsupport::ScratchDir dir;
    const std::string longest = dir.file(std::string(255, 'a'));
    testsupport::writeFile(longest, "old\n");
    {
        ReplacementFile file(longest);
        EXPECT_FALSE(file.direct());
        writeText(file, "partial");
        const std::vector<std::string> names = namesIn(dir.path());
        ASSERT_EQ(names.size(), 2u);
        // ".", then eight letters or digits
        EXPECT_EQ(names[0].size(), 9u);
        EXPECT_EQ(names[0][0], '.');
        EXPECT_EQ(names[0].find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 1),
                  std::string::npos)
            << names[0];
    }
    EXPECT_EQ(testsupport::readFile(longest), "old\n");
    EXPECT_EQ(entriesIn(dir.path()), 1);
    {
        ReplacementFile file(longest);
        writeText(file, "new\n");
        file.commit();
    }
    EXPECT_EQ(testsupport::readFile(longest), "new\n");
    EXPECT_EQ(entriesIn(dir.path()), 1);

    const int status = statusOfChild([&] {
        ReplacementFile file(longest);
        writeText(file, "partial");
        ::raise(SIGTERM);
    });
    EXPECT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(testsupport::readFile(longest), "new\n");
    EXPECT_EQ(entriesIn(dir.path()), 1);

    // A name longer than the folder takes is refused before anything is made.
    try {
        ReplacementFile file(dir.file(std::string(256, 'a')));
        FAIL() << "a name too long was opened";
    } catch (const ldtools::SystemError& error) {
        EXPECT_EQ(error.code(), ENAMETOOLONG);
    }
    EXPECT_EQ(entriesIn(dir.path()), 1);
}

// When the temporary file cannot be made for a reason other than the folder's permissions, the
// run fails and the destination keeps its text. Here the folder's own name is so long that the
// temporary file's full name passes the system's limit on a path while the destination's does not.
TEST(ReplacementFile, ATemporaryFileThatCannotBeMadeLeavesTheDestinationWhole) {
    testsupport::ScratchDir dir;
    std::string folder = dir.path().string();
    const std::size_t wanted = PATH_MAX - 8;  // the destination "FOLDER/a" fits, "FOLDER/.XXXXXXXX" does not
    while (folder.size() < wanted) {
        const std::size_t room = wanted - folder.size() - 1;
        folder.push_back('/');
        folder.append(std::min<std::size_t>(room, 200), 'd');
        ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0) << folder.size();
    }
    const std::string name = folder + "/a";
    ASSERT_LT(name.size(), static_cast<std::size_t>(PATH_MAX));
    testsupport::writeFile(name, "old\n");
    try {
        ReplacementFile file(name);
        FAIL() << "the destination was opened without a temporary file";
    } catch (const ldtools::SystemError& error) {
        EXPECT_EQ(error.code(), ENAMETOOLONG);
    }
    EXPECT_EQ(testsupport::readFile(name), "old\n");
    EXPECT_EQ(entriesIn(folder), 1);
}

// A folder that may not be written holds a file that may: that file is written in place, and a
// new file cannot be made there at all. (Root may write any folder, so this runs for other users.)
TEST(ReplacementFile, AReadOnlyFolderTakesNoTemporaryFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes read-only folders";
    testsupport::ScratchDir dir;
    const std::string folder = dir.file("locked");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    testsupport::writeFile(folder + "/open.txt", "old\n");
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    {
        ReplacementFile file(folder + "/open.txt");
        EXPECT_TRUE(file.direct());
        writeText(file, "new\n");
        file.commit();
    }
    EXPECT_EQ(testsupport::readFile(folder + "/open.txt"), "new\n");
    try {
        ReplacementFile file(folder + "/fresh.txt");
        FAIL() << "a file was made in a read-only folder";
    } catch (const ldtools::SystemError& error) {
        EXPECT_EQ(error.code(), EACCES);
    }
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    EXPECT_EQ(entriesIn(folder), 1);
}

// A descriptor's name leads to the descriptor, never to the file behind it: what the process
// wrote there before stays, and the file is neither truncated nor renamed over.
TEST(ReplacementFile, NamesOfDescriptorsWriteThroughTheDescriptor) {
    testsupport::ScratchDir dir;
    const std::string report = dir.file("report.txt");
    const int fd = ::open(report.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "report\n", 7), 7);
    struct stat before {};
    ASSERT_EQ(::fstat(fd, &before), 0);
    fs::create_symlink("/dev/fd/" + std::to_string(fd), dir.path() / "link.txt");
    for (const std::string& name :
         {"/proc/self/fd/" + std::to_string(fd), "/dev/fd/" + std::to_string(fd), dir.file("link.txt")}) {
        ReplacementFile file(name);
        EXPECT_TRUE(file.direct()) << name;
        writeText(file, "tags\n");
        file.commit();
    }
    ::close(fd);
    EXPECT_EQ(testsupport::readFile(report), "report\ntags\ntags\ntags\n");
    struct stat after {};
    ASSERT_EQ(::stat(report.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(entriesIn(dir.path()), 2);

    // Standard output sent to the file, as by "> report.txt".
    const int status = statusOfChild([&] {
        const int out = ::open(report.c_str(), O_WRONLY | O_APPEND);
        if (out < 0 || ::dup2(out, 1) < 0 || ::write(1, "more\n", 5) != 5) ::_exit(2);
        ReplacementFile file("/dev/stdout");
        writeText(file, "stdout\n");
        file.commit();
        ::_exit(file.direct() ? 0 : 1);
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(testsupport::readFile(report), "report\ntags\ntags\ntags\nmore\nstdout\n");

    // A descriptor that is not open, or open for reading only, cannot be written.
    const int reading = ::open(report.c_str(), O_RDONLY);
    ASSERT_GE(reading, 0);
    for (const int descriptor : {reading, 987}) {
        try {
            ReplacementFile file("/dev/fd/" + std::to_string(descriptor));
            FAIL() << "descriptor " << descriptor << " was opened for writing";
        } catch (const ldtools::SystemError& error) {
            EXPECT_EQ(error.code(), EBADF);
        }
    }
    ::close(reading);
}

// A library that ends the process with exit() in the middle of a run (htslib does on some damaged
// input) runs no destructor: the temporary files go all the same, and the destination stays.
TEST(ReplacementFile, ARunEndedByExitLeavesNoTemporaryFile) {
    testsupport::ScratchDir dir;
    const std::string name = dir.file("out.txt");
    testsupport::writeFile(name, "old\n");
    const int status = statusOfChild([&] {
        ReplacementFile file(name);
        ReplacementFile second(dir.file("other.txt"));
        writeText(file, "partial");
        std::exit(3);
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"out.txt"});
    EXPECT_EQ(testsupport::readFile(name), "old\n");
}

}  // namespace

