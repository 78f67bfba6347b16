#pragma once
// A file of a harness's own in /tmp, rewritten with every input: for readers that take a file name.
// A failure to make or write it is no finding of the harness: it says so and aborts.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzsupport {

class ScratchFile {
public:
    // harness: the harness's name, for the file's name and the message of a failure.
    explicit ScratchFile(const std::string& harness) : harness_(harness) {
        std::string name = "/tmp/" + harness + "-XXXXXX";
        fd_ = ::mkstemp(name.data());
        if (fd_ < 0) fail("cannot make a scratch file");
        name_ = name;
    }
    ~ScratchFile() {
        ::close(fd_);
        ::unlink(name_.c_str());
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Makes the file hold exactly these bytes; returns its name.
    const std::string& hold(const std::uint8_t* data, std::size_t size) {
        if (::ftruncate(fd_, 0) != 0) fail("cannot empty the scratch file");
        std::size_t done = 0;
        while (done < size) {
            const ssize_t wrote = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            if (wrote <= 0) fail("cannot write the scratch file");
            done += static_cast<std::size_t>(wrote);
        }
        return name_;
    }
    const std::string& name() const { return name_; }

private:
    [[noreturn]] void fail(const char* what) const {
        std::fprintf(stderr, "%s: %s\n", harness_.c_str(), what);
        std::abort();
    }

    std::string harness_;
    int fd_ = -1;
    std::string name_;
};

}  // namespace fuzzsupport
