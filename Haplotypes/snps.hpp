#pragma once
// The SNP, block and known-SNP tables of the analyser, their readers and lookups.
//
// The tables are loaded once at start and only read afterwards. Every reader checks
// its file completely and throws Failure at the first fault, so nothing of the report
// is printed for input that cannot be analysed.

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace haplo {

// An error that ends the run; what() is the complete text for standard error.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Chromosomes of the sample: characters 0 to 99 of every allele string.
constexpr int numchroms = 100;

extern std::vector<int> snparray;                  // positions of the SNP file, ascending
extern std::vector<std::string> allelearray;       // their recoded allele strings (numchroms characters)
extern std::vector<int> knownSNParray;             // positions of the known-SNP file, ascending
extern std::vector<std::string> knownallelearray;  // their recoded allele strings
extern std::vector<std::array<int, 2>> blockarray; // [i][0] first, [i][1] last position of block i
extern std::vector<int> blocklines;                // line of the block file that block i came from
extern int Known;                                  // 1 when a known-SNP file was named

// Readers: each replaces its table(s) and returns the number of entries stored.
int readSNPfromfile(const std::string& filename);
int readKnownSNPfromfile(const std::string& filename);
int readblocksfromfile(const std::string& filename);
// Checks that both positions of every block are positions of the SNP table.
void checkblockpositions(const std::string& blockfilename);

int getSNPpos(int num);
int getKnownPosition(int i);
int getindexfrompos(int pos);  // SNP index at that position, or -1
int snpKnown(int position);    // 1 without a known-SNP file; else 1 if the position is known

// A whole number is an optional sign and decimal digits within the signed 32-bit range.
enum class WholeNumber { ok, notwhole, outofrange };
WholeNumber parsewholenumber(std::string_view text, int& value);

// Recodes an allele string in place to "0", "1" and "-": "0" and "1" keep their codes, other
// characters take the free codes in order of first appearance. False when more than two
// alleles besides "-" occur (the string is then left unchanged).
bool recodealleles(std::string& alleles);

}  // namespace haplo
