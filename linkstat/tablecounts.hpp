#pragma once
// Genotype tables of marker pairs, counted on the packed allele codes (markers.hpp) 64 chromosome places
// per word, or several words per instruction where the processor allows.
//
// A pair of markers that are both typed in every individual (in every chromosome, for phased counts)
// needs only part of its table counted: the rest follows exactly from the class totals of each marker,
// which are counted once per marker. Pairs with a missing allele in either marker are counted cell by
// cell. Every kernel gives the same integers; they differ in speed only.

#include <cstdint>
#include <vector>

#include "linkstat.hpp"

namespace linkstat {

class PackedAlleles;
struct TableKernels;

// Instruction sets for counting. Portable runs anywhere; Popcnt uses the processor's population count
// on 64-bit words, Avx2 a table of nibble counts on 256-bit vectors, Avx512 the 512-bit population
// count (AVX-512 VPOPCNTDQ).
enum class CountKernel { Portable, Popcnt, Avx2, Avx512 };

// Whether this processor runs the kernel; the fastest one it runs.
bool countKernelRuns(CountKernel kernel);
CountKernel fastestCountKernel();
// The kernel in use (the fastest unless chosen otherwise).
CountKernel countKernel();
// Chooses the kernel (tests and benchmarks); a kernel the processor cannot run leaves the choice as it is
// and returns false.
bool useCountKernel(CountKernel kernel);
const char* countKernelName(CountKernel kernel);

// Counts the pairs of one marker set: phase-known counts and double heterozygotes of the genotype table
// (phased: the four haplotype counts of the chromosomes, dh = 0), as countsOfTable gives them.
class TableCounter {
public:
    // The markers [0, nMarkers) of `alleles`, of nChromosomes chromosomes each, counted by `kernel`.
    TableCounter(const PackedAlleles& alleles, int nMarkers, int nChromosomes, bool phased,
                 CountKernel kernel = countKernel());

    PairCounts operator()(int first, int second) const;

    // Counts cell by cell, as if some allele were missing in every marker (tests).
    PairCounts cellByCell(int first, int second) const;

    // Markers typed in every chromosome place of the set.
    int completeMarkers() const;

private:
    // Per marker: the individuals of genotype class 0, 1 and 2 (phased: the chromosomes of code 0 and 1
    // in n[0] and n[1]), and whether no allele is missing.
    struct Totals {
        int n[3];
        bool complete;
    };
    const PackedAlleles& alleles_;
    bool phased_;
    const TableKernels* kernels_;
    std::vector<Totals> totals_;
};

}  // namespace linkstat
