// Pair loop of one marker set and the report lines, computed pair by pair. The program itself runs the
// equivalent fast evaluation (fastpairs.cpp); this straightforward loop is the reference for it.

#include <cstring>
#include <vector>

#include "fastpairs.hpp"
#include "linkstat.hpp"
#include "report.hpp"

int Array[3][3];

namespace {

Evaluation CurrentEvaluation = Evaluation::Fast;
HaploMode CurrentMode = HaploMode::Em;

// Genotype class of one individual from its two allele codes; -1 when either is missing.
int genotypeClass(char x, char y) {
    if ((x != '0' && x != '1') || (y != '0' && y != '1')) return -1;
    return (x - '0') + (y - '0');
}

void literalPairs(int nChromosomes, int nMarkers, const double* positions, const double* ratios,
                  const AlleleTable& alleles) {
    const std::size_t length = static_cast<std::size_t>(nChromosomes) + 1;
    std::vector<char> first(length), second(length);
    for (int i = 0; i + 1 < nMarkers; ++i) {
        if (positions[i + 1] - positions[i] > kPairWindow) {
            fpo.printf("%d\t%d 0 0 0 0 0 0 0 0 0 1\n", static_cast<int>(positions[i]),
                       static_cast<int>(positions[i + 1]));
            continue;
        }
        std::memcpy(first.data(), alleles[i], length);
        int j = i + 1;
        for (; j < nMarkers && positions[j] - positions[i] < kPairWindow; ++j) {
            if (Position)
                fpo.printf("%d\t%d\t", static_cast<int>(positions[i]), static_cast<int>(positions[j]));
            else
                fpo.printf("%d\t", static_cast<int>(positions[j] - positions[i]));
            std::memcpy(second.data(), alleles[j], length);
            if (ratios[i] == 0 || ratios[j] == 0) {
                fpo.put(kEmptyMarginTail);
                continue;
            }
            int hapCounts[4];
            switch (CurrentMode) {
                case HaploMode::Em:
                    Three_by_Three(first.data(), second.data(), nChromosomes);
                    Haplo_Em(hapCounts);
                    break;
                case HaploMode::Known:
                    Three_by_Three(first.data(), second.data(), nChromosomes);
                    Haplo_Knw(hapCounts);
                    break;
                case HaploMode::Actual:
                    Haplo_Act(hapCounts, first.data(), second.data(), nChromosomes);
                    break;
            }
            Linkage_Disequilibrium(hapCounts);
        }
        progress.addPairs(j - i - 1, i, nMarkers);
    }
}

}  // namespace

void setEvaluation(Evaluation evaluation) {
    CurrentEvaluation = evaluation;
}

void Calculate_LD(int nChromosomes, int nMarkers, const double* positions, const double* ratios,
                  const AlleleTable& alleles, int actual, int em, int known) {
    CurrentMode = actual ? HaploMode::Actual : known ? HaploMode::Known : HaploMode::Em;
    (void)em;  // EM mode is the one left when neither of the others is set
    progress.enterSet(nMarkers);
    if (CurrentEvaluation == Evaluation::Literal)
        literalPairs(nChromosomes, nMarkers, positions, ratios, alleles);
    else
        fastPairs(nChromosomes, nMarkers, positions, ratios, alleles, CurrentMode);
}

void Three_by_Three(const char* first, const char* second, int n) {
    std::memset(Array, 0, sizeof Array);
    // An unpaired last chromosome (odd n) belongs to no individual and is not read.
    for (int k = 0; k + 1 < n; k += 2) {
        const int a = genotypeClass(first[k], first[k + 1]);
        const int b = genotypeClass(second[k], second[k + 1]);
        if (a >= 0 && b >= 0) ++Array[b][a];
    }
}

void Linkage_Disequilibrium(const int hapCounts[4]) {
    if (hasEmptyMargin(hapCounts)) {
        fpo.put(kEmptyMarginTail);
        return;
    }
    double result[2];
    if (CurrentMode == HaploMode::Actual) {
        const PairCounts phased{hapCounts[0], hapCounts[1], hapCounts[2], hapCounts[3], 0};
        confidenceLimitsFromCounts(result, phased, hapCounts[0]);
    } else {
        calcConfidenceLimits(result, hapCounts[0]);
    }
    fpo.printf("\t%5.3f\t%5.3f", result[0], result[1]);
    fpo.put("\n");
}
