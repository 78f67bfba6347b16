#pragma once
// The settings of vcf2markers (what to read, which individuals, which SNPs, where to write) and
// their reading from the command line (cli.cpp).

#include <string>
#include <vector>

#include "arguments.hpp"

namespace vcf2markers {

// Where a list of individuals comes from.
struct SampleChoice {
    enum class Kind { byDefault, list, file, none };
    Kind kind = Kind::byDefault;
    std::string value;   // the comma list or the file name
    char option = '\0';  // the letter that gave it, for messages ('s', 'S', 'H', 'F')
};

struct Options {
    std::string input;
    std::string region;        // empty: the whole file
    SampleChoice markers;      // -s / -S; byDefault: every individual of the file
    SampleChoice haplotypes;   // -H / -F; byDefault: the first 50 marker individuals; none: no SNP file
    double minMaf = 0.05;
    std::string knownFile;     // -k
    int every = 0;             // -e; 0 when not given
    std::string prefix;        // -o
    bool progress = false;     // a progress line on a terminal (set by main, not by an option)
    bool describe = false;     // --describe: print the pair window and the chromosomes' spans
};

struct CommandLine {
    using Action = ldtools::CommandAction;
    Action action = Action::run;
    Options options;
};

// Reads the arguments after the program name. Throws ldtools::Error with a one-line message
// for an unknown option, a missing or bad value, an option given twice, conflicting options,
// a missing -o or a wrong number of input files.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// The usage text that -h and --help print.
const char* usageText();

}  // namespace vcf2markers
