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

#include "kernels.hpp"
#include "paircounts.hpp"

namespace linkstat {

class PackedAlleles;
struct TableKernels;

// Counts the pairs of one marker set: phase-known counts and double heterozygotes of the genotype table
// (phased: the four haplotype counts of the chromosomes, dh = 0), as countsOfTable gives them.
class TableCounter {
public:
    // The markers [0, nMarkers) of `alleles`, of nChromosomes chromosomes each, counted by `kernel`, a
    // member of the count family (the portable one if this processor cannot run it).
    TableCounter(const PackedAlleles& alleles, int nMarkers, int nChromosomes, bool phased, CountKernel kernel);

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
