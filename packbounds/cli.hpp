#pragma once
// The command line of packbounds: bounds records (from linkstat -D, a file or a pipe) into the
// indexed form of a bounds file, optionally passing the records on to standard output.

#include <string>
#include <vector>

#include "arguments.hpp"
#include "indexedbounds.hpp"

namespace packbounds {

struct Options {
    std::string chromosome;           // -c, required
    std::string output;               // -o, required
    std::vector<std::string> inputs;  // operands; none: standard input
    bool pass = false;                // -p: the records also go to standard output
    ldtools::IndexedBoundsWriter::Settings settings;
};

struct CommandLine {
    ldtools::CommandAction action = ldtools::CommandAction::run;
    Options options;
};

const char* usageText();

// Reads the arguments after the program name. Throws ldtools::Error with the complete message.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// Reads the inputs in turn and writes the indexed file and its index (and, with -p, the records to
// standard output). Returns the number of records. Throws ldtools::Error with the complete message;
// the output and its index are then left as they were.
std::uint64_t packBounds(const Options& options);

// The program: its exit status, with any message on standard error.
int runCommandLine(int argc, char** argv);

}  // namespace packbounds
