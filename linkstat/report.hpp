#pragma once
// The failure messages of linkstat and the destination of its report.

#include <optional>
#include <string>

#include "linkstat.hpp"
#include "replacefile.hpp"

namespace linkstat {

// File-access failures close with "Exiting Now......\n\n", data errors with "Exiting Now....\n\n\n".
Failure needInputFile();
Failure inputAccess(const std::string& inputName);
Failure outputAccess(const std::string& outputName);
Failure outputIsInput(const std::string& outputName);
Failure outputWrite(const std::string& reportName);
Failure optionTooLong(char letter);
// The data errors of the marker file: "Error in File <name> at Line <line>" and the reason.
Failure inFile(const std::string& inputName, int line, const char* reason);
Failure moreThanTwoAlleles(const std::string& alleles);
Failure notEnoughMemory();

// Where the report goes: standard output, or the -O file. A regular file (or a new one) is written under
// a temporary name in its folder and put in place by commit() (decision L11), so a failed run leaves
// the destination as it was; devices, pipes and files in folders where no temporary file can be made
// are written directly.
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

}  // namespace linkstat
