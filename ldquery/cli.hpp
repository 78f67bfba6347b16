#pragma once
// The command line of ldquery: SNPs by ID or position, the bounds file, and the optional ID file,
// block file and filters.

#include <string>
#include <vector>

#include "arguments.hpp"
#include "query.hpp"

namespace ldquery {

struct Options {
    std::string bounds;             // -d, required
    std::string ids;                // -i: the ID file (vcf2markers PREFIX.ids.txt)
    std::string blocks;             // -b: the block file (ldtile -f)
    PartnerFilter filter;           // -C, -l
    std::vector<std::string> snps;  // operands: IDs, or positions (decimal digits)
};

struct CommandLine {
    ldtools::CommandAction action = ldtools::CommandAction::run;
    Options options;
};

const char* usageText();

// Reads the arguments after the program name. Throws ldtools::Error with the complete message.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// The table of partners of every SNP named, header first. Throws ldtools::Error with the
// complete message; nothing is written then.
std::string queryTable(const Options& options);

// The program: its exit status, with any message on standard error.
int runCommandLine(int argc, char** argv);

}  // namespace ldquery
