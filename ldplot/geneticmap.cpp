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
#include "mapformat.hpp"
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
    ldtools::StreamWindow window([&](char* into, std::size_t room) { return file.read(into, room); });
    std::vector<double> result(at.size(), std::numeric_limits<double>::quiet_NaN());
    std::size_t next = 0;  // the first of `at` not yet past
    bool havePoint = false;
    ldtools::MapPoint last;
    try {
        ldtools::forEachMapPoint(window, LineReader::kMaxLength, [&](const ldtools::MapPoint& point) {
            // Every requested position below this point is settled: before the map (unknown), or
            // between the last point and this one.
            while (next < at.size() && at[next] < point.position) {
                if (havePoint && at[next] >= last.position) {
                    const double share = (at[next] - last.position) / (static_cast<double>(point.position) - last.position);
                    result[next] = last.cm + (point.cm - last.cm) * share;
                }
                ++next;
            }
            havePoint = true;
            last = point;
        });
    } catch (const ldtools::FormatError& error) {
        failAt(name, error.line(), error.what());
    }
    // A requested position on the last point itself.
    while (havePoint && next < at.size() && at[next] == last.position) result[next++] = last.cm;
    return result;
}

}  // namespace ldplot
