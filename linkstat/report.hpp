#pragma once
// What the user sees of a run besides the pair lines' numbers: the failure messages (also of the marker
// file's data errors, which the reader reports as values), the destination of the report, and the
// progress line on a terminal.

#include <optional>
#include <string>
#include <vector>

#include "error.hpp"
#include "progress.hpp"
#include "replacefile.hpp"
#include "settings.hpp"

namespace linkstat {

class MarkerError;

// The tail of a pair line when an allele count of the pair is zero.
inline constexpr const char* kEmptyMarginTail = "0 0 0 0 0 0 0 1\n";

// ---- failures -----------------------------------------------------------------------------------------

// A failure that ends the run with status 1: the pieces that go to standard error, each written on its
// own; what() is their concatenation.
class Failure : public ldtools::Error {
public:
    explicit Failure(std::vector<std::string> pieces);
    const std::vector<std::string>& pieces() const { return pieces_; }

private:
    std::vector<std::string> pieces_;
};

// File-access failures close with "Exiting Now......\n\n", data errors with "Exiting Now....\n\n\n".
Failure needInputFile();
Failure inputAccess(const std::string& inputName);
Failure outputAccess(const std::string& outputName);
Failure outputIsInput(const std::string& outputName);
Failure outputWrite(const std::string& reportName);
Failure optionTooLong(char letter);
Failure moreThanTwoAlleles(const std::string& alleles);
Failure notEnoughMemory();
// A data error of the marker file: "Error in File <name> at Line <line>" and the reason, or the allele
// string with more than two alleles.
Failure failureOf(const MarkerError& error);

// ---- the report file ----------------------------------------------------------------------------------

// Where the report goes: standard output, or the -O file. A regular file (or a new one) is written under
// a temporary name in its folder and put in place by commit(), so a failed run leaves the destination as
// it was; devices, pipes and files in folders where no temporary file can be made are written directly.
class ReportFile {
public:
    // Throws the "Cannot Access Output File" failure.
    explicit ReportFile(const Settings& settings);
    int fd() const { return file_ ? file_->fd() : 1; }
    // The name in the messages: the -O name, or "stdout".
    const std::string& name() const { return name_; }
    // True when what was written before a failure stays (standard output, a direct destination).
    bool keepsPartialOutput() const { return !file_ || file_->direct(); }
    // Puts the file in place; throws the "Cannot Write Output File" failure.
    void commit();

private:
    std::string name_;
    std::optional<ldtools::ReplacementFile> file_;
};

// ---- progress -----------------------------------------------------------------------------------------

// Work done so far, for the progress line on a terminal.
struct ProgressCounts {
    ldtools::ProgressLine line;
    long pairs = 0;
    long tables = 0;
    int marker = 0;
    int nMarkers = 0;
    long nextCheck = 0;

    void enterSet(int markers) {
        marker = 0;
        nMarkers = markers;
    }
    // Pairs written, with the first marker of the set reached.
    void addPairs(long count, int firstMarker) {
        pairs += count;
        marker = firstMarker;
        if (pairs + tables >= nextCheck) refresh();
    }
    // Genotype tables whose bounds were computed.
    void addTables(long count) {
        tables += count;
        if (pairs + tables >= nextCheck) refresh();
    }
    void refresh();
};

}  // namespace linkstat
