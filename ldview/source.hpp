#pragma once
// The bytes and lines of ldview's input files, plain or compressed. Every input is opened here, so
// that another reader can take the place of this one without touching the rest of the program.
//
// A regular file that begins with the gzip magic bytes is read through htslib (gzip, or BGZF with
// two threads inflating blocks); anything else, pipes included, is read as it is.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ldview {

// A file that cannot be opened or read: the operation ("open", "read") and the reason in the
// system's or the decompressor's words.
class SourceError : public std::runtime_error {
public:
    SourceError(std::string operation, const std::string& reason)
        : std::runtime_error(reason), operation_(std::move(operation)) {}
    const std::string& operation() const { return operation_; }

private:
    std::string operation_;
};

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to room bytes; 0 at the end of the file. Throws SourceError("read", ...).
    virtual std::size_t read(char* into, std::size_t room) = 0;
    // True when the file is gzip or BGZF.
    virtual bool compressed() const = 0;
};

// Opens name. Throws SourceError("open", ...) when it cannot be opened or is a folder.
std::unique_ptr<ByteSource> openSource(const std::string& name);

// The bytes of a source in a window that grows on demand, for readers that scan words or lines in
// place.
class SourceBuffer {
public:
    explicit SourceBuffer(std::unique_ptr<ByteSource> source, std::size_t size = std::size_t{1} << 20);

    const char* data() const { return buffer_.get() + pos_; }
    std::size_t available() const { return end_ - pos_; }
    void consume(std::size_t count) { pos_ += count; }
    // Reads more after the unread bytes (which move to the front; the buffer doubles when they
    // fill it). False at the end of the file.
    bool fill();
    bool compressed() const { return source_->compressed(); }

private:
    std::unique_ptr<ByteSource> source_;
    std::unique_ptr<char[]> buffer_;  // not cleared: only bytes read are looked at
    std::size_t size_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
};

// The lines of a source, without their line breaks (a last line without one counts). A line may be
// at most maxLength bytes, so that a file without line breaks cannot fill memory.
class LineSource {
public:
    static constexpr std::size_t maxLength = std::size_t{1} << 20;

    explicit LineSource(std::unique_ptr<ByteSource> source) : buffer_(std::move(source), std::size_t{1} << 16) {}

    // The next line (valid until the next call); false at the end, or with tooLong() set when a
    // line exceeds maxLength.
    bool next(std::string_view& line);
    // Number of the line next() returned last (1 for the first).
    long number() const { return number_; }
    bool tooLong() const { return tooLong_; }

private:
    SourceBuffer buffer_;
    long number_ = 0;
    bool tooLong_ = false;
};

// The runs of characters other than white space (space, tab, CR, ...) of a line.
std::vector<std::string_view> splitWords(std::string_view line);

// The fields of a line split at every tab (empty fields kept).
std::vector<std::string_view> splitTabs(std::string_view line);

}  // namespace ldview
