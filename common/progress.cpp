#include "progress.hpp"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace ldtools {
namespace {
constexpr std::chrono::milliseconds kRedrawInterval{250};
}

ProgressLine::ProgressLine(bool enabled) {
    restart(enabled);
}

void ProgressLine::restart(bool enabled) {
    clear();
    enabled_ = enabled && ::isatty(STDERR_FILENO) == 1;
    nextDrawing_ = Clock::now() + kRedrawInterval;
}

bool ProgressLine::due() const {
    return enabled_ && Clock::now() >= nextDrawing_;
}

void ProgressLine::show(std::string_view text) {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    if (now < nextDrawing_) return;
    nextDrawing_ = now + kRedrawInterval;
    std::string line(1, '\r');
    line.append(text);
    if (text.size() < shownWidth_) line.append(shownWidth_ - text.size(), ' ');
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    if (text.size() > shownWidth_) shownWidth_ = text.size();
}

void ProgressLine::clear() {
    if (shownWidth_ == 0) return;
    std::string blank(1, '\r');
    blank.append(shownWidth_, ' ');
    blank.push_back('\r');
    std::fputs(blank.c_str(), stderr);
    std::fflush(stderr);
    shownWidth_ = 0;
}

}  // namespace ldtools
