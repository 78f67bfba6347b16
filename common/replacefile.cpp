#include "replacefile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
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

// Temporary files still open, removed by the handler of the signals that end a process (an
// interrupt, a hang-up, a termination request, a broken pipe) before the signal takes effect, so a
// run stopped from outside leaves no temporary file behind. Only signals whose action is the
// default are caught: a program or shell that ignores or handles one keeps its own choice.
class PendingTemporaries {
public:
    static PendingTemporaries& instance() {
        static PendingTemporaries pending;
        return pending;
    }

    // A slot for name, or -1 when the name is too long or every slot is taken (the file is then
    // only removed by the normal paths).
    int add(const std::string& name) {
        std::call_once(installed_, [] { installHandlers(); });
        if (name.size() >= kNameRoom) return -1;
        std::lock_guard<std::mutex> lock(mutex_);
        for (int slot = 0; slot < kSlots; ++slot) {
            if (used_[slot].load()) continue;
            std::memcpy(names_[slot].data(), name.c_str(), name.size() + 1);
            used_[slot].store(true);
            return slot;
        }
        return -1;
    }

    void remove(int slot) {
        if (slot < 0) return;
        std::lock_guard<std::mutex> lock(mutex_);
        used_[slot].store(false);
    }

private:
    static constexpr int kSlots = 32;
    static constexpr std::size_t kNameRoom = 4096;

    static void installHandlers() {
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
            struct sigaction current {};
            if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
            struct sigaction action {};
            action.sa_handler = &onSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESETHAND;
            ::sigaction(signal, &action, nullptr);
        }
    }

    // Only async-signal-safe calls: unlink, then the signal again with its default action.
    static void onSignal(int signal) {
        PendingTemporaries& pending = instance();
        for (int slot = 0; slot < kSlots; ++slot)
            if (pending.used_[slot].load()) ::unlink(pending.names_[slot].data());
        ::raise(signal);
    }

    std::once_flag installed_;
    std::mutex mutex_;
    std::array<std::atomic<bool>, kSlots> used_{};
    std::array<std::array<char, kNameRoom>, kSlots> names_{};
};

}  // namespace

bool sameFile(const std::string& name1, const std::string& name2) {
    if (name1 == name2) return true;
    struct stat info1 {}, info2 {};
    const bool exists1 = ::stat(name1.c_str(), &info1) == 0;
    const bool exists2 = ::stat(name2.c_str(), &info2) == 0;
    // What is written to a device or a pipe goes through it and replaces nothing.
    if (exists1 && exists2)
        return S_ISREG(info1.st_mode) && info1.st_dev == info2.st_dev && info1.st_ino == info2.st_ino;
    if (exists1 || exists2) return false;
    const std::string target1 = finalTarget(name1);
    const std::string target2 = finalTarget(name2);
    if (baseOf(target1) != baseOf(target2)) return false;
    struct stat folder1 {}, folder2 {};
    return ::stat(folderOf(target1).c_str(), &folder1) == 0 && ::stat(folderOf(target2).c_str(), &folder2) == 0 &&
           folder1.st_dev == folder2.st_dev && folder1.st_ino == folder2.st_ino;
}

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
    pendingSlot_ = PendingTemporaries::instance().add(temporary_);
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
        removeTemporary();
        throw SystemError("close", code);
    }
    if (temporary_.empty()) return;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int code = errno;
        removeTemporary();
        throw SystemError("rename", code);
    }
    PendingTemporaries::instance().remove(pendingSlot_);
    pendingSlot_ = -1;
    temporary_.clear();
}

void ReplacementFile::removeTemporary() noexcept {
    if (temporary_.empty()) return;
    ::unlink(temporary_.c_str());
    PendingTemporaries::instance().remove(pendingSlot_);
    pendingSlot_ = -1;
    temporary_.clear();
}

void ReplacementFile::abandon() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    removeTemporary();
}

}  // namespace ldtools
