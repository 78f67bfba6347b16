#pragma once
// A text file of the tool-chain as a window of unread bytes for the text scanner, plain or
// compressed: the form is recognised by content, not by name.
//
// A regular file that begins with the gzip magic bytes (0x1f 0x8b) is inflated through htslib
// (plain gzip, or BGZF with a second thread inflating blocks); anything else is read as it is.
// A pipe is read once and never looked into twice, so compressed data from a pipe cannot be
// handed to the decompressor from its start: they are refused with their own reason rather than
// read as text.
//
// Errors are InputErrors: the operation ("open", "read") and the reason in the system's or the
// decompressor's words; each program words its message from them ("cannot read bounds file
// NAME: REASON").

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "reader.hpp"

struct BGZF;

namespace ldtools {

class InputError : public std::runtime_error {
public:
    InputError(std::string operation, const std::string& reason)
        : std::runtime_error(reason), operation_(std::move(operation)) {}
    const std::string& operation() const { return operation_; }

private:
    std::string operation_;
};

// A line of an input file that breaks its format: the number of the line and the reason, without
// a file or program name (what() is the reason).
class FormatError : public std::runtime_error {
public:
    FormatError(long line, const std::string& reason) : std::runtime_error(reason), line_(line) {}
    long line() const { return line_; }

private:
    long line_;
};

// The reason of a read of compressed data that a pipe brings.
inline constexpr const char* kCompressedPipeReason =
    "gzip-compressed data are read from a regular file only, not from a pipe";

class TextInput {
public:
    // Opens name once (a folder is refused) and reads its first bytes to tell the form. Throws
    // InputError("open", ...) or InputError("read", ...).
    explicit TextInput(const std::string& name, std::size_t bufferSize = std::size_t{1} << 16);
    ~TextInput();
    TextInput(const TextInput&) = delete;
    TextInput& operator=(const TextInput&) = delete;

    const std::string& name() const { return file_.name(); }
    // True when the file is gzip or BGZF.
    bool compressed() const { return compressed_; }
    // Size in bytes of a regular file (compressed, as on disk), else 0.
    std::uint64_t size() const { return file_.size(); }
    // Bytes of the file (compressed, as on disk) read so far.
    std::uint64_t bytesRead() const;

    // The window: the unread bytes (inflated ones for a compressed file).
    const char* data() const { return buffer_.data() + pos_; }
    std::size_t available() const { return end_ - pos_; }
    void consume(std::size_t count) { pos_ += count; }
    // Reads more after the unread bytes, which move to the front of the buffer; the buffer doubles
    // when they fill it. False at the end of the file. Throws InputError("read", ...).
    bool fill();

private:
    std::size_t readMore(char* into, std::size_t room);
    void openCompressed();

    FileReader file_;
    BGZF* compressedFile_ = nullptr;
    bool compressed_ = false;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool atEnd_ = false;
};

}  // namespace ldtools
