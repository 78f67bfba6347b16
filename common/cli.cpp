#include "cli.hpp"

#include <cstring>

#include "version.hpp"

namespace ldtools {

std::string versionLine(const char* program) {
    return std::string(program) + " " + kVersion + "\n";
}

bool isHelpOption(const char* arg) {
    return arg != nullptr && std::strcmp(arg, "--help") == 0;
}

bool isVersionOption(const char* arg) {
    return arg != nullptr && std::strcmp(arg, "--version") == 0;
}

}  // namespace ldtools
