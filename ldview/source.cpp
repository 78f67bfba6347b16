#include "source.hpp"

#include <fcntl.h>
#include <htslib/bgzf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "error.hpp"
#include "reader.hpp"

namespace ldview {
namespace {

class PlainSource : public ByteSource {
public:
    explicit PlainSource(const std::string& name) : file_(open(name)) {}

    std::size_t read(char* into, std::size_t room) override {
        try {
            return file_.read(into, room);
        } catch (const ldtools::SystemError& error) {
            throw SourceError("read", error.reason());
        }
    }
    bool compressed() const override { return false; }

private:
    static ldtools::FileReader open(const std::string& name) {
        try {
            return ldtools::FileReader(name, 1 << 16);
        } catch (const ldtools::SystemError& error) {
            throw SourceError("open", error.reason());
        }
    }

    ldtools::FileReader file_;
};

class CompressedSource : public ByteSource {
public:
    explicit CompressedSource(const std::string& name) {
        errno = 0;
        file_ = bgzf_open(name.c_str(), "r");
        if (file_ == nullptr) throw SourceError("open", ldtools::systemReason(errno));
        // BGZF blocks inflate independently: a second thread keeps the parser fed.
        if (bgzf_compression(file_) == 2) (void)bgzf_mt(file_, 2, 64);
    }
    ~CompressedSource() override { bgzf_close(file_); }
    CompressedSource(const CompressedSource&) = delete;
    CompressedSource& operator=(const CompressedSource&) = delete;

    std::size_t read(char* into, std::size_t room) override {
        errno = 0;
        const ssize_t got = bgzf_read(file_, into, room);
        if (got >= 0) return static_cast<std::size_t>(got);
        // A file cut short is an input error without a system error behind it.
        if ((file_->errcode & BGZF_ERR_IO) && errno != 0) throw SourceError("read", ldtools::systemReason(errno));
        throw SourceError("read", "damaged or truncated compressed data");
    }
    bool compressed() const override { return true; }

private:
    BGZF* file_ = nullptr;
};

// Whether the regular file name begins with the gzip magic bytes (a pipe is never looked into: its
// bytes could not be read twice).
bool gzipFile(const std::string& name) {
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    int fd;
    do {
        fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;  // the plain reader reports why
    unsigned char magic[2] = {0, 0};
    const ssize_t got = ::pread(fd, magic, 2, 0);
    ::close(fd);
    return got == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
}

inline bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::unique_ptr<ByteSource> openSource(const std::string& name) {
    if (gzipFile(name)) return std::make_unique<CompressedSource>(name);
    return std::make_unique<PlainSource>(name);
}

SourceBuffer::SourceBuffer(std::unique_ptr<ByteSource> source, std::size_t size)
    : source_(std::move(source)), buffer_(std::make_unique_for_overwrite<char[]>(size > 0 ? size : 1)),
      size_(size > 0 ? size : 1) {}

bool SourceBuffer::fill() {
    if (eof_) return false;
    if (pos_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    if (end_ == size_) {
        auto larger = std::make_unique_for_overwrite<char[]>(2 * size_);
        std::memcpy(larger.get(), buffer_.get(), end_);
        buffer_ = std::move(larger);
        size_ *= 2;
    }
    const std::size_t got = source_->read(buffer_.get() + end_, size_ - end_);
    if (got == 0) eof_ = true;
    end_ += got;
    return got > 0;
}

bool LineSource::next(std::string_view& line) {
    std::size_t scanned = 0;  // bytes of the window known to hold no line break
    for (;;) {
        const char* text = buffer_.data();
        const std::size_t available = buffer_.available();
        const void* found = std::memchr(text + scanned, '\n', available - scanned);
        if (found != nullptr) {
            const std::size_t length = static_cast<const char*>(found) - text;
            if (length > maxLength) break;
            ++number_;
            line = std::string_view(text, length);
            buffer_.consume(length + 1);
            return true;
        }
        scanned = available;
        if (scanned > maxLength) break;
        if (!buffer_.fill()) {
            if (available == 0) return false;
            ++number_;
            line = std::string_view(buffer_.data(), available);
            buffer_.consume(available);
            return true;
        }
    }
    ++number_;
    tooLong_ = true;
    return false;
}

std::vector<std::string_view> splitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t k = 0;
    while (k < line.size()) {
        while (k < line.size() && isSpace(line[k])) ++k;
        const std::size_t start = k;
        while (k < line.size() && !isSpace(line[k])) ++k;
        if (k > start) words.push_back(line.substr(start, k - start));
    }
    return words;
}

std::vector<std::string_view> splitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) return fields;
        start = tab + 1;
    }
}

}  // namespace ldview
