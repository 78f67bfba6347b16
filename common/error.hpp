#pragma once
// Errors that travel up to a program's main. Library code throws them; only main prints the
// message and turns the error into the exit status.

#include <stdexcept>
#include <string>
#include <string_view>

namespace ldtools {

// An error that ends the run: what() is the complete text for standard error, exactly as the
// program writes it (line breaks included), and status() the exit status.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& text, int status = 1) : std::runtime_error(text), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

// A system call on a file failed. Carries the errno value so that each program can word the
// message its own way; what() is "<operation>: <system's text>".
class SystemError : public std::runtime_error {
public:
    SystemError(const std::string& operation, int code);
    int code() const { return code_; }
    const std::string& operation() const { return operation_; }
    // The system's text for the error ("No such file or directory").
    std::string reason() const;

private:
    std::string operation_;
    int code_;
};

// The system's text for an errno value; "input/output error" for 0 (a failure without a code).
std::string systemReason(int code);

// Text from an input file, fit to quote in a one-line message: control bytes (a NUL, a line
// break, an escape) are shown as \xNN, so the message stays one whole line on any terminal.
std::string quotable(std::string_view text);

}  // namespace ldtools
