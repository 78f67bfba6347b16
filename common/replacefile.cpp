#include "replacefile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "error.hpp"

namespace ldtools {
namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links from path to the name of the file they end at (which need not exist).
std::string finalTarget(std::string path) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        std::vector<char> link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
        const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
        if (length < 0 || static_cast<std::size_t>(length) >= link.size()) return path;
        std::string next(link.data(), static_cast<std::size_t>(length));
        path = next.front() == '/' ? next : folderOf(path) + "/" + next;
    }
    return path;  // a loop of links: opening it fails with ELOOP
}

int openDirect(const std::string& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// A new file named after base in folder, created exclusively with the permissions 0666 less the
// umask; -1 with errno set when none can be made.
int openTemporary(const std::string& folder, const std::string& base, std::string& name) {
    static std::uint64_t counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        timespec now {};
        ::clock_gettime(CLOCK_REALTIME, &now);
        const std::uint64_t mix = static_cast<std::uint64_t>(now.tv_nsec) ^
                                  (static_cast<std::uint64_t>(::getpid()) << 20) ^ (++counter << 40);
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%06llx.tmp", static_cast<unsigned long long>(mix & 0xFFFFFF));
        name = folder + "/." + base + suffix;
        int fd;
        do {
            fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

ReplacementFile::ReplacementFile(const std::string& path) : path_(path), target_(finalTarget(path)) {
    // The kind of file is taken from the name as given: the system follows links that have no name
    // to follow by text, such as /dev/stdout for a pipe.
    struct stat info {};
    const bool exists = ::stat(path_.c_str(), &info) == 0;
    struct stat targetInfo {};
    const bool sameFile = exists && ::stat(target_.c_str(), &targetInfo) == 0 && targetInfo.st_dev == info.st_dev &&
                          targetInfo.st_ino == info.st_ino;
    if (exists && (!S_ISREG(info.st_mode) || !sameFile)) {
        // A device, a pipe or a folder (which fails here with EISDIR), or a file reached through a
        // link whose target has no name: opened as it is.
        fd_ = openDirect(path_);
        if (fd_ < 0) throw SystemError("open", errno);
        return;
    }
    if (exists && ::access(target_.c_str(), W_OK) != 0) throw SystemError("open", errno);
    fd_ = openTemporary(folderOf(target_), baseOf(target_), temporary_);
    if (fd_ < 0) {
        temporary_.clear();
        fd_ = openDirect(target_);
        if (fd_ < 0) throw SystemError("open", errno);
        return;
    }
    if (exists) {
        // The replacement keeps the permission bits (and, where allowed, the owner) of the file.
        (void)::fchmod(fd_, info.st_mode & 07777);
        if (::geteuid() == 0) (void)!::fchown(fd_, info.st_uid, info.st_gid);
    }
}

ReplacementFile::~ReplacementFile() {
    abandon();
}

void ReplacementFile::commit() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        const int code = errno;
        if (!temporary_.empty()) ::unlink(temporary_.c_str());
        temporary_.clear();
        throw SystemError("close", code);
    }
    if (temporary_.empty()) return;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int code = errno;
        ::unlink(temporary_.c_str());
        temporary_.clear();
        throw SystemError("rename", code);
    }
    temporary_.clear();
}

void ReplacementFile::abandon() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

}  // namespace ldtools
