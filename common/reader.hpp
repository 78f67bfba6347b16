#pragma once
// Reading a file through a buffer of its own, straight from the descriptor.
//
// The file is opened exactly once (so a named pipe is never opened twice), a folder is refused
// with EISDIR at open, interrupted reads are resumed, and a read error is an error, never taken
// for the end of the file. Two ways to read: byte by byte (get), or a window of unread bytes
// that fill() extends (for readers that scan words or lines in place).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace ldtools {

// Opens a file for reading, resuming an interrupted open; a folder is refused. Returns the
// descriptor (close-on-exec) and, in regularSize, the size of a regular file (0 for anything
// else). Throws SystemError("open", errno).
int openForReading(const std::string& name, std::uint64_t* regularSize = nullptr);

// Makes room after the unread bytes buffer[pos, end) of a window: moves them to the front of the
// buffer and doubles the buffer when they fill it. More input then goes to buffer[end, size).
void makeRoomAfterUnread(std::vector<char>& buffer, std::size_t& pos, std::size_t& end);

class FileReader {
public:
    // Throws SystemError("open", errno) when the file cannot be opened or is a folder.
    explicit FileReader(const std::string& name, std::size_t bufferSize = std::size_t{1} << 16);
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    const std::string& name() const { return name_; }
    // Size in bytes of a regular file; 0 for anything else (a pipe, a device).
    std::uint64_t size() const { return size_; }
    // Bytes read from the file so far.
    std::uint64_t consumed() const { return consumed_; }

    // The next byte, or EOF at the end of the file. Throws SystemError("read", errno).
    int get() {
        if (pos_ == end_ && !refill()) return EOF;
        return static_cast<unsigned char>(buffer_[pos_++]);
    }

    // The unread bytes held in the buffer.
    const char* data() const { return buffer_.data() + pos_; }
    std::size_t available() const { return end_ - pos_; }
    void consume(std::size_t count) { pos_ += count; }
    // Reads more of the file after the unread bytes, which move to the front of the buffer; the
    // buffer doubles when they fill it. False at the end of the file (nothing was added).
    // Throws SystemError("read", errno).
    bool fill();
    // True once a read has met the end of the file.
    bool atEnd() const { return eof_; }
    // Up to room bytes: the unread bytes of the buffer first, else straight from the file; 0 at
    // the end of the file. Throws SystemError("read", errno).
    std::size_t read(char* into, std::size_t room);

private:
    bool refill();
    std::size_t readInto(char* into, std::size_t room);

    std::string name_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::uint64_t consumed_ = 0;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
};

}  // namespace ldtools
