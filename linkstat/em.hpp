#pragma once
// The EM counts of one marker pair: the four haplotype counts with the phase of the double
// heterozygotes estimated by expectation-maximisation, step by step (Haplo_Em, emHaplotypes: the
// reference) and with fewer logarithms for many tables at once (fastEmHaplotypes, emkernels.cpp), which
// gives the same counts.

#include <cstddef>

#include "kernels.hpp"
#include "paircounts.hpp"

namespace linkstat {

void Haplo_Em(const int Array[3][3], int hapCounts[4]);

// Expectation-maximisation of the four haplotype counts (the core of Haplo_Em).
void emHaplotypes(const PairCounts& counts, int hapCounts[4]);
// Its parts, for counts k00, k01, k10, k11 and dh double heterozygotes: the log-likelihood of the
// frequencies p of the four haplotypes, and one step of the iteration from p.
double emLogLikelihood(const double k[4], double dh, const double p[4]);
void emStep(const double k[4], double dh, double p[4]);
// True when, for T typed chromosomes, a marker of the table is monomorphic among them (or none is typed):
// the EM counts are then all zero.
bool emptyForEm(const double k[4], double dh, double T);

// The same counts with fewer logarithms: a step's log-likelihoods are taken only when the rise that the
// step is sure to bring does not show that the iteration goes on (the fast loop's EM), computed by the
// given member of the EM family.
void fastEmHaplotypes(const PairCounts& counts, int hapCounts[4], EmKernel kernel);
// The same for n tables at once (their iterations run side by side in vector lanes: every lane computes
// a step with the same IEEE operations in the same order as emStep and emRiseLowerBound, without
// contraction, and the log-likelihoods are taken one lane at a time by emLogLikelihood itself); with
// `frequencies`, also the haplotype frequencies the iteration ended with (0.25 each for a table that
// emHaplotypes does not iterate), bit for bit as emHaplotypes has them.
void fastEmHaplotypes(const PairCounts* counts, std::size_t n, int (*hapCounts)[4], EmKernel kernel,
                      double (*frequencies)[4] = nullptr);
// A lower bound of the exact rise of the log-likelihood from the frequencies `before` to `after`, the EM
// step from them, for T typed chromosomes (-HUGE_VAL for frequencies that are no numbers in [0, 2]).
double emRiseLowerBound(const double before[4], const double after[4], double T);
// For counts k00, k01, k10, k11 and dh double heterozygotes: an exact rise beyond which the
// log-likelihoods of an EM step after the first, as emHaplotypes computes them, differ by more than
// 1e-9; HUGE_VAL when there is none.
double emSureRise(const double k[4], double dh);

// What the pair loop takes from the EM counts of a table: whether one of their margins is empty
// (hasEmptyMargin), and otherwise a count X of haplotype 00 that orients the table for its bounds as the
// EM count does (the codes of the first marker are swapped exactly when a0 b0 / T > X).
struct EmOutcome {
    bool emptyMargin = false;
    int X = 0;
};
// Finds that outcome without iterating where the iteration cannot change it (see em.cpp); false where
// it might, and the table is then iterated.
bool emOutcomeWithoutIterating(const PairCounts& counts, EmOutcome& outcome);

}  // namespace linkstat
