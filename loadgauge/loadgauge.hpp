#pragma once
// loadgauge: records which of its own low-priority busy processes held a
// processor in each 100 us slot of a 2-second window, and prints that time line.

#include <sys/time.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "arguments.hpp"

namespace loadgauge {

constexpr int NSLOTS = 20000;     // slots in the window
constexpr int SLOTUSEC = 100;     // length of one slot in microseconds
constexpr int MAXPROCS = 255;     // a process number of 256 would leave a zero mark
constexpr int STARTDELAY = 2;     // seconds from `start` to the first slot
constexpr int BARRIERUSEC = 10000;  // polling interval before the window opens

// Result of reading the command line (cli.cpp): the number of processes, or the
// message to print on standard error before exiting with status 1, or a request
// for the help text or the version.
struct Args {
    long nprocs = 0;
    const char* error = nullptr;
    ldtools::CommandAction action = ldtools::CommandAction::run;
};

Args parseArgs(int argc, const char* const* argv);

// Slot of the wall-clock reading `now` in the window that opens at second t0;
// negative before the window, NSLOTS or more after it.
int64_t slotof(const timeval& now, time_t t0);

// Appends one time-line line for slot `slot` naming process `p` (0: none ran).
void appendSlotLine(std::string& out, int slot, int p);

// Writes the whole time line of the slot buffers (buffer k belongs to process
// k + 1) to descriptor `fd`. Throws ldtools::Error on a write error.
void report(const std::vector<unsigned char*>& bufs, int fd);

// `len` bytes of zeroed memory shared with every process forked afterwards.
// Throws ldtools::Error (its text the message for standard error) on failure.
unsigned char* salloc(size_t len);

// Waits for second t0, then marks `buf` with `id` in every slot this process runs in.
void doit(time_t t0, int id, unsigned char* buf);

// Writes text to descriptor fd. Throws ldtools::Error on a write error.
void writeText(int fd, const std::string& text);

// The measurement of nprocs processes, from the priority to the time line on standard output:
// returns the exit status of the first process; failures are thrown as ldtools::Error.
int measure(int nprocs);

}  // namespace loadgauge
