#include "progress.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {
constexpr std::chrono::milliseconds redrawInterval{250};
}

Progress::Progress() : enabled_(::isatty(STDERR_FILENO) == 1), nextRedraw_(Clock::now() + redrawInterval) {}

Progress::~Progress() { clear(); }

void Progress::bytesRead(uint64_t done, uint64_t total) {
    if (!enabled_ || Clock::now() < nextRedraw_) return;
    constexpr uint64_t megabyte = 1 << 20;
    if (total >= done && total > 0) {
        show("ldtile: reading the bounds file: " + std::to_string(done * 100 / total) + "%");
    } else {
        show("ldtile: reading the bounds file: " + std::to_string(done / megabyte) + " MB");
    }
}

void Progress::show(const std::string& text) {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    if (now < nextRedraw_) return;
    nextRedraw_ = now + redrawInterval;
    std::string line(1, '\r');
    line.append(text);
    if (text.size() < shownWidth_) line.append(shownWidth_ - text.size(), ' ');
    std::fputs(line.c_str(), stderr);
    shownWidth_ = std::max(shownWidth_, text.size());
}

void Progress::clear() {
    if (shownWidth_ == 0) return;
    std::string blank(1, '\r');
    blank.append(shownWidth_, ' ');
    blank.push_back('\r');
    std::fputs(blank.c_str(), stderr);
    shownWidth_ = 0;
}
