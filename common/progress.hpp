#pragma once
// A one-line progress indicator on standard error.
//
// It is shown only when standard error is a terminal (and, when the caller says so, only when
// the program's own output does not go to that terminal, where its lines would run into the
// indicator). It appears once a run has taken a moment, is redrawn at most four times a second,
// each text padded over the last, and is erased with clear() before anything else is printed,
// so redirected output never contains it.

#include <chrono>
#include <cstddef>
#include <string_view>

namespace ldtools {

class ProgressLine {
public:
    // Enabled when standard error is a terminal and enabled is true.
    explicit ProgressLine(bool enabled = true);
    ~ProgressLine() { clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Restarts the delay before the first drawing; enabled as for the constructor.
    void restart(bool enabled = true);
    bool enabled() const { return enabled_; }
    // True when a new text would be drawn now (enabled, and the last drawing long enough ago).
    bool due() const;
    // Draws text if due.
    void show(std::string_view text);
    // Erases the line, if one is shown.
    void clear();

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_ = false;
    Clock::time_point nextDrawing_;
    std::size_t shownWidth_ = 0;
};

}  // namespace ldtools
