#pragma once
// linkstat: pairwise linkage disequilibrium of biallelic markers.
//
// The program reads marker sets (position, two numeric fields, allele string), visits every pair of
// markers less than 200000 position units apart and writes, per pair, the likelihood-based lower and
// upper 5% bounds of D' on a grid of step 0.01.
//
// This header is its command line (cli.hpp, cli.cpp). The layers below it, each with a header of its own:
// settings (settings.hpp) and the kernel families (kernels.hpp); the reader of the marker file
// (markers.hpp); the counts of a pair (paircounts.hpp, tablecounts.hpp); EM (em.hpp); the bounds of D'
// (bounds.hpp, gridbounds.hpp); the report (report.hpp: messages, destination, progress); the run
// (run.hpp) with its pair loops (pairs.hpp, the reference; fastpairs.hpp, the program's).

#include <string>

#include "cli.hpp"
#include "settings.hpp"

namespace linkstat {

struct BoundsTally;

// Runs the whole program on the given arguments: prints the report, and any failure message on standard
// error; returns the exit status. With `tally`, the bounds tally of the run is added to it (benchmarks).
int linkstatMain(int argc, char** argv, const Tuning& tuning = Tuning{}, BoundsTally* tally = nullptr);


}  // namespace linkstat
