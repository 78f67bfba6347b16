#pragma once
// The command line of vcf2markers (its options and their reading: options.hpp).

namespace vcf2markers {

// The whole program: reads the command line, converts the input and prints the summary line, or
// prints the help text, the version or the refusal. Returns the exit status.
int vcf2markersMain(int argc, char** argv);

}  // namespace vcf2markers
