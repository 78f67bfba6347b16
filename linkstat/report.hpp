#pragma once
// The report stream of linkstat, failure messages and the terminal progress line.

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// Buffered writer for the report. A failed write ends the program with the
// "Cannot Write Output File" message, so no run that lost output exits with status 0.
class ReportStream {
public:
    // Takes over an open stream; name is the -O name, or "stdout".
    void open(std::FILE* fp, std::string name);
    bool onTerminal() const;

    void put(const char* text, std::size_t length) {
        if (length > buffer_.size() - used_) makeRoom(length);
        std::memcpy(buffer_.data() + used_, text, length);
        used_ += length;
    }
    void put(std::string_view text) { put(text.data(), text.size()); }
    void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Writes what is buffered and closes the stream; fails on any write error.
    void close();
    // Writes what is buffered and closes the stream, ignoring errors (used on the way out after a failure).
    void abandon();

private:
    void makeRoom(std::size_t length);
    bool drain();

    std::FILE* fp_ = nullptr;
    std::string name_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
};

extern ReportStream fpo;

// Writes each piece to standard error with its own call, keeps the report written so far, exits with 1.
[[noreturn]] void fail(std::initializer_list<std::string> pieces);
// The data errors of the marker file: "Error in File <name> at Line <line>" and the reason.
[[noreturn]] void failInFile(const std::string& inputName, int line, const char* reason);

// One-line progress indicator on standard error, shown only when standard error is a terminal and the
// report does not go to a terminal itself (where its lines would run into the indicator). Callers
// report work in coarse steps; the clock is read only every few thousand pairs or tables.
class Progress {
public:
    void start(bool reportOnTerminal);
    // A new marker set of nMarkers markers is about to be paired.
    void enterSet(int nMarkers) {
        marker_ = 0;
        nMarkers_ = nMarkers;
    }
    // Pairs written, with the first marker of the set reached.
    void addPairs(long pairs, int marker, int nMarkers) {
        if (!enabled_) return;
        pairs_ += pairs;
        marker_ = marker;
        nMarkers_ = nMarkers;
        if (pairs_ + tables_ >= nextCheck_) refresh();
    }
    // Genotype tables whose bounds were computed.
    void addTables(long tables) {
        if (!enabled_) return;
        tables_ += tables;
        if (pairs_ + tables_ >= nextCheck_) refresh();
    }
    void erase();

private:
    void refresh();

    bool enabled_ = false;
    long pairs_ = 0;
    long tables_ = 0;
    int marker_ = 0;
    int nMarkers_ = 0;
    long nextCheck_ = 0;
    double lastShown_ = 0;
    std::size_t shownWidth_ = 0;
};

extern Progress progress;
