#include "report.hpp"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

ReportStream fpo;
Progress progress;

namespace {

constexpr std::size_t kReportBuffer = 1 << 18;
constexpr long kWorkBetweenClockReads = 4096;
constexpr double kSecondsBetweenUpdates = 0.25;

double secondsNow() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

// ---- report stream ------------------------------------------------------------------------------------

void ReportStream::open(std::FILE* fp, std::string name) {
    fp_ = fp;
    name_ = std::move(name);
    buffer_.assign(kReportBuffer, '\0');
    used_ = 0;
    // The buffer above already gathers large blocks; a second layer of buffering would only copy.
    std::setvbuf(fp_, nullptr, _IONBF, 0);
}

bool ReportStream::onTerminal() const {
    return fp_ && isatty(fileno(fp_)) == 1;
}

bool ReportStream::drain() {
    const std::size_t length = used_;
    used_ = 0;
    return length == 0 || std::fwrite(buffer_.data(), 1, length, fp_) == length;
}

void ReportStream::makeRoom(std::size_t length) {
    if (!drain()) {
        std::FILE* fp = fp_;
        fp_ = nullptr;
        std::fclose(fp);
        fail({"\n\nCannot Write Output File " + name_ + "\n", "Exiting Now......\n\n"});
    }
    if (length > buffer_.size()) buffer_.resize(length);
}

void ReportStream::printf(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length < 0) return;
    if (static_cast<std::size_t>(length) < sizeof text) {
        put(text, static_cast<std::size_t>(length));
        return;
    }
    std::vector<char> large(static_cast<std::size_t>(length) + 1);
    va_start(args, format);
    std::vsnprintf(large.data(), large.size(), format, args);
    va_end(args);
    put(large.data(), static_cast<std::size_t>(length));
}

void ReportStream::close() {
    if (!fp_) return;
    std::FILE* fp = fp_;
    const bool written = drain() && std::fflush(fp) == 0 && !std::ferror(fp);
    fp_ = nullptr;
    const bool closed = std::fclose(fp) == 0;
    if (!written || !closed) fail({"\n\nCannot Write Output File " + name_ + "\n", "Exiting Now......\n\n"});
}

void ReportStream::abandon() {
    if (!fp_) return;
    if (drain()) std::fflush(fp_);
    std::fclose(fp_);
    fp_ = nullptr;
}

// ---- failures -----------------------------------------------------------------------------------------

void fail(std::initializer_list<std::string> pieces) {
    progress.erase();
    fpo.abandon();
    for (const std::string& piece : pieces) std::fputs(piece.c_str(), stderr);
    std::exit(1);
}

void failInFile(const std::string& inputName, int line, const char* reason) {
    fail({"\n\nError in File " + inputName + " at Line " + std::to_string(line) + "\n", reason,
          "Exiting Now....\n\n\n"});
}

// ---- progress -----------------------------------------------------------------------------------------

void Progress::start(bool reportOnTerminal) {
    enabled_ = isatty(2) == 1 && !reportOnTerminal;
    pairs_ = 0;
    tables_ = 0;
    marker_ = 0;
    nMarkers_ = 0;
    nextCheck_ = kWorkBetweenClockReads;
    lastShown_ = secondsNow();
    shownWidth_ = 0;
}

void Progress::refresh() {
    nextCheck_ = pairs_ + tables_ + kWorkBetweenClockReads;
    const double now = secondsNow();
    if (now - lastShown_ < kSecondsBetweenUpdates) return;
    lastShown_ = now;
    char text[160];
    const int length = std::snprintf(text, sizeof text, "\rlinkstat: %ld pairs written (marker %d of %d), %ld tables evaluated",
                                     pairs_, marker_ + 1, nMarkers_, tables_);
    if (length <= 0) return;
    std::string line(text, static_cast<std::size_t>(length));
    const std::size_t width = line.size() - 1;
    if (width < shownWidth_) line.append(shownWidth_ - width, ' ');
    shownWidth_ = std::max(shownWidth_, width);
    std::fputs(line.c_str(), stderr);
}

void Progress::erase() {
    if (shownWidth_ == 0) return;
    std::string blank(shownWidth_ + 2, ' ');
    blank.front() = blank.back() = '\r';
    std::fputs(blank.c_str(), stderr);
    shownWidth_ = 0;
}
