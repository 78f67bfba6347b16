#include "replacefile.hpp"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <string>
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

// The descriptor that name stands for when it is one of the system's names of an open
// descriptor (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N, /proc/PID/fd/N of this
// process); -1 for any other name.
int descriptorNamed(const std::string& name) {
    if (name == "/dev/stdout") return 1;
    if (name == "/dev/stderr") return 2;
    const std::string ownFolder = "/proc/" + std::to_string(::getpid()) + "/fd/";
    for (const std::string& folder : {std::string("/dev/fd/"), std::string("/proc/self/fd/"), ownFolder}) {
        if (name.compare(0, folder.size(), folder) != 0) continue;
        const std::string number = name.substr(folder.size());
        if (number.empty() || number.size() > 9 || number.find_first_not_of("0123456789") != std::string::npos)
            return -1;
        return std::stoi(number);
    }
    return -1;
}

// Where a destination leads: the name of the file at the end of its symbolic links (which need
// not exist), or the descriptor named on the way.
struct Resolved {
    std::string target;
    int descriptor = -1;
};

Resolved resolve(std::string path) {
    for (int depth = 0; depth < 40; ++depth) {
        if (const int descriptor = descriptorNamed(path); descriptor >= 0) return {path, descriptor};
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return {path};
        std::vector<char> link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
        const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
        if (length < 0 || static_cast<std::size_t>(length) >= link.size()) return {path};
        std::string next(link.data(), static_cast<std::size_t>(length));
        path = !next.empty() && next.front() == '/' ? next : folderOf(path) + "/" + next;
    }
    return {path};  // a loop of links: opening it fails with ELOOP
}

// A descriptor of its own onto the open descriptor fd, which must allow writing.
int duplicateForWriting(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) throw SystemError("open", errno);
    if ((flags & O_ACCMODE) == O_RDONLY) throw SystemError("open", EBADF);
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) throw SystemError("open", errno);
    return copy;
}

int openDirect(const std::string& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// "." and eight letters or digits: short, so that any name the folder takes leaves room for it,
// and drawn from the system's random source (or else from the clock, the process and a counter),
// so that names rarely collide.
std::string temporaryBase() {
    static constexpr char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
        timespec now {};
        ::clock_gettime(CLOCK_REALTIME, &now);
        bits = static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(now.tv_sec) << 30) ^
               (static_cast<std::uint64_t>(::getpid()) << 20) ^ (++counter << 44);
        // One round of a 64-bit mixer, so that every input bit moves every character.
        bits = (bits ^ (bits >> 30)) * 0xBF58476D1CE4E5B9ULL;
        bits = (bits ^ (bits >> 27)) * 0x94D049BB133111EBULL;
        bits ^= bits >> 31;
    }
    std::string base = ".";
    for (int i = 0; i < 8; ++i) {
        base.push_back(kAlphabet[bits % 62]);
        bits /= 62;
    }
    return base;
}

// A new file in folder, created exclusively with the permissions 0666 less the umask; -1 with
// errno set when none can be made.
int openTemporary(const std::string& folder, std::string& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder + "/" + temporaryBase();
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
// default are caught: a program or shell that ignores or handles one keeps its own choice. They
// are removed as well when a library ends the process with exit() in the middle of a run (htslib
// does on some damaged input), which runs no destructor of the objects that own them.
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
        std::atexit(&removeAll);
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

    // Only async-signal-safe calls.
    static void removeAll() {
        PendingTemporaries& pending = instance();
        for (int slot = 0; slot < kSlots; ++slot)
            if (pending.used_[slot].load()) ::unlink(pending.names_[slot].data());
    }

    // The files removed, then the signal again with its default action.
    static void onSignal(int signal) {
        removeAll();
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
    const std::string target1 = resolve(name1).target;
    const std::string target2 = resolve(name2).target;
    if (baseOf(target1) != baseOf(target2)) return false;
    struct stat folder1 {}, folder2 {};
    return ::stat(folderOf(target1).c_str(), &folder1) == 0 && ::stat(folderOf(target2).c_str(), &folder2) == 0 &&
           folder1.st_dev == folder2.st_dev && folder1.st_ino == folder2.st_ino;
}

ReplacementFile::ReplacementFile(const std::string& path) : path_(path) {
    const Resolved resolved = resolve(path);
    if (resolved.descriptor >= 0) {
        fd_ = duplicateForWriting(resolved.descriptor);
        return;
    }
    target_ = resolved.target;
    // The kind of file is taken from the name as given: the system follows links that have no name
    // to follow by text.
    struct stat info {};
    const bool exists = ::stat(path_.c_str(), &info) == 0;
    // A name the system cannot look up (too long, a loop of links, a folder that may not be
    // searched) could not be renamed over either.
    if (!exists && errno != ENOENT) throw SystemError("open", errno);
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
    fd_ = openTemporary(folderOf(target_), temporary_);
    if (fd_ < 0) {
        const int code = errno;
        temporary_.clear();
        // A folder that may not be written around a file that may: the file can only be written
        // in place. Any other failure leaves the destination alone.
        if (!exists || (code != EACCES && code != EPERM)) throw SystemError("open", code);
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
