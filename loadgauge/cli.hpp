#pragma once
// The command line of loadgauge.

namespace loadgauge {

// The whole program: reads the command line, measures and prints the time line, or prints the
// help text, the version or the refusal. Returns the exit status of the first process.
int loadgaugeMain(int argc, char** argv);

}  // namespace loadgauge
