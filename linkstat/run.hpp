#pragma once
// One run of linkstat on one marker file: everything the run reads and changes besides its input (Run),
// passed down to the pair loops, so that a process can run the program any number of times (tests,
// fuzzing) and no run sees another's choices or counts.

#include <memory>

#include "gridbounds.hpp"
#include "report.hpp"
#include "settings.hpp"
#include "writer.hpp"

namespace ldtools {
class FileReader;
}

namespace linkstat {

class FastPairs;

struct Run {
    Run(const Settings& settings, const Tuning& tuning, ldtools::BufferedWriter& fpo);
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    const Settings& settings;
    const Tuning& tuning;
    ldtools::BufferedWriter& fpo;  // the report
    ProgressCounts progress;
    BoundsTally tally;                // the tables whose bounds the fast loop's margin grids decided
    std::unique_ptr<FastPairs> fast;  // the fast loop's memo, kept from set to set
};

// Writes the header, reads the whole marker file and writes the report of every marker set to run.fpo.
// Throws Failure at the first error (the data errors, and the input or the report failing).
void analyse(Run& run, ldtools::FileReader& input);

// Runs the program for settings that name an input: opens the input (once: a named pipe cannot be opened
// twice), then the report, writes it and puts it in place. Throws Failure. With `tally`, the run's
// bounds tally is added to it, also when the run fails.
void runFile(const Settings& settings, const Tuning& tuning, BoundsTally* tally = nullptr);

}  // namespace linkstat
