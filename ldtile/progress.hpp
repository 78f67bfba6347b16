#pragma once
// A one-line progress indicator on standard error, shown only when standard error is a terminal.
// It appears once a run has taken a moment, is redrawn at most four times a second, and is erased
// before anything else is printed, so redirected output never contains it.

#include "boundsfile.hpp"

#include <chrono>
#include <string>

class Progress final : public ReadObserver {
public:
    Progress();
    ~Progress() override;
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void bytesRead(uint64_t done, uint64_t total) override;
    void finished() override { clear(); }

    // Shows text if the last redraw is long enough ago.
    void show(const std::string& text);
    void clear();

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    Clock::time_point nextRedraw_;
    size_t shownWidth_ = 0;
};
