#pragma once
// What a run of linkstat is asked to do (Settings, from the command line) and how it computes it
// (Tuning: the program's defaults, which tests, benchmarks and the fuzz harness change).

#include <cstddef>
#include <string>

#include "boundsformat.hpp"
#include "kernels.hpp"

namespace linkstat {

enum class HaploMode { em, known, actual };

// How pair lines are computed: fast memoises per genotype table and is what the program uses; literal
// computes every pair step by step and is kept as the reference the fast path is checked against.
enum class Evaluation { fast, literal };

// What the command line asks for.
enum class Request { run, help, version };

struct Settings {
    Request request = Request::run;
    HaploMode mode = HaploMode::em;
    int Position = 0;          // -P (and -D): pair lines start with both positions instead of the distance
    int Bounds = 0;            // -B: the header names the two bound columns
    bool header = false;       // -H
    bool separator = false;    // -S: a line ">" after each marker set
    bool recordsOnly = false;  // -D: only the four-number bounds lines
    bool haveInput = false;
    std::string inputName;     // -I
    bool haveOutput = false;
    std::string outputName;    // -O
    std::string missing;       // -R: characters that stand for a missing allele, besides "-"
    int threads = 0;           // -T: threads that compute the pair lines; 0: one per processor it may run on
};

// Pairs of markers less than this far apart are reported; an adjacent pair farther apart gets the
// far-pair line. Positions are doubles here, so the window is one too.
inline constexpr double kPairWindow = ldtools::kPairWindow;

// Longest line (characters before the line break) and longest of the first four fields of the marker
// file. They bound the memory a line can take: beyond them the line is refused.
inline constexpr std::size_t kMaxLineLength = std::size_t{256} << 20;
inline constexpr std::size_t kMaxFieldLength = std::size_t{256} << 20;

// Memory limits of the fast loop. A count key is the five counts of a genotype table; sets of at most
// narrowKeyChromosomes chromosomes pack it in 64 bits, larger sets use wide keys of 20 bytes, which get
// their own, smaller, limits. chunkKeys: new keys evaluated per round of the walk; memoKeys: keys kept
// memoised (the memo is emptied when the new keys of a round's next wave might not fit); keptKeyBytes:
// the count keys of a round's pairs kept from counting to writing, in bytes (the pairs beyond are
// counted again for their text), and wideKeptKeyBytes the same for wide keys.
struct FastPairLimits {
    std::size_t chunkKeys;
    std::size_t memoKeys;
    std::size_t wideChunkKeys;
    std::size_t wideMemoKeys;
    int narrowKeyChromosomes;
    std::size_t keptKeyBytes = std::size_t{32} << 20;
    std::size_t wideKeptKeyBytes = std::size_t{8} << 20;
};
FastPairLimits defaultFastPairLimits();

// How a run computes, apart from what the command line sets. The program uses the defaults; tests and
// the fuzz harness choose the reference loop, small memo limits, small blocks, short lines, kernels or a
// wider error band to reach every path. blockLines: report lines per block, the unit of work that the
// threads share.
struct Tuning {
    Evaluation evaluation = Evaluation::fast;
    FastPairLimits fastLimits = defaultFastPairLimits();
    std::size_t blockLines = 2048;
    std::size_t lineLimit = kMaxLineLength;
    std::size_t fieldLimit = kMaxFieldLength;
    KernelChoice kernels;
    // Multiplies the error band around 5% within which the bounds of a table are left to the exact
    // evaluation (1: the proven band; tests widen it to send more tables there).
    double bandScale = 1;

    // Sets bandScale; a scale below 1 would void the proof and is refused (false).
    bool widenBand(double scale) {
        if (!(scale >= 1)) return false;
        bandScale = scale;
        return true;
    }
};

}  // namespace linkstat
