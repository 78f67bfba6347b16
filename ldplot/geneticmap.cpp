#include "geneticmap.hpp"

#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <limits>

#include "error.hpp"
#include "lines.hpp"
#include "numbers.hpp"
#include "reader.hpp"
#include "textscanner.hpp"

namespace ldplot {
namespace {

// The map, gzip-compressed or plain (zlib reads both), opened once: a pipe works too.
class MapFile {
public:
    explicit MapFile(const std::string& name) : name_(name) {
        int fd;
        try {
            fd = ldtools::openForReading(name);
        } catch (const ldtools::SystemError& error) {
            openError(error.code());
        }
        file_ = ::gzdopen(fd, "rb");
        if (file_ == nullptr) {
            ::close(fd);
            openError(ENOMEM);
        }
        ::gzbuffer(file_, 1U << 16);
    }
    ~MapFile() { ::gzclose(file_); }
    MapFile(const MapFile&) = delete;
    MapFile& operator=(const MapFile&) = delete;

    std::size_t read(char* into, std::size_t room) {
        const unsigned want = room > (1U << 30) ? (1U << 30) : static_cast<unsigned>(room);
        errno = 0;
        const int count = ::gzread(file_, into, want);
        if (count > 0) return static_cast<std::size_t>(count);
        // zlib reports a file cut short ("unexpected end of file") only once the data before the
        // cut has been handed over, and then returns 0: the end counts only without an error.
        int code = Z_OK;
        const char* text = ::gzerror(file_, &code);
        if (count == 0 && code == Z_OK) return 0;
        std::string reason = code == Z_ERRNO ? ldtools::systemReason(errno) : std::string(text);
        // zlib puts the name it has for the file, "<fd:N>", in front of its message.
        if (reason.compare(0, 4, "<fd:") == 0 && reason.find(">: ") != std::string::npos)
            reason.erase(0, reason.find(">: ") + 3);
        throw ldtools::Error("ldplot: cannot read genetic map " + name_ + ": " + reason + "\n");
    }

private:
    [[noreturn]] void openError(int code) {
        throw ldtools::Error("ldplot: cannot open genetic map " + name_ + ": " + ldtools::systemReason(code) + "\n");
    }

    std::string name_;
    gzFile file_ = nullptr;
};

}  // namespace

std::vector<double> geneticPositions(const std::string& name, const std::vector<double>& at) {
    MapFile file(name);
    LineReader lines([&](char* into, std::size_t room) { return file.read(into, room); });
    const double unknown = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> result(at.size(), unknown);
    std::size_t next = 0;  // the first of `at` not yet past

    std::string_view line;
    std::string chromosome;
    bool header = true;
    bool havePoint = false;
    std::int32_t lastPosition = 0;
    double lastCm = 0.0;
    while (lines.next(line)) {
        const std::vector<std::string_view> words = ldtools::splitWords(line);
        std::int32_t position = 0;
        if (header) {
            header = false;
            if (words.size() != 3 || ldtools::parseInt32(words[0], position) == ldtools::WholeNumber::ok)
                failAt(name, lines.number(), "expected the header line pos chr cM");
            continue;
        }
        if (words.empty()) continue;
        double cm = 0.0;
        // A genetic position is a finite decimal number, read as the bounds reader reads a bound.
        if (words.size() != 3 || ldtools::parseInt32(words[0], position) != ldtools::WholeNumber::ok ||
            !ldtools::parseDecimal(words[2], cm))
            failAt(name, lines.number(), "expected three columns: position, chromosome, cM");
        if (!havePoint) {
            chromosome = words[1];
        } else {
            if (words[1] != chromosome)
                failAt(name, lines.number(), "chromosome " + ldtools::quotable(words[1]) + " after " + ldtools::quotable(chromosome) +
                                                 ": the map must hold one chromosome");
            if (position <= lastPosition)
                failAt(name, lines.number(), "position " + std::to_string(position) + " does not lie above " +
                                                 std::to_string(lastPosition) + ", the position before it");
            if (cm < lastCm) failAt(name, lines.number(), "the genetic position (cM) decreases");
        }
        // Every requested position below this point is settled: before the map (unknown), or
        // between the last point and this one.
        while (next < at.size() && at[next] < position) {
            if (havePoint && at[next] >= lastPosition) {
                const double share = (at[next] - lastPosition) / (static_cast<double>(position) - lastPosition);
                result[next] = lastCm + (cm - lastCm) * share;
            }
            ++next;
        }
        havePoint = true;
        lastPosition = position;
        lastCm = cm;
    }
    if (lines.tooLong()) failAt(name, lines.number(), lineTooLong());
    if (header) failAt(name, 1, "expected the header line pos chr cM");
    // A requested position on the last point itself.
    while (havePoint && next < at.size() && at[next] == lastPosition) result[next++] = lastCm;
    return result;
}

}  // namespace ldplot
