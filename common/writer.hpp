#pragma once
// Buffered output straight to a descriptor, checked on every write.
//
// Text is gathered in a buffer and written in large blocks; formatted text goes through a stack
// buffer and falls back to the heap for long results. A failed or short write throws
// SystemError("write", errno) at once, so no run that lost output can end as a success; after
// that the writer holds nothing and writes nothing more.

#include <cstdarg>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

namespace ldtools {

class BufferedWriter {
public:
    BufferedWriter() = default;
    explicit BufferedWriter(int fd, std::size_t capacity = std::size_t{1} << 16) { attach(fd, capacity); }
    // Not copyable: two copies would write the same buffered text twice.
    BufferedWriter(const BufferedWriter&) = delete;
    BufferedWriter& operator=(const BufferedWriter&) = delete;

    // Starts writing to fd (which the writer does not own) with an empty buffer.
    void attach(int fd, std::size_t capacity = std::size_t{1} << 16);
    int fd() const { return fd_; }
    bool attached() const { return fd_ >= 0; }
    // True when the descriptor is a terminal.
    bool onTerminal() const;
    bool failed() const { return failed_; }

    void put(const char* text, std::size_t length) {
        if (length > buffer_.size() - used_) makeRoom(length);
        std::memcpy(buffer_.data() + used_, text, length);
        used_ += length;
    }
    void put(std::string_view text) { put(text.data(), text.size()); }
    void put(char c) { put(&c, 1); }
    void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void vprintf(const char* format, va_list args);

    // Writes everything buffered. Throws SystemError("write", errno) on failure.
    void flush();
    // Forgets what is buffered and detaches, without writing (the way out after another error).
    void discard();

private:
    void makeRoom(std::size_t length);

    int fd_ = -1;
    bool failed_ = false;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
};

// Writes all of text to fd, resuming after interrupts and short writes. Throws
// SystemError("write", errno).
void writeAll(int fd, const char* text, std::size_t length);

}  // namespace ldtools
