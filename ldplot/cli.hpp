#pragma once
// The command line of ldplot (its options and their reading: options.hpp).

namespace ldplot {

// The whole program: reads the command line and draws the picture, or prints the help text, the
// version or the refusal. Returns the exit status.
int ldplotMain(int argc, char** argv);

}  // namespace ldplot
