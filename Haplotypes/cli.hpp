#pragma once
// The command line of haplotypes.

namespace haplotypes {

// The program: command line, loading, report. Returns the exit status.
int haplotypesMain(int argc, char** argv);

}  // namespace haplotypes
