#pragma once
// Building a view: the folder with the page and the data it loads.
//
// Files of the folder:
//   index.html, ldview.css, ldviewcore.js, ldview.js   the page
//   .ldview                                            marks the folder as a view
//   data/meta.js      the SNPs' positions, blocks, tag SNPs, the map, and what the other files hold
//   data/o<L>_<K>.js  overview level L (its width in meta.js), columns K * kLevelTileColumns on
//   data/p<K>.js      the bounds of the pairs whose first SNP lies in pair tile K
//   data/ids.js       the IDs of the SNPs (with -i)

#include <cstdint>
#include <string>
#include <vector>

#include "pairstore.hpp"

namespace ldview {

struct Options {
    std::string bounds;      // -d, required
    std::string blocks;      // -b
    std::string tags;        // -t
    std::string ids;         // -i
    std::string map;         // -m
    std::string output;      // -o, required
    std::string chromosome = "chr";  // -c: the name of plain bounds' chromosome
    bool chromosomeGiven = false;
    int width = 1600;        // -w: the window the overview levels are computed for
    int threads = 0;         // 0: every processor
};

// The narrowest and widest windows: as ldplot's pictures.
constexpr int kMinWidth = 400;
constexpr int kMaxWidth = 10000;
// The map starts this far from the window's edges, as in ldplot.
constexpr int kMargin = 20;

// Columns of an overview level in one data file.
constexpr std::int64_t kLevelTileColumns = 4096;
// A pair tile holds at most this many pairs (pairs less than kPairWindow apart, with a record or
// not) and at most kTileSnps first SNPs.
constexpr std::int64_t kTileSlots = std::int64_t{1} << 18;
constexpr std::int32_t kTileSnps = 4096;

// The first SNP of every pair tile, and the number of SNPs after the last.
std::vector<std::int32_t> pairTileStarts(const std::vector<std::int32_t>& ends);

// The bytes of a pair tile: for every first SNP a of [from, to), for every b from a + 1 to
// ends[a], the lower and upper bound of (a, b) in hundredths, or kNoRecord twice.
std::string pairTileBytes(const PairStore& store, std::int32_t from, std::int32_t to);

struct ViewSummary {
    std::size_t snps = 0;
    std::uint64_t pairs = 0;   // records drawn (less than kPairWindow apart)
    std::size_t blocks = 0;
    std::uint64_t bytes = 0;   // the folder's files
};

// Reads the inputs and writes the view. Throws ldtools::Error with ldview's complete message, and
// Stopped when a stop signal arrived (see catchStopSignals).
ViewSummary buildView(const Options& options);

// An interrupt, hang-up or termination request that arrived during a build: the build stops at the
// next record or file, removes its temporary folder and throws this.
struct Stopped {
    int signal;
};

// From now on the signals that end a process (where they have their default action) only ask a
// running build to stop, so that it leaves nothing behind; the caller ends the process with the
// signal afterwards (endWith).
void catchStopSignals();
[[noreturn]] void endWith(int signal);

}  // namespace ldview
