#pragma once
// The command line of sortblocks: a block file in the order haplotypes reads it.

#include <string>
#include <vector>

#include "arguments.hpp"

namespace sortblocks {

struct CommandLine {
    ldtools::CommandAction action = ldtools::CommandAction::run;
    std::string input;   // the block file; "-" for standard input
    std::string output;  // -o; empty: standard output
};

const char* usageText();

// Reads the arguments after the program name. Throws ldtools::Error with the complete message.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// Sorts the block file the command line names. Throws ldtools::Error with the complete message.
void sortBlocks(const CommandLine& command);

// The program: its exit status, with any message on standard error.
int runCommandLine(int argc, char** argv);

}  // namespace sortblocks
