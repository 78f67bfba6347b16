// Front of linkstat: the run of one marker file from its header line to the commit of
// the report, and the loop that gathers marker sets and hands each complete set to the pair loop.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>

#include "cli.hpp"
#include "fastpairs.hpp"
#include "linkstat.hpp"
#include "markers.hpp"
#include "reader.hpp"
#include "report.hpp"
#include "workers.hpp"

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

// Positions must be printable as an int: finite and within 0 <= position < 2^31.
bool printablePosition(double position) {
    return std::isfinite(position) && position >= 0 && position < 2147483648.0;
}

// Writes the pairs of a complete set and the optional separator, and empties the set.
void completeSet(Run& run, MarkerSet& set) {
    if (set.thirdAllele()) throw moreThanTwoAlleles(*set.thirdAllele());
    Calculate_LD(run, set);
    set.clear();
    if (run.settings.separator && !run.settings.recordsOnly) run.fpo.put(">\n");
}

void readMarkers(Run& run, ldtools::FileReader& input) {
    const Settings& s = run.settings;
    MarkerReader reader(input, s.inputName, s.missing, run.tuning.lineLimit, run.tuning.fieldLimit);
    MarkerSet set;
    MarkerLine line;
    while (reader.next(line)) {
        if (line.fields < 4) {
            completeSet(run, set);
            continue;
        }
        const double position = std::atof(line.text[0].c_str());
        if (!printablePosition(position)) throw inFile(s.inputName, reader.lineNumber(), "Bad Position\n");
        // Decision L9: the pair window needs the positions of a set in ascending order; ties are fine.
        if (set.nMarkers() > 0 && position < set.positions()[set.nMarkers() - 1])
            throw inFile(s.inputName, reader.lineNumber(), "Position Out Of Order\n");
        const double ratio = std::atof(line.text[2].c_str()) / std::atof(line.text[1].c_str());
        set.add(position, ratio, line, s.inputName);
    }
    completeSet(run, set);
}

// Runs the program on an open input: the report goes to `report`, which is committed at the end.
void runReport(const Settings& settings, const Tuning& tuning, ldtools::FileReader& input, ReportFile& report) {
    ldtools::BufferedWriter fpo(report.fd(), kReportBuffer);
    try {
        Run run(settings, tuning, fpo);
        analyse(run, input);
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

void writeStandardOutput(const std::string& text) {
    try {
        ldtools::writeAll(1, text.data(), text.size());
    } catch (const ldtools::SystemError&) {
        throw outputWrite("stdout");
    }
}

// Writes each piece of the message with its own call; returns the exit status.
int printFailure(const Failure& failure) {
    for (const std::string& piece : failure.pieces()) std::fputs(piece.c_str(), stderr);
    return failure.status();
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
    } catch (const ldtools::SystemError& error) {
        if (error.operation() == "read") throw inputAccess(run.settings.inputName);
        throw outputWrite(run.settings.haveOutput ? run.settings.outputName : "stdout");
    } catch (const std::bad_alloc&) {
        throw notEnoughMemory();
    }
}

int linkstatMain(int argc, char** argv, const Tuning& tuning) {
    try {
        const Settings settings = readOptions(argc, argv);
        if (settings.request == Request::Help) {
            writeStandardOutput(usageText());
            return 0;
        }
        if (settings.request == Request::Version) {
            writeStandardOutput(ldtools::versionLine("linkstat"));
            return 0;
        }
        if (!settings.haveInput) throw needInputFile();
        // The input is opened once (a named pipe cannot be opened twice) and before the report is made.
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
        runReport(settings, tuning, *input, report);
        return 0;
    } catch (const Failure& failure) {
        return printFailure(failure);
    } catch (const std::bad_alloc&) {
        return printFailure(notEnoughMemory());
    }
}

}  // namespace linkstat
