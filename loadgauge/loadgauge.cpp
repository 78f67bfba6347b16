#include "loadgauge.hpp"

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "error.hpp"
#include "writer.hpp"

namespace loadgauge {
namespace {

constexpr int NICEVALUE = 18;
constexpr size_t FILLERBLOCK = 512;
constexpr size_t REPORTCHUNK = 1 << 16;  // bytes collected before each write to standard output

// The failure of a system call, worded as perror words it: "what: reason".
[[noreturn]] void failsystem(const char* what) {
    throw ldtools::Error(std::string(what) + ": " + ldtools::systemReason(errno) + "\n");
}

// Creates a unique file from `path` (a mkstemp template) and removes its name
// at once, returning the open descriptor. All signals are held back between
// the two steps so that an interrupt cannot leave the file behind in /tmp.
int openNamelessFile(char* path) {
    sigset_t all, previous;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &previous);
    const int fd = mkstemp(path);
    const int mkstemperrno = errno;
    const int unlinked = fd < 0 ? 0 : unlink(path);
    const int unlinkerrno = errno;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (fd < 0) {
        errno = mkstemperrno;
        failsystem("loadgauge: mkstemp");
    }
    if (unlinked != 0 && unlinkerrno != ENOENT) {
        errno = unlinkerrno;
        failsystem("loadgauge: unlink");
    }
    return fd;
}

// Writes zero blocks of FILLERBLOCK bytes until the file holds at least `len` bytes.
void fillFile(int fd, size_t len) {
    static const std::array<char, FILLERBLOCK> zeros{};
    for (size_t written = 0; written < len; written += FILLERBLOCK) {
        if (write(fd, zeros.data(), zeros.size()) != static_cast<ssize_t>(zeros.size())) {
            failsystem("loadgauge: write dummy");
        }
    }
}

// Appends the lines of slot `slot`: one per process that ran in it, in order
// of process number, or a single line with process number 0.
void appendSlot(std::string& out, const std::vector<unsigned char*>& bufs, int slot) {
    bool anyran = false;
    for (size_t k = 0; k < bufs.size(); ++k) {
        if (bufs[k][slot] != 0) {
            appendSlotLine(out, slot, static_cast<int>(k + 1));
            anyran = true;
        }
    }
    if (!anyran) appendSlotLine(out, slot, 0);
}

// Forks the process that records `id` into `buf`; the child never returns.
void startChild(time_t t0, int id, unsigned char* buf) {
    std::fflush(stdout);  // a child must not inherit pending output
    const pid_t pid = fork();
    if (pid < 0) failsystem("loadgauge: fork");
    if (pid == 0) {
        doit(t0, id, buf);
        _exit(0);  // leaves the inherited stdio buffers alone
    }
}

}  // namespace

void writeText(int fd, const std::string& text) {
    try {
        ldtools::writeAll(fd, text.data(), text.size());
    } catch (const ldtools::SystemError& error) {
        errno = error.code();
        failsystem("loadgauge: write");
    }
}

int64_t slotof(const timeval& now, time_t t0) {
    const int32_t seconds = static_cast<int32_t>(now.tv_sec - t0);
    return (static_cast<int64_t>(seconds) * 1000000 + now.tv_usec) / SLOTUSEC;
}

void appendSlotLine(std::string& out, int slot, int p) {
    char line[64];
    const int n = std::snprintf(line, sizeof line, "%.2f %d\n", SLOTUSEC * slot / 1000.0, p);
    out.append(line, static_cast<size_t>(n));
}

void report(const std::vector<unsigned char*>& bufs, int fd) {
    std::string text;
    text.reserve(REPORTCHUNK + 64 * bufs.size());
    for (int slot = 0; slot < NSLOTS; ++slot) {
        appendSlot(text, bufs, slot);
        if (text.size() >= REPORTCHUNK) {
            writeText(fd, text);
            text.clear();
        }
    }
    writeText(fd, text);
}

unsigned char* salloc(size_t len) {
    char path[] = "/tmp/loadgauge-XXXXXX";
    const int fd = openNamelessFile(path);
    fillFile(fd, len);
    void* map = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) throw ldtools::Error("loadgauge: mmap() failed\n");
    close(fd);
    std::memset(map, 0, len);
    return static_cast<unsigned char*>(map);
}

void doit(time_t t0, int id, unsigned char* buf) {
    timeval now;
    gettimeofday(&now, nullptr);
    while (now.tv_sec < t0) {
        usleep(BARRIERUSEC);
        gettimeofday(&now, nullptr);
    }
    const unsigned char mark = static_cast<unsigned char>(id);
    for (;;) {
        gettimeofday(&now, nullptr);
        const int64_t slot = slotof(now, t0);
        if (slot > NSLOTS - 1) return;
        // A wall clock stepped back during the window must not write before the buffer.
        if (slot >= 0) buf[slot] = mark;
    }
}

int measure(int nprocs) {
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(getpid()), NICEVALUE) != 0) {
        failsystem("loadgauge: setpriority");
    }
    const time_t start = std::time(nullptr);
    const time_t t0 = start + STARTDELAY;

    std::vector<unsigned char*> bufs(static_cast<size_t>(nprocs));
    for (int i = 0; i < nprocs - 1; ++i) {
        bufs[i] = salloc(NSLOTS);
        startChild(t0, i + 1, bufs[i]);
    }
    bufs[nprocs - 1] = salloc(NSLOTS);
    doit(t0, nprocs, bufs[nprocs - 1]);

    report(bufs, STDOUT_FILENO);
    // Output that the system accepted but could not store may only show up here.
    if (close(STDOUT_FILENO) != 0) failsystem("loadgauge: write");
    return 0;
}

}  // namespace loadgauge
