#pragma once
// The command line of ldview.

#include <string>
#include <vector>

#include "arguments.hpp"
#include "view.hpp"

namespace ldview {

struct CommandLine {
    ldtools::CommandAction action = ldtools::CommandAction::run;
    Options options;
};

const char* usageText();

// Reads the arguments after the program name. Throws ldtools::Error with the complete message.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// Runs ldview with the arguments of main; returns the exit status.
int runCli(int argc, char** argv);

}  // namespace ldview
