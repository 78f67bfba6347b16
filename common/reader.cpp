#include "reader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "error.hpp"

namespace ldtools {

int openForReading(const std::string& name, std::uint64_t* regularSize) {
    int fd;
    do {
        fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) throw SystemError("open", errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int code = errno;
        ::close(fd);
        throw SystemError("open", code);
    }
    if (S_ISDIR(info.st_mode)) {
        ::close(fd);
        throw SystemError("open", EISDIR);
    }
    if (regularSize != nullptr) *regularSize = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
    return fd;
}

FileReader::FileReader(const std::string& name, std::size_t bufferSize)
    : name_(name), buffer_(bufferSize > 0 ? bufferSize : 1) {
    fd_ = openForReading(name, &size_);
}

FileReader::~FileReader() {
    if (fd_ >= 0) ::close(fd_);
}

std::size_t FileReader::readInto(char* into, std::size_t room) {
    if (eof_) return 0;
    ssize_t got;
    do {
        got = ::read(fd_, into, room);
    } while (got < 0 && errno == EINTR);
    if (got < 0) throw SystemError("read", errno);
    if (got == 0) eof_ = true;
    consumed_ += static_cast<std::uint64_t>(got);
    return static_cast<std::size_t>(got);
}

std::size_t FileReader::read(char* into, std::size_t room) {
    if (pos_ == end_) return readInto(into, room);
    const std::size_t count = room < end_ - pos_ ? room : end_ - pos_;
    std::memcpy(into, buffer_.data() + pos_, count);
    pos_ += count;
    return count;
}

bool FileReader::refill() {
    pos_ = end_ = 0;
    end_ = readInto(buffer_.data(), buffer_.size());
    return end_ > 0;
}

void makeRoomAfterUnread(std::vector<char>& buffer, std::size_t& pos, std::size_t& end) {
    if (pos > 0) {
        std::memmove(buffer.data(), buffer.data() + pos, end - pos);
        end -= pos;
        pos = 0;
    }
    if (end == buffer.size()) buffer.resize(buffer.size() * 2);
}

bool FileReader::fill() {
    if (eof_) return false;
    makeRoomAfterUnread(buffer_, pos_, end_);
    const std::size_t got = readInto(buffer_.data() + end_, buffer_.size() - end_);
    end_ += got;
    return got > 0;
}

}  // namespace ldtools
