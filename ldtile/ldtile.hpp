#pragma once
// The block search and its reports: partitions the SNPs of the bounds table into haplotype
// blocks, longest acceptable block of a stretch first, then the stretches to its left and right.

#include "LDvals.hpp"
#include "writer.hpp"

#include <string>
#include <vector>

namespace ldtile {

// A block holds every SNP from first to last (indices, first < last).
struct Block {
    int first = 0;
    int last = 0;
};

// 1 when the SNPs first..last form an acceptable block: the end pair is in strong LD, and
// two SNPs: twocheck and span <= 9,999; three SNPs: threecheck on both adjacent pairs and span
// <= 19,999; four SNPs: LD share > LDpercentage and span <= 29,999; more: LD share > LDpercentage.
int isAcceptedBlock(const LDvals& ld, int first, int last, double LDpercentage);

// Searches the stretch start..end (both included) and the stretches left of and right of each
// block found, storing the blocks from position blockindex of blockarray on in the order they are
// found. Returns the number of blocks in the list afterwards. Throws std::bad_alloc when memory
// runs out.
int getLongestBlock(const LDvals& ld, int start, int end, std::vector<Block>& blockarray, int blockindex,
                    double LDpercentage);

// The block file: a header line, then one line per block (positions and indices of both ends).
void printblocks(const LDvals& ld, const std::vector<Block>& array, int count, ldtools::BufferedWriter& blockfp);
// The five statistics lines on standard output and the rest of the statistics line to datfp.
void printstats(const LDvals& ld, const std::vector<Block>& array, int count, ldtools::BufferedWriter& datfp);

// Reads the bounds file, searches the blocks and writes the reports: the block file is replaced
// as a whole, one line is appended to the statistics file. Returns the block count.
// Errors are thrown: BoundsFileError for the bounds file (its reason, without the program name),
// ldtools::Error with the complete message for the rest (memory, output files, two of -d, -f and
// -o naming the same file).
int ldtile(const std::string& LDfile, double LDstrongthreshold, double LDpercentage, int minblocksize,
           const std::string& blockselectalg, const std::string& datafile, const std::string& blockfile);

}  // namespace ldtile
