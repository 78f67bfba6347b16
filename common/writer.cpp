#include "writer.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "error.hpp"

namespace ldtools {

void writeAll(int fd, const char* text, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t wrote = ::write(fd, text + done, length - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote < 0) throw SystemError("write", errno);
        // A write that makes no progress would loop for ever: the device takes nothing more.
        if (wrote == 0) throw SystemError("write", ENOSPC);
        done += static_cast<std::size_t>(wrote);
    }
}

void BufferedWriter::attach(int fd, std::size_t capacity) {
    fd_ = fd;
    failed_ = false;
    buffer_.assign(capacity > 0 ? capacity : 1, '\0');
    used_ = 0;
}

bool BufferedWriter::onTerminal() const {
    return fd_ >= 0 && ::isatty(fd_) == 1;
}

void BufferedWriter::flush() {
    if (failed_) throw SystemError("write", EIO);
    const std::size_t length = used_;
    used_ = 0;
    if (length == 0) return;
    try {
        writeAll(fd_, buffer_.data(), length);
    } catch (const SystemError&) {
        failed_ = true;
        throw;
    }
}

void BufferedWriter::discard() {
    used_ = 0;
    fd_ = -1;
}

void BufferedWriter::makeRoom(std::size_t length) {
    flush();
    if (length > buffer_.size()) buffer_.resize(length);
}

void BufferedWriter::vprintf(const char* format, va_list args) {
    char text[512];
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(text, sizeof text, format, args);
    if (length < 0) {
        va_end(again);
        return;
    }
    if (static_cast<std::size_t>(length) < sizeof text) {
        va_end(again);
        put(text, static_cast<std::size_t>(length));
        return;
    }
    std::vector<char> large(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(large.data(), large.size(), format, again);
    va_end(again);
    put(large.data(), static_cast<std::size_t>(length));
}

void BufferedWriter::printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
}

}  // namespace ldtools
