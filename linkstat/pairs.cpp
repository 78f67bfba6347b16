// Pair loop of one marker set and the report lines, computed pair by pair. The program itself runs the
// equivalent fast evaluation (fastpairs.cpp); this straightforward loop is the reference for it.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fastpairs.hpp"
#include "linkstat.hpp"
#include "markers.hpp"

namespace linkstat {

namespace {

// Genotype class of one individual from its two allele codes; -1 when either is missing.
int genotypeClass(char x, char y) {
    if ((x != '0' && x != '1') || (y != '0' && y != '1')) return -1;
    return (x - '0') + (y - '0');
}

std::string pairHead(const Settings& s, double first, double second) {
    char text[32];
    const int length = s.Position ? std::snprintf(text, sizeof text, "%d\t%d\t", static_cast<int>(first), static_cast<int>(second))
                                  : std::snprintf(text, sizeof text, "%d\t", static_cast<int>(second - first));
    return std::string(text, static_cast<std::size_t>(length));
}

void literalPairs(Run& run, const MarkerSet& set) {
    const Settings& s = run.settings;
    const int n = set.nChromosomes();
    const int nMarkers = set.nMarkers();
    const double* positions = set.positions();
    const double* ratios = set.ratios();
    std::vector<char> first(static_cast<std::size_t>(n) + 1), second(static_cast<std::size_t>(n) + 1);
    for (int i = 0; i + 1 < nMarkers; ++i) {
        if (positions[i + 1] - positions[i] > kPairWindow) {
            if (!s.recordsOnly)
                run.fpo.printf("%d\t%d 0 0 0 0 0 0 0 0 0 1\n", static_cast<int>(positions[i]),
                               static_cast<int>(positions[i + 1]));
            continue;
        }
        set.alleles().decode(i, n, first.data());
        int j = i + 1;
        for (; j < nMarkers && positions[j] - positions[i] < kPairWindow; ++j) {
            const std::string head = pairHead(s, positions[i], positions[j]);
            set.alleles().decode(j, n, second.data());
            if (ratios[i] == 0 || ratios[j] == 0) {
                if (!s.recordsOnly) {
                    run.fpo.put(head);
                    run.fpo.put(kEmptyMarginTail);
                }
                continue;
            }
            int hapCounts[4];
            switch (s.mode) {
                case HaploMode::Em:
                    Three_by_Three(run.Array, first.data(), second.data(), n);
                    Haplo_Em(run.Array, hapCounts);
                    break;
                case HaploMode::Known:
                    Three_by_Three(run.Array, first.data(), second.data(), n);
                    Haplo_Knw(run.Array, hapCounts);
                    break;
                case HaploMode::Actual:
                    Haplo_Act(hapCounts, first.data(), second.data(), n);
                    break;
            }
            Linkage_Disequilibrium(run, head, hapCounts);
        }
        run.progress.addPairs(j - i - 1, i);
    }
}

}  // namespace

void Calculate_LD(Run& run, const MarkerSet& markers) {
    run.progress.enterSet(markers.nMarkers());
    if (run.tuning.evaluation == Evaluation::Literal)
        literalPairs(run, markers);
    else
        run.fast->pairs(run, markers);
}

void Three_by_Three(int Array[3][3], const char* first, const char* second, int n) {
    std::memset(Array, 0, sizeof(int[3][3]));
    // An unpaired last chromosome (odd n) belongs to no individual and is not read.
    for (int k = 0; k + 1 < n; k += 2) {
        const int a = genotypeClass(first[k], first[k + 1]);
        const int b = genotypeClass(second[k], second[k + 1]);
        if (a >= 0 && b >= 0) ++Array[b][a];
    }
}

void Linkage_Disequilibrium(Run& run, const std::string& head, const int hapCounts[4]) {
    if (hasEmptyMargin(hapCounts)) {
        if (!run.settings.recordsOnly) {
            run.fpo.put(head);
            run.fpo.put(kEmptyMarginTail);
        }
        return;
    }
    double result[2];
    if (run.settings.mode == HaploMode::Actual) {
        const PairCounts phased{hapCounts[0], hapCounts[1], hapCounts[2], hapCounts[3], 0};
        confidenceLimitsFromCounts(result, phased, hapCounts[0]);
    } else {
        calcConfidenceLimits(run.Array, result, hapCounts[0]);
    }
    run.fpo.put(head);
    run.fpo.printf("\t%5.3f\t%5.3f", result[0], result[1]);
    run.fpo.put("\n");
}

}  // namespace linkstat
