#include "report.hpp"

#include <cstdio>
#include <numeric>

#include "markers.hpp"

namespace linkstat {

namespace {

constexpr const char* kAccessEnd = "Exiting Now......\n\n";
constexpr const char* kDataEnd = "Exiting Now....\n\n\n";
constexpr long kWorkBetweenClockReads = 4096;

Failure inFile(const std::string& inputName, int line, const char* reason) {
    return Failure({"\n\nError in File " + inputName + " at Line " + std::to_string(line) + "\n", reason, kDataEnd});
}

}  // namespace

Failure::Failure(std::vector<std::string> pieces)
    : ldtools::Error(std::accumulate(pieces.begin(), pieces.end(), std::string())), pieces_(std::move(pieces)) {}

Failure needInputFile() {
    return Failure({"\n\nNeed an Input File\n", kAccessEnd});
}

Failure inputAccess(const std::string& inputName) {
    return Failure({"\n\nCannot Access Input File " + inputName + "\n", kAccessEnd});
}

Failure outputAccess(const std::string& outputName) {
    return Failure({"\n\nCannot Access Output File " + outputName + "\n", kAccessEnd});
}

Failure outputIsInput(const std::string& outputName) {
    return Failure({"\n\nOutput File Is The Input File " + outputName + "\n", kAccessEnd});
}

Failure outputWrite(const std::string& reportName) {
    return Failure({"\n\nCannot Write Output File " + reportName + "\n", kAccessEnd});
}

Failure optionTooLong(char letter) {
    return Failure({std::string("\n\nOption Value Too Long -") + letter + "\n", kAccessEnd});
}

Failure moreThanTwoAlleles(const std::string& alleles) {
    return Failure({"\n\nMore Than Two Alleles " + alleles + "\n", kDataEnd});
}

Failure notEnoughMemory() {
    return Failure({"\n\nNot Enough Memory\n", kAccessEnd});
}

Failure failureOf(const MarkerError& error) {
    using Kind = MarkerError::Kind;
    switch (error.kind) {
        case Kind::lineTooLong: return inFile(error.file, error.line, "Line Too Long\n");
        case Kind::fieldTooLong: return inFile(error.file, error.line, "Field Too Long\n");
        case Kind::wrongChromosomes: return inFile(error.file, error.line, "Wrong number of chromosomes\n");
        case Kind::badPosition: return inFile(error.file, error.line, "Bad Position\n");
        case Kind::positionOutOfOrder: return inFile(error.file, error.line, "Position Out Of Order\n");
        case Kind::moreThanTwoAlleles: break;
    }
    return moreThanTwoAlleles(error.alleles);
}

// ---- report destination -------------------------------------------------------------------------------

ReportFile::ReportFile(const Settings& settings) : name_(settings.haveOutput ? settings.outputName : "stdout") {
    if (!settings.haveOutput) return;
    try {
        file_.emplace(settings.outputName);
    } catch (const ldtools::SystemError&) {
        throw outputAccess(settings.outputName);
    }
}

void ReportFile::commit() {
    if (!file_) return;
    try {
        file_->commit();
    } catch (const ldtools::SystemError&) {
        throw outputWrite(name_);
    }
}

// ---- progress -----------------------------------------------------------------------------------------

void ProgressCounts::refresh() {
    nextCheck = pairs + tables + kWorkBetweenClockReads;
    if (!line.due()) return;
    char text[160];
    const int length = std::snprintf(text, sizeof text, "linkstat: %ld pairs written (marker %d of %d), %ld tables evaluated",
                                     pairs, marker + 1, nMarkers, tables);
    if (length > 0) line.show(std::string_view(text, static_cast<std::size_t>(length)));
}

}  // namespace linkstat
