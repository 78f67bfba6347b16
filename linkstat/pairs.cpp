// Pair loop of one marker set and the report lines, computed pair by pair. The program itself runs the
// equivalent fast evaluation (fastpairs.cpp); this straightforward loop is the reference for it.

#include "pairs.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "bounds.hpp"
#include "em.hpp"
#include "fastpairs.hpp"
#include "markers.hpp"
#include "paircounts.hpp"

namespace linkstat {

namespace {

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
    int Array[3][3] = {};  // the genotype table of the current pair
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
                case HaploMode::em:
                    Three_by_Three(Array, first.data(), second.data(), n);
                    Haplo_Em(Array, hapCounts);
                    break;
                case HaploMode::known:
                    Three_by_Three(Array, first.data(), second.data(), n);
                    Haplo_Knw(Array, hapCounts);
                    break;
                case HaploMode::actual:
                    Haplo_Act(hapCounts, first.data(), second.data(), n);
                    break;
            }
            Linkage_Disequilibrium(run, head, hapCounts, Array);
        }
        run.progress.addPairs(j - i - 1, i);
    }
}

}  // namespace

int Chromosomes(const char* alleles) {
    return static_cast<int>(std::strlen(alleles));
}

void Clean(char* s, int n, const char* missing, int nMissing) {
    ldtools::AlleleCoder coder(std::string_view(missing, static_cast<std::size_t>(nMissing)));
    const auto length = static_cast<std::size_t>(n);
    if (ldtools::recodeAlleles(s, length, coder)) return;
    // The string is quoted, and left, with its missing characters shown as "-".
    const std::string shown = withMissingShown(std::string_view(s, length), coder);
    std::copy(shown.begin(), shown.end(), s);
    throw moreThanTwoAlleles(shown);
}

void Calculate_LD(Run& run, const MarkerSet& markers) {
    run.progress.enterSet(markers.nMarkers());
    if (run.tuning.evaluation == Evaluation::literal)
        literalPairs(run, markers);
    else
        run.fast->pairs(run, markers);
}

void Linkage_Disequilibrium(Run& run, const std::string& head, const int hapCounts[4], const int Array[3][3]) {
    if (hasEmptyMargin(hapCounts)) {
        if (!run.settings.recordsOnly) {
            run.fpo.put(head);
            run.fpo.put(kEmptyMarginTail);
        }
        return;
    }
    double result[2];
    if (run.settings.mode == HaploMode::actual) {
        const PairCounts phased{hapCounts[0], hapCounts[1], hapCounts[2], hapCounts[3], 0};
        confidenceLimitsFromCounts(result, phased, hapCounts[0]);
    } else {
        calcConfidenceLimits(Array, result, hapCounts[0]);
    }
    run.fpo.put(head);
    run.fpo.printf("\t%5.3f\t%5.3f", result[0], result[1]);
    run.fpo.put("\n");
}

}  // namespace linkstat
