#pragma once
// linkstat: pairwise linkage disequilibrium of biallelic markers.
//
// The program reads marker sets (position, two numeric fields, allele string), visits every pair of
// markers less than 200000 position units apart and writes, per pair, the likelihood-based lower and
// upper 5% bounds of D' on a grid of step 0.01.
//
// This header is the module's interface: the command line (cli.hpp), the run (linkstat.cpp), the marker
// file and its packed allele codes (markers.cpp), the pair loop and report lines (pairs.cpp), the haplotype
// counts (haplocounts.cpp), the D' bounds (bounds.cpp) and the fast evaluation of whole pair runs that
// gives the same bytes (fastpairs.cpp). Everything a run changes lives in its Run, so that a process
// can run the program any number of times (tests, fuzzing).

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli.hpp"
#include "error.hpp"
#include "progress.hpp"
#include "writer.hpp"

namespace ldtools {
class FileReader;
}

namespace linkstat {

// ---- settings of a run --------------------------------------------------------------------------------

enum class HaploMode { Em, Known, Actual };

// How pair lines are computed: Fast memoises per genotype table and is what the program uses;
// Literal computes every pair step by step and is kept as the reference the fast path is checked against.
enum class Evaluation { Fast, Literal };

// What the command line asks for.
enum class Request { Run, Help, Version };

struct Settings {
    Request request = Request::Run;
    HaploMode mode = HaploMode::Em;
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
    int threads = 0;           // -T: threads that compute the pair lines; 0: one per processor online
};

// Longest line (characters before the line break) and longest of the first four fields of the marker
// file. They bound the memory a line can take (decision L12): beyond them the line is refused.
inline constexpr std::size_t kMaxLineLength = std::size_t{256} << 20;
inline constexpr std::size_t kMaxFieldLength = std::size_t{256} << 20;

// Memory limits of the fast loop. A count key is the five counts of a genotype table; sets of at most
// narrowKeyChromosomes chromosomes pack it in 64 bits, larger sets use wide keys of 20 bytes, which get
// their own, smaller, limits. chunkKeys: new keys evaluated per round of the walk; memoKeys: keys kept
// memoised (the memo is emptied when the new keys of a round's next wave might not fit); keptKeyBytes:
// the count keys of a round's pairs kept from counting to writing, in bytes (the pairs beyond are
// counted again for their text).
struct FastPairLimits {
    std::size_t chunkKeys;
    std::size_t memoKeys;
    std::size_t wideChunkKeys;
    std::size_t wideMemoKeys;
    int narrowKeyChromosomes;
    std::size_t keptKeyBytes = std::size_t{8} << 20;
};
FastPairLimits defaultFastPairLimits();

// How a run computes, apart from what the command line sets. The program uses the defaults; tests and
// the fuzz harness choose the reference loop, small memo limits, small blocks or short lines to reach
// every path. blockLines: report lines per block, the unit of work that the threads share.
struct Tuning {
    Evaluation evaluation = Evaluation::Fast;
    FastPairLimits fastLimits = defaultFastPairLimits();
    std::size_t blockLines = 2048;
    std::size_t lineLimit = kMaxLineLength;
    std::size_t fieldLimit = kMaxFieldLength;
};

// ---- failures -----------------------------------------------------------------------------------------

// A failure that ends the run with status 1: the pieces that go to standard error, each written on its
// own; what() is their concatenation.
class Failure : public ldtools::Error {
public:
    explicit Failure(std::vector<std::string> pieces);
    const std::vector<std::string>& pieces() const { return pieces_; }

private:
    std::vector<std::string> pieces_;
};

// ---- the run ------------------------------------------------------------------------------------------

class FastPairs;

// Work done so far, for the progress line on a terminal.
struct ProgressCounts {
    ldtools::ProgressLine line;
    long pairs = 0;
    long tables = 0;
    int marker = 0;
    int nMarkers = 0;
    long nextCheck = 0;

