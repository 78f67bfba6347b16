#pragma once
// The command line of linkstat: its options read into the run's Settings, and the text --help prints.

#include <string>

#include "arguments.hpp"

namespace linkstat {

struct Settings;

// Reads the options from left to right. Throws Failure for an over-long option value.
Settings readOptions(int argc, char** argv);
// The text --help prints.
std::string usageText();

}  // namespace linkstat
