#include "textinput.hpp"

#include <htslib/bgzf.h>
#include <htslib/hfile.h>
#include <htslib/hts.h>

#include <cerrno>

#include "error.hpp"

namespace ldtools {
namespace {

constexpr const char* kDamagedReason = "damaged or truncated compressed data";

// The file itself is opened once, by FileReader; it reads straight into the window's buffer, so
// its own buffer is never used.
constexpr std::size_t kUnusedBuffer = 1;

}  // namespace

TextInput::TextInput(const std::string& name, std::size_t bufferSize) try
    : file_(name, kUnusedBuffer), buffer_(bufferSize > 1 ? bufferSize : 2) {
    // The first two bytes tell the form.
    while (available() < 2 && fill()) {
    }
    if (available() < 2 || static_cast<unsigned char>(data()[0]) != 0x1f ||
        static_cast<unsigned char>(data()[1]) != 0x8b)
        return;
    if (file_.size() == 0) throw InputError("read", kCompressedPipeReason);
    openCompressed();
} catch (const SystemError& error) {
    throw InputError(error.operation(), error.reason());
}

TextInput::~TextInput() {
    if (compressedFile_ != nullptr) bgzf_close(compressedFile_);
}

// A regular file can be opened a second time: the decompressor reads it from its start.
void TextInput::openCompressed() {
    // htslib's own log lines would come between a program's messages; its failures surface as
    // InputErrors.
    hts_set_log_level(HTS_LOG_OFF);
    errno = 0;
    compressedFile_ = bgzf_open(name().c_str(), "r");
    if (compressedFile_ == nullptr) throw InputError("open", systemReason(errno));
    // BGZF blocks inflate independently: a second thread keeps the reader fed.
    if (bgzf_compression(compressedFile_) == 2) (void)bgzf_mt(compressedFile_, 2, 64);
    compressed_ = true;
    pos_ = end_ = 0;
    atEnd_ = false;
}

std::uint64_t TextInput::bytesRead() const {
    if (compressedFile_ == nullptr) return file_.consumed();
    const off_t offset = htell(compressedFile_->fp);
    return offset > 0 ? static_cast<std::uint64_t>(offset) : 0;
}

std::size_t TextInput::readMore(char* into, std::size_t room) {
    if (compressedFile_ == nullptr) {
        try {
            return file_.read(into, room);
        } catch (const SystemError& error) {
            throw InputError("read", error.reason());
        }
    }
    errno = 0;
    const ssize_t got = bgzf_read(compressedFile_, into, room);
    if (got > 0) return static_cast<std::size_t>(got);
    if (got < 0) {
        // A file cut short is an input error without a system error behind it.
        if ((compressedFile_->errcode & BGZF_ERR_IO) && errno != 0) throw InputError("read", systemReason(errno));
        throw InputError("read", kDamagedReason);
    }
    // A BGZF file ends with an empty block: without it the file was cut at a block boundary (a
    // writer that stopped), and the records after the cut would silently be missing.
    if (bgzf_compression(compressedFile_) == 2 && bgzf_check_EOF(compressedFile_) == 0)
        throw InputError("read", kDamagedReason);
    return 0;
}

bool TextInput::fill() {
    if (atEnd_) return false;
    makeRoomAfterUnread(buffer_, pos_, end_);
    const std::size_t got = readMore(buffer_.data() + end_, buffer_.size() - end_);
    if (got == 0) atEnd_ = true;
    end_ += got;
    return got > 0;
}

}  // namespace ldtools