    void enterSet(int markers) {
        marker = 0;
        nMarkers = markers;
    }
    // Pairs written, with the first marker of the set reached.
    void addPairs(long count, int firstMarker) {
        pairs += count;
        marker = firstMarker;
        if (pairs + tables >= nextCheck) refresh();
    }
    // Genotype tables whose bounds were computed.
    void addTables(long count) {
        tables += count;
        if (pairs + tables >= nextCheck) refresh();
    }
    void refresh();
};

// Everything one run of the program reads and changes besides its input.
struct Run {
    Run(const Settings& settings, const Tuning& tuning, ldtools::BufferedWriter& fpo);
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    const Settings& settings;
    const Tuning& tuning;
    int Array[3][3] = {};     // genotype table of the current pair: [class at 2nd marker][class at 1st]
    ldtools::BufferedWriter& fpo;  // the report
    ProgressCounts progress;
    std::unique_ptr<FastPairs> fast;  // the fast loop's memo, kept from set to set
};

// ---- command line and run -----------------------------------------------------------------------------

// Runs the whole program on the given arguments: prints the report, and any failure message on standard
// error; returns the exit status.
int linkstatMain(int argc, char** argv, const Tuning& tuning = Tuning{});

// Writes the header, reads the whole marker file and writes the report of every marker set to run.fpo.
// Throws Failure at the first error (the data errors, and the input or the report failing).
void analyse(Run& run, ldtools::FileReader& input);

// ---- marker sets --------------------------------------------------------------------------------------

int Chromosomes(const char* alleles);
// Recodes an allele string in place to "0", "1" and "-" (missing); throws Failure on more than two
// alleles. The reader applies the same rules while it packs each string (markers.hpp).
void Clean(char* alleles, int n, const char* missing, int nMissing);

class MarkerSet;

// ---- pair loop and report lines -----------------------------------------------------------------------

// Writes the report lines of one complete marker set.
void Calculate_LD(Run& run, const MarkerSet& markers);
void Three_by_Three(int Array[3][3], const char* first, const char* second, int n);
// Writes a pair line: its head (positions or distance, with their tabs) and the tail of the counts.
void Linkage_Disequilibrium(Run& run, const std::string& head, const int hapCounts[4]);

// ---- two-locus haplotype counts -----------------------------------------------------------------------

void Haplo_Em(const int Array[3][3], int hapCounts[4]);
void Haplo_Knw(const int Array[3][3], int hapCounts[4]);
void Haplo_Act(int hapCounts[4], const char* first, const char* second, int n);

// The phase-known counts k00, k01, k10, k11 and the double heterozygotes dh of a genotype table.
struct PairCounts {
    int k00 = 0, k01 = 0, k10 = 0, k11 = 0, dh = 0;
};
PairCounts countsOfTable(const int table[3][3]);
// Expectation-maximisation of the four haplotype counts (the core of Haplo_Em).
void emHaplotypes(const PairCounts& counts, int hapCounts[4]);
// Its parts, for counts k00, k01, k10, k11 and dh double heterozygotes: the log-likelihood of the
// frequencies p of the four haplotypes, and one step of the iteration from p.
double emLogLikelihood(const double k[4], double dh, const double p[4]);
void emStep(const double k[4], double dh, double p[4]);
// True when, for T typed chromosomes, a marker of the table is monomorphic among them (or none is typed):
// the EM counts are then all zero.
bool emptyForEm(const double k[4], double dh, double T);
// The same counts with fewer logarithms: a step's log-likelihoods are taken only when the rise that
// the step is sure to bring does not show that the iteration goes on (the fast loop's EM).
void fastEmHaplotypes(const PairCounts& counts, int hapCounts[4]);
// The same for n tables at once (their iterations run side by side in vector lanes: emkernels.hpp); with
// `frequencies`, also the haplotype frequencies the iteration ended with (0.25 each for a table that
// emHaplotypes does not iterate), bit for bit as emHaplotypes has them.
void fastEmHaplotypes(const PairCounts* counts, std::size_t n, int (*hapCounts)[4],
                      double (*frequencies)[4] = nullptr);
// A lower bound of the exact rise of the log-likelihood from the frequencies `before` to `after`, the EM
// step from them, for T typed chromosomes (-HUGE_VAL for frequencies that are no numbers in [0, 2]).
double emRiseLowerBound(const double before[4], const double after[4], double T);
// For counts k00, k01, k10, k11 and dh double heterozygotes: an exact rise beyond which the
// log-likelihoods of an EM step after the first, as emHaplotypes computes them, differ by more than
// 1e-9; HUGE_VAL when there is none.
double emSureRise(const double k[4], double dh);
// True when one of the four allele counts formed from the haplotype counts is zero.
bool hasEmptyMargin(const int hapCounts[4]);

// ---- likelihood bounds of D' --------------------------------------------------------------------------

void calcConfidenceLimits(const int Array[3][3], double result[2], double X);
// The bounds for given phase-known counts and double heterozygotes; calcConfidenceLimits applies it to
// the counts of the genotype table, the actual-haplotype mode to a pair's own phased counts (dh = 0).
void confidenceLimitsFromCounts(double result[2], const PairCounts& counts, double X);

double calclnlike(double theta, double pA, double pB, double k00, double k01, double k10, double k11,
                  double dh, double Dmax, double pApB);
double calclike(double theta, double pA, double pB, double k00, double k01, double k10, double k11,
                double dh, double Dmax, double pApB, double maxL);
double findlnandmult(double value, double count);
int likelihoodshouldbezero(double value, double count);

}  // namespace linkstat

// The single-pass bounds (gridbounds.hpp, likelihood.hpp) still live at global scope and name these.
using linkstat::calclike;
using linkstat::calclnlike;
using linkstat::findlnandmult;
using linkstat::likelihoodshouldbezero;
using linkstat::PairCounts;
