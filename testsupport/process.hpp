#pragma once
// Runs a program as a child process and captures what it writes.

#include <string>
#include <vector>

namespace testsupport {

struct RunResult {
    int status = -1;      // exit status, or 128 + signal number if killed by a signal
    std::string out;      // everything written to standard output
    std::string err;      // everything written to standard error
};

struct RunOptions {
    std::string input;            // fed to standard input, which is then closed
    std::string workdir;          // empty: the caller's working directory
    std::string stdoutPath;       // non-empty: standard output goes to this file instead of a pipe
};

// argv[0] is the program path; it is executed directly (no shell, no PATH search).
RunResult run(const std::vector<std::string>& argv, const RunOptions& options = {});

}  // namespace testsupport
