#pragma once
// Slow, literal versions of what ldtile computes, pair by pair and candidate by candidate, and
// random bounds files, for checking the fast code against them (in the tests and in the fuzz
// harness).

#include "ldtile.hpp"

#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace literal {

using ldtile::Block;
using ldtile::LDvals;

// Share of informative pairs of the stretch, pair by pair through the bounds lookups.
double share(const LDvals& ld, int snp1, int snp2);
// The acceptance table of a candidate block, using share().
bool accepted(const LDvals& ld, int first, int last, double LDpercentage);
// The longest-first search: every candidate of every start SNP, from chooseSNP inward.
int longestBlocks(const LDvals& ld, int start, int end, std::vector<Block>& blocks, double LDpercentage);

// The reader of a complete file: an index for every new first position, the k-th stored record
// of a group in column k, the last SNP taken from the last record.
struct Table {
    int last = 0;
    std::vector<int> positions;
    std::map<std::pair<int, int>, std::pair<double, double>> bounds;  // (a, b) -> (lower, upper)
};
Table readByGroups(const std::string& text);
// The table by positions: every distinct position of any record is a SNP, and each record less
// than 200,000 apart is stored at the pair its positions name.
Table readByPositions(const std::string& text);

struct Record {
    int first;
    int second;
    double lower;
    double upper;
};
Table readByPositions(const std::vector<Record>& records);
std::string format(const std::vector<Record>& records);

// Loads a bounds file with the given text into the bounds table of ld; returns the last index.
// (literal_load.cpp: for the tests only.)
int load(LDvals& ld, const std::string& text);

// Random SNP positions with gaps around the interesting widths (199/200 gap, 9,999 / 19,999 /
// 29,999 spans, the 200,000 window).
std::vector<int> randomPositions(std::mt19937& random, int count);
// Random bounds around every cut-off, runs of strong LD more likely than not.
std::pair<double, double> randomBounds(std::mt19937& random);

enum class Layout {
    complete,     // every SNP but the last has a group with every partner less than 200,000 away,
                  // then maybe farther partners (a file that can be read group by group)
    linkstat,     // pairs less than 200,000 apart in loop order, nothing for isolated SNPs
    gaps,         // like linkstat with random records left out
    sparse,       // like linkstat with most records left out: rows that skip most of their span
};
std::vector<Record> randomRecords(std::mt19937& random, const std::vector<int>& positions, Layout layout);

}  // namespace literal
