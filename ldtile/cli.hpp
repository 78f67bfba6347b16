#pragma once
// The command line of ldtile.

namespace ldtile {

// Reads the options, echoing each on standard output, and runs the block search; prints the
// usage text, the version or the errors of the run. Returns the exit status.
int ldtileMain(int argc, char** argv);

}  // namespace ldtile
