#pragma once
// Conventions every program of the tool-chain follows on its command line.

#include <string>

namespace ldtools {

// "PROGRAM VERSION\n", what --version prints on standard output.
std::string versionLine(const char* program);

// True when arg is exactly "--help" / "--version".
bool isHelpOption(const char* arg);
bool isVersionOption(const char* arg);

}  // namespace ldtools
