#pragma once
// LDvals: what the block finder knows about the markers. The position of every SNP and the
// lower and upper confidence bounds of linkage disequilibrium of every pair of SNPs less than
// 200,000 position units apart, read once from an LD bounds file; the pair tests built on them.
//
// SNPs are named by index: 0, 1, 2, ... in order of position. The SNPs are all distinct
// positions that occur in any record of the bounds file.
//
// One LDvals object holds one table and its settings; a process may hold several, one after the
// other or side by side.

#include "boundsformat.hpp"
#include "tablebuilder.hpp"

#include <functional>
#include <string>

namespace ldtools {
class ProgressLine;
}

namespace ldtile {

// Cut-offs of the pair tests. All comparisons with them are strict. The classes of a pair (strong
// LD, recombination, uninformative) are the formats layer's (boundsformat.hpp).
inline constexpr double upperlimit = ldtools::kStrongUpper;  // strong LD: upper bound above this ...
inline constexpr double lowerlimit = ldtools::kStrongLower;  // ... and lower bound above this
inline constexpr double kTwoSnpLowerCutoff = 0.8;
inline constexpr double kThreeSnpLowerCutoff = 0.75;
inline constexpr int kGapWidth = 200;  // position units left free at both ends of a block

class LDvals {
public:
    // --- Settings -----------------------------------------------------------------------------

    // Cut-off of a single-value LD measure. The program sets it from -t; the pair tests use the
    // confidence bounds and never consult it.
    void setThreshold(double th) { threshold_ = th; }
    double threshold() const { return threshold_; }

    // --- The bounds table ---------------------------------------------------------------------

    // Reads the bounds file, prints the index of the last SNP as "%d\n" on standard output and
    // returns it. A file that cannot be read or holds anything but ordered records throws
    // BoundsFileError; a table too large for memory throws std::bad_alloc. Reading again replaces
    // the table. While the file is read, progress (if given) shows how far.
    int readConfvalues(const std::string& filename, ldtools::ProgressLine* progress = nullptr);
    // The same without printing the index of the last SNP.
    int loadConfvalues(const std::string& filename, ldtools::ProgressLine* progress = nullptr);
    // Fills the table from the records next() gives until it returns false (in the order and with
    // the errors of a bounds file named name). Returns the index of the last SNP.
    int loadRecords(const std::string& name, const std::function<bool(BoundsRecord&)>& next,
                    uint64_t pairsHint = 0);

    // Index of the last SNP: the number of SNPs minus one.
    int SNPcount() const { return table_.snpCount() - 1; }
    int getSNPposition(int index) const { return table_.position(index); }
    // Bounds of the pair (snp1, snp2) in either order; 1.0 for a SNP with itself, 0.0 for a pair
    // the file did not supply (in particular every pair 200,000 or more position units apart).
    double getUpperlimit(int snp1, int snp2) const;
    double getLowerlimit(int snp1, int snp2) const;
    // Highest index whose pair with snp is held in the table (snp itself when there is none).
    // Every pair with a larger index reads 0.0.
    int lastStoredPartner(int snp) const { return table_.lastPartner(snp); }
    // Number of pairs the table holds: the records less than 200,000 position units apart.
    long long storedPairCount() const { return static_cast<long long>(table_.storedPairs()); }
    const BoundsTable& table() const { return table_; }

    // Prints every position from index 0 to the last, each as "%d\n" (a diagnostic).
    void printSNPS() const;

    // --- Pair classification and block tests (confidence bounds) ------------------------------

    // 1 when the pair is in strong LD: upper bound > 0.98 and lower bound > 0.7.
    int paircheck(int snp1, int snp2) const;
    // The extra test of a block of two SNPs: upper bound > 0.98 and lower bound > 0.8.
    int twocheck(int snp1, int snp2) const;
    // The extra test of each adjacent pair of a block of three SNPs: upper > 0.98 and lower > 0.75.
    int threecheck(int snp1, int snp2) const;
    // Share of the informative pairs of the stretch snp1..snp2 (either order) that are in strong
    // LD. A pair is informative when it is in strong LD or a recombination pair (upper bound
    // < 0.9). 0/0 (not a number) when no pair is informative. Takes time in proportion to the
    // pairs of the stretch that the table holds.
    double percentofinfoinLD(int snp1, int snp2) const;
    // The LD share of a stretch: percentofinfoinLD.
    double test(int snp1, int snp2) const;

    // First index from start to end whose position lies more than maxlength beyond start's, else end.
    int chooseSNP(int start, int end, int maxlength) const;
    // First SNP at least 200 position units above startSNP, or the last index.
    int abovegap(int startSNP) const;
    // Last SNP at least 200 position units below startSNP, or 0.
    int belowgap(int startSNP) const;

private:
    double threshold_ = 0.9;
    BoundsTable table_;
};

// The share of informative pairs in strong LD among the pairs of a stretch of size SNPs, from
// its counts of strong and of uninformative pairs (every pair the table does not hold is a
// recombination pair, so these two counts decide it).
inline double shareOfStrong(int64_t size, uint64_t strong, uint64_t uninformative) {
    const auto pairs = static_cast<uint64_t>(size * (size - 1) / 2);
    return static_cast<double>(strong) / static_cast<double>(pairs - uninformative);
}

}  // namespace ldtile
