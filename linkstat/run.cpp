// The run of one marker file, from its header line to the commit of the report: the marker sets as the
// reader completes them, each handed to the pair loop.

#include "run.hpp"

#include <new>
#include <optional>

#include "fastpairs.hpp"
#include "markers.hpp"
#include "pairs.hpp"
#include "reader.hpp"
#include "replacefile.hpp"

namespace linkstat {

namespace {

constexpr std::size_t kReportBuffer = std::size_t{1} << 18;

void writeHeader(Run& run) {
    const Settings& s = run.settings;
    if (!s.header || s.recordsOnly) return;
    run.fpo.put(s.Position ? "\t\t\t\t  r\t  d\t  D'\tdelta\t  Q\t rho" : "\t\t\t  r\t  d\t  D'\tdelta\t  Q\t rho");
    if (s.Bounds) run.fpo.put("\tLower\tUpper");
    run.fpo.put("\n");
}

// Writes the pairs of every marker set, each followed by the optional separator.
void readMarkers(Run& run, ldtools::FileReader& input) {
    const Settings& s = run.settings;
    const Tuning& t = run.tuning;
    MarkerReader reader(input, s.inputName, s.missing, t.lineLimit, t.fieldLimit, t.kernels.get<PackKernel>());
    MarkerSet set;
    while (reader.nextSet(set)) {
        Calculate_LD(run, set);
        if (s.separator && !s.recordsOnly) run.fpo.put(">\n");
    }
}

}  // namespace

Run::Run(const Settings& settings, const Tuning& tuning, ldtools::BufferedWriter& fpo)
    : settings(settings),
      tuning(tuning),
      fpo(fpo),
      fast(std::make_unique<FastPairs>(tuning.fastLimits, settings.mode, settings.threads)) {
    // The progress line would run into report lines shown on the same terminal.
    progress.line.restart(!fpo.onTerminal());
}

Run::~Run() = default;

void analyse(Run& run, ldtools::FileReader& input) {
    try {
        writeHeader(run);
        readMarkers(run, input);
    } catch (const MarkerError& error) {
        throw failureOf(error);
    } catch (const ldtools::SystemError& error) {
        if (error.operation() == "read") throw inputAccess(run.settings.inputName);
        throw outputWrite(run.settings.haveOutput ? run.settings.outputName : "stdout");
    } catch (const std::bad_alloc&) {
        throw notEnoughMemory();
    }
}

void runFile(const Settings& settings, const Tuning& tuning, BoundsTally* tally) {
    // The input is opened before the report is made.
    std::optional<ldtools::FileReader> input;
    try {
        input.emplace(settings.inputName);
    } catch (const ldtools::SystemError&) {
        throw inputAccess(settings.inputName);
    }
    // Renaming the report over the marker file would lose it.
    if (settings.haveOutput && ldtools::sameFile(settings.outputName, settings.inputName))
        throw outputIsInput(settings.outputName);
    ReportFile report(settings);
    ldtools::BufferedWriter fpo(report.fd(), kReportBuffer);
    try {
        Run run(settings, tuning, fpo);
        try {
            analyse(run, *input);
        } catch (...) {
            if (tally) *tally += run.tally;
            throw;
        }
        if (tally) *tally += run.tally;
    } catch (const Failure&) {
        // What the run wrote stays where it cannot be taken back; a replaced file is left as it was.
        if (report.keepsPartialOutput()) {
            try {
                fpo.flush();
            } catch (const ldtools::SystemError&) {
            }
        }
        throw;
    }
    try {
        fpo.flush();
    } catch (const ldtools::SystemError&) {
        throw outputWrite(report.name());
    }
    report.commit();
}

}  // namespace linkstat
