// Genotype tables and haplotype counts of one marker pair from its allele strings and its table.

#include "paircounts.hpp"

#include <cstring>

namespace linkstat {

namespace {

// Genotype class of one individual from its two allele codes; -1 when either is missing.
int genotypeClass(char x, char y) {
    if ((x != '0' && x != '1') || (y != '0' && y != '1')) return -1;
    return (x - '0') + (y - '0');
}

}  // namespace

PairCounts countsOfTable(const int t[3][3]) {
    PairCounts c;
    c.k00 = 2 * t[0][0] + t[0][1] + t[1][0];
    c.k01 = 2 * t[2][0] + t[1][0] + t[2][1];
    c.k10 = 2 * t[0][2] + t[0][1] + t[1][2];
    c.k11 = 2 * t[2][2] + t[1][2] + t[2][1];
    c.dh = t[1][1];
    return c;
}

bool hasEmptyMargin(const int h[4]) {
    return h[0] + h[1] == 0 || h[2] + h[3] == 0 || h[0] + h[2] == 0 || h[1] + h[3] == 0;
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

void Haplo_Knw(const int Array[3][3], int hapCounts[4]) {
    const PairCounts c = countsOfTable(Array);
    hapCounts[0] = c.k00;
    hapCounts[1] = c.k01;
    hapCounts[2] = c.k10;
    hapCounts[3] = c.k11;
}

void Haplo_Act(int hapCounts[4], const char* first, const char* second, int n) {
    for (int x = 0; x < 4; ++x) hapCounts[x] = 0;
    for (int k = 0; k < n; ++k) {
        const char s = first[k], t = second[k];
        if ((s == '0' || s == '1') && (t == '0' || t == '1')) ++hapCounts[2 * (s - '0') + (t - '0')];
    }
}

}  // namespace linkstat
