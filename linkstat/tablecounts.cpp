// Genotype tables on the packed allele codes (see tablecounts.hpp).

#include "tablecounts.hpp"

#include <bit>
#include <cstdint>

#include "markers.hpp"
#include "targetregion.hpp"

#ifdef LDTOOLS_X86_KERNELS
#include <immintrin.h>
#endif

namespace linkstat {

// Counting loops of one member of the count family (kernels.hpp). The planes of a marker (markers.hpp):
// 0 and 2 hold the codes of the first and second chromosome of each individual, 1 and 3 their missing
// marks; a missing allele has no code bit, and the places past the last chromosome are missing.
struct TableKernels {
    // The nine cells t[class at b][class at a] of individuals typed at both markers.
    void (*unphased)(const std::uint64_t* a, const std::uint64_t* b, int words, int t[3][3]);
    // For two markers with the same missing places: the individuals of class 1 at both, 2 at a and 1 at
    // b, 1 at a and 2 at b, 2 at both.
    void (*unphasedComplete)(const std::uint64_t* a, const std::uint64_t* b, int words, int u[4]);
    // Chromosomes typed at both markers: codes 00, 01, 10, 11 (a's code first).
    void (*phased)(const std::uint64_t* a, const std::uint64_t* b, int words, int k[4]);
    // Chromosomes of code 1 at both markers.
    int (*phasedComplete)(const std::uint64_t* a, const std::uint64_t* b, int words);
};

namespace {

// ---- 64-bit words ---------------------------------------------------------------------------------------

[[gnu::always_inline]] inline void unphasedWords(const std::uint64_t* a, const std::uint64_t* b, int words, int from,
                                                 int t[3][3]) {
    for (int w = from; w < words; ++w) {
        const std::uint64_t ax = a[w], am = a[words + w] | a[3 * words + w], ay = a[2 * words + w];
        const std::uint64_t bx = b[w], bm = b[words + w] | b[3 * words + w], by = b[2 * words + w];
        const std::uint64_t a0 = ~(ax | ay | am), a1 = (ax ^ ay) & ~am, a2 = ax & ay;
        const std::uint64_t b0 = ~(bx | by | bm), b1 = (bx ^ by) & ~bm, b2 = bx & by;
        t[0][0] += std::popcount(a0 & b0);
        t[0][1] += std::popcount(a1 & b0);
        t[0][2] += std::popcount(a2 & b0);
        t[1][0] += std::popcount(a0 & b1);
        t[1][1] += std::popcount(a1 & b1);
        t[1][2] += std::popcount(a2 & b1);
        t[2][0] += std::popcount(a0 & b2);
        t[2][1] += std::popcount(a1 & b2);
        t[2][2] += std::popcount(a2 & b2);
    }
}

[[gnu::always_inline]] inline void unphasedCompleteWords(const std::uint64_t* a, const std::uint64_t* b, int words,
                                                         int from, int u[4]) {
    for (int w = from; w < words; ++w) {
        const std::uint64_t ax = a[w], am = a[words + w] | a[3 * words + w], ay = a[2 * words + w];
        const std::uint64_t bx = b[w], by = b[2 * words + w];
        const std::uint64_t a1 = (ax ^ ay) & ~am, a2 = ax & ay;
        const std::uint64_t b1 = (bx ^ by) & ~am, b2 = bx & by;
        u[0] += std::popcount(a1 & b1);
        u[1] += std::popcount(a2 & b1);
        u[2] += std::popcount(a1 & b2);
        u[3] += std::popcount(a2 & b2);
    }
}

[[gnu::always_inline]] inline void phasedWords(const std::uint64_t* a, const std::uint64_t* b, int words, int from,
                                               int k[4]) {
    for (int plane = 0; plane < 4; plane += 2) {
        const std::uint64_t *ac = a + plane * words, *bc = b + plane * words;
        for (int w = from; w < words; ++w) {
            const std::uint64_t a1 = ac[w], a0 = ~(a1 | ac[words + w]);
            const std::uint64_t b1 = bc[w], b0 = ~(b1 | bc[words + w]);
            k[0] += std::popcount(a0 & b0);
            k[1] += std::popcount(a0 & b1);
            k[2] += std::popcount(a1 & b0);
            k[3] += std::popcount(a1 & b1);
        }
    }
}

[[gnu::always_inline]] inline int phasedCompleteWords(const std::uint64_t* a, const std::uint64_t* b, int words,
                                                      int from) {
    int both = 0;
    for (int w = from; w < words; ++w)
        both += std::popcount(a[w] & b[w]) + std::popcount(a[2 * words + w] & b[2 * words + w]);
    return both;
}

namespace portable {
#include "wordkernels.inc"
}  // namespace portable

#ifdef LDTOOLS_X86_KERNELS

// ---- the processor's population count on 64-bit words ------------------------------------------------------

LDTOOLS_TARGET_BEGIN("popcnt")
namespace popcnt {
#include "wordkernels.inc"
}  // namespace popcnt
LDTOOLS_TARGET_END

// ---- AVX2: 4 words at a time, bits counted by a table of the 16 nibbles --------------------------------------

LDTOOLS_TARGET_BEGIN("avx2,popcnt")
namespace avx2 {

constexpr int kLanes = 4;
// Byte counts grow by at most 8 per vector: 31 vectors keep them below 256.
constexpr int kRun = 31;

inline __m256i load(const std::uint64_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// The number of set bits of every byte.
inline __m256i byteCounts(__m256i v) {
    const __m256i table = _mm256_setr_epi8(0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4, 0, 1, 1, 2, 1, 2, 2, 3, 1,
                                           2, 2, 3, 2, 3, 3, 4);
    const __m256i nibble = _mm256_set1_epi8(0x0f);
    const __m256i low = _mm256_and_si256(v, nibble), high = _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble);
    return _mm256_add_epi8(_mm256_shuffle_epi8(table, low), _mm256_shuffle_epi8(table, high));
}

// Sums of C counters over whole vectors of words: `step` adds the byte counts of one AND of vector w to
// each of bytes[0..C).
template <int C, class Step>
[[gnu::always_inline]] inline int vectorRuns(int words, long long total[C], Step step) {
    const int whole = words - words % kLanes;
    for (int w = 0; w < whole;) {
        __m256i bytes[C];
        for (int c = 0; c < C; ++c) bytes[c] = _mm256_setzero_si256();
        for (const int end = w + kRun * kLanes < whole ? w + kRun * kLanes : whole; w < end; w += kLanes)
            step(w, bytes);
        for (int c = 0; c < C; ++c) {
            const __m256i sums = _mm256_sad_epu8(bytes[c], _mm256_setzero_si256());
            total[c] += _mm256_extract_epi64(sums, 0) + _mm256_extract_epi64(sums, 1) +
                        _mm256_extract_epi64(sums, 2) + _mm256_extract_epi64(sums, 3);
        }
    }
    return whole;
}

void unphased(const std::uint64_t* a, const std::uint64_t* b, int words, int t[3][3]) {
    long long total[9] = {};
    const int done = vectorRuns<9>(words, total, [&](int w, __m256i* bytes) {
        const __m256i ax = load(a + w), am = _mm256_or_si256(load(a + words + w), load(a + 3 * words + w)),
                      ay = load(a + 2 * words + w);
        const __m256i bx = load(b + w), bm = _mm256_or_si256(load(b + words + w), load(b + 3 * words + w)),
                      by = load(b + 2 * words + w);
        const __m256i ones = _mm256_set1_epi64x(-1);
        const __m256i ac[3] = {_mm256_xor_si256(_mm256_or_si256(_mm256_or_si256(ax, ay), am), ones),
                               _mm256_andnot_si256(am, _mm256_xor_si256(ax, ay)), _mm256_and_si256(ax, ay)};
        const __m256i bc[3] = {_mm256_xor_si256(_mm256_or_si256(_mm256_or_si256(bx, by), bm), ones),
                               _mm256_andnot_si256(bm, _mm256_xor_si256(bx, by)), _mm256_and_si256(bx, by)};
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i)
                bytes[3 * j + i] = _mm256_add_epi8(bytes[3 * j + i], byteCounts(_mm256_and_si256(ac[i], bc[j])));
    });
    for (int c = 0; c < 9; ++c) t[c / 3][c % 3] += static_cast<int>(total[c]);
    unphasedWords(a, b, words, done, t);
}

void unphasedComplete(const std::uint64_t* a, const std::uint64_t* b, int words, int u[4]) {
    long long total[4] = {};
    const int done = vectorRuns<4>(words, total, [&](int w, __m256i* bytes) {
        const __m256i ax = load(a + w), am = _mm256_or_si256(load(a + words + w), load(a + 3 * words + w)),
                      ay = load(a + 2 * words + w);
        const __m256i bx = load(b + w), by = load(b + 2 * words + w);
        const __m256i a1 = _mm256_andnot_si256(am, _mm256_xor_si256(ax, ay)), a2 = _mm256_and_si256(ax, ay);
        const __m256i b1 = _mm256_andnot_si256(am, _mm256_xor_si256(bx, by)), b2 = _mm256_and_si256(bx, by);
        bytes[0] = _mm256_add_epi8(bytes[0], byteCounts(_mm256_and_si256(a1, b1)));
        bytes[1] = _mm256_add_epi8(bytes[1], byteCounts(_mm256_and_si256(a2, b1)));
        bytes[2] = _mm256_add_epi8(bytes[2], byteCounts(_mm256_and_si256(a1, b2)));
        bytes[3] = _mm256_add_epi8(bytes[3], byteCounts(_mm256_and_si256(a2, b2)));
    });
    for (int c = 0; c < 4; ++c) u[c] += static_cast<int>(total[c]);
    unphasedCompleteWords(a, b, words, done, u);
}

void phased(const std::uint64_t* a, const std::uint64_t* b, int words, int k[4]) {
    long long total[4] = {};
    int done = 0;
    for (int plane = 0; plane < 4; plane += 2) {
        const std::uint64_t *ac = a + plane * words, *bc = b + plane * words;
        done = vectorRuns<4>(words, total, [&](int w, __m256i* bytes) {
            const __m256i ones = _mm256_set1_epi64x(-1);
            const __m256i a1 = load(ac + w), a0 = _mm256_xor_si256(_mm256_or_si256(a1, load(ac + words + w)), ones);
            const __m256i b1 = load(bc + w), b0 = _mm256_xor_si256(_mm256_or_si256(b1, load(bc + words + w)), ones);
            bytes[0] = _mm256_add_epi8(bytes[0], byteCounts(_mm256_and_si256(a0, b0)));
            bytes[1] = _mm256_add_epi8(bytes[1], byteCounts(_mm256_and_si256(a0, b1)));
            bytes[2] = _mm256_add_epi8(bytes[2], byteCounts(_mm256_and_si256(a1, b0)));
            bytes[3] = _mm256_add_epi8(bytes[3], byteCounts(_mm256_and_si256(a1, b1)));
        });
    }
    for (int c = 0; c < 4; ++c) k[c] += static_cast<int>(total[c]);
    phasedWords(a, b, words, done, k);
}

int phasedComplete(const std::uint64_t* a, const std::uint64_t* b, int words) {
    long long total[2] = {};
    const int done = vectorRuns<2>(words, total, [&](int w, __m256i* bytes) {
        const __m256i first = _mm256_and_si256(load(a + w), load(b + w));
        const __m256i second = _mm256_and_si256(load(a + 2 * words + w), load(b + 2 * words + w));
        bytes[0] = _mm256_add_epi8(bytes[0], byteCounts(first));
        bytes[1] = _mm256_add_epi8(bytes[1], byteCounts(second));
    });
    return static_cast<int>(total[0] + total[1]) + phasedCompleteWords(a, b, words, done);
}

constexpr TableKernels kernels{unphased, unphasedComplete, phased, phasedComplete};
}  // namespace avx2
LDTOOLS_TARGET_END

// ---- AVX-512: 8 words at a time with the 512-bit population count ---------------------------------------------

LDTOOLS_TARGET_BEGIN("avx512f,avx512vpopcntdq")
namespace avx512 {

constexpr int kLanes = 8;

// Lanes [0, words - w) of the vector of words w.
inline __mmask8 lanes(int words, int w) {
    return words - w >= kLanes ? __mmask8(0xFF) : static_cast<__mmask8>((1u << (words - w)) - 1);
}

inline __m512i load(__mmask8 k, const std::uint64_t* p) {
    return _mm512_maskz_loadu_epi64(k, p);
}

inline __m512i count(__m512i v) {
    return _mm512_popcnt_epi64(v);
}

inline int sumLanes(__m512i v) {
    std::int64_t lanes[kLanes];
    _mm512_storeu_si512(lanes, v);
    std::int64_t sum = 0;
    for (const std::int64_t lane : lanes) sum += lane;
    return static_cast<int>(sum);
}

// Immediates of the ternary logic instruction for the operands (A, B, C): ~(A | B | C) and (A ^ B) & ~C.
constexpr int kNoneOf = 0x01;
constexpr int kOddNotC = 0x14;

void unphased(const std::uint64_t* a, const std::uint64_t* b, int words, int t[3][3]) {
    __m512i sum[9];
    for (__m512i& s : sum) s = _mm512_setzero_si512();
    for (int w = 0; w < words; w += kLanes) {
        const __mmask8 k = lanes(words, w);
        const __m512i ax = load(k, a + w), am = _mm512_or_si512(load(k, a + words + w), load(k, a + 3 * words + w)),
                      ay = load(k, a + 2 * words + w);
        const __m512i bx = load(k, b + w), bm = _mm512_or_si512(load(k, b + words + w), load(k, b + 3 * words + w)),
                      by = load(k, b + 2 * words + w);
        // lanes past the last word stay zero in every class
        const __m512i ac[3] = {_mm512_maskz_ternarylogic_epi64(k, ax, ay, am, kNoneOf),
                               _mm512_ternarylogic_epi64(ax, ay, am, kOddNotC), _mm512_and_si512(ax, ay)};
        const __m512i bc[3] = {_mm512_maskz_ternarylogic_epi64(k, bx, by, bm, kNoneOf),
                               _mm512_ternarylogic_epi64(bx, by, bm, kOddNotC), _mm512_and_si512(bx, by)};
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i)
                sum[3 * j + i] = _mm512_add_epi64(sum[3 * j + i], count(_mm512_and_si512(ac[i], bc[j])));
    }
    for (int c = 0; c < 9; ++c) t[c / 3][c % 3] += sumLanes(sum[c]);
}

void unphasedComplete(const std::uint64_t* a, const std::uint64_t* b, int words, int u[4]) {
    __m512i sum[4];
    for (__m512i& s : sum) s = _mm512_setzero_si512();
    for (int w = 0; w < words; w += kLanes) {
        const __mmask8 k = lanes(words, w);
        const __m512i ax = load(k, a + w), am = _mm512_or_si512(load(k, a + words + w), load(k, a + 3 * words + w)),
                      ay = load(k, a + 2 * words + w);
        const __m512i bx = load(k, b + w), by = load(k, b + 2 * words + w);
        const __m512i a1 = _mm512_ternarylogic_epi64(ax, ay, am, kOddNotC), a2 = _mm512_and_si512(ax, ay);
        const __m512i b1 = _mm512_ternarylogic_epi64(bx, by, am, kOddNotC), b2 = _mm512_and_si512(bx, by);
        sum[0] = _mm512_add_epi64(sum[0], count(_mm512_and_si512(a1, b1)));
        sum[1] = _mm512_add_epi64(sum[1], count(_mm512_and_si512(a2, b1)));
        sum[2] = _mm512_add_epi64(sum[2], count(_mm512_and_si512(a1, b2)));
        sum[3] = _mm512_add_epi64(sum[3], count(_mm512_and_si512(a2, b2)));
    }
    for (int c = 0; c < 4; ++c) u[c] += sumLanes(sum[c]);
}

void phased(const std::uint64_t* a, const std::uint64_t* b, int words, int k[4]) {
    __m512i sum[4];
    for (__m512i& s : sum) s = _mm512_setzero_si512();
    for (int plane = 0; plane < 4; plane += 2) {
        const std::uint64_t *ac = a + plane * words, *bc = b + plane * words;
        for (int w = 0; w < words; w += kLanes) {
            const __mmask8 m = lanes(words, w);
            const __m512i a1 = load(m, ac + w), b1 = load(m, bc + w);
            const __m512i a0 = _mm512_maskz_ternarylogic_epi64(m, a1, load(m, ac + words + w), a1, kNoneOf);
            const __m512i b0 = _mm512_maskz_ternarylogic_epi64(m, b1, load(m, bc + words + w), b1, kNoneOf);
            sum[0] = _mm512_add_epi64(sum[0], count(_mm512_and_si512(a0, b0)));
            sum[1] = _mm512_add_epi64(sum[1], count(_mm512_and_si512(a0, b1)));
            sum[2] = _mm512_add_epi64(sum[2], count(_mm512_and_si512(a1, b0)));
            sum[3] = _mm512_add_epi64(sum[3], count(_mm512_and_si512(a1, b1)));
        }
    }
    for (int c = 0; c < 4; ++c) k[c] += sumLanes(sum[c]);
}

int phasedComplete(const std::uint64_t* a, const std::uint64_t* b, int words) {
    __m512i sum = _mm512_setzero_si512();
    for (int w = 0; w < words; w += kLanes) {
        const __mmask8 k = lanes(words, w);
        sum = _mm512_add_epi64(sum, count(_mm512_and_si512(load(k, a + w), load(k, b + w))));
        sum = _mm512_add_epi64(sum, count(_mm512_and_si512(load(k, a + 2 * words + w), load(k, b + 2 * words + w))));
    }
    return sumLanes(sum);
}

constexpr TableKernels kernels{unphased, unphasedComplete, phased, phasedComplete};
}  // namespace avx512
LDTOOLS_TARGET_END

#endif  // LDTOOLS_X86_KERNELS

const TableKernels& kernelsOf(CountKernel kernel) {
#ifdef LDTOOLS_X86_KERNELS
    switch (kernel) {
        case CountKernel::portable: break;
        case CountKernel::popcnt: return popcnt::kernels;
        case CountKernel::avx2: return avx2::kernels;
        case CountKernel::avx512: return avx512::kernels;
    }
#endif
    (void)kernel;
    return portable::kernels;
}

}  // namespace

// ---- the tables of a set ------------------------------------------------------------------------------------

TableCounter::TableCounter(const PackedAlleles& alleles, int nMarkers, int nChromosomes, bool phased,
                           CountKernel kernel)
    : alleles_(alleles),
      phased_(phased),
      kernels_(&kernelsOf(kernelRuns(kernel) ? kernel : CountKernel::portable)),
      totals_(static_cast<std::size_t>(nMarkers > 0 ? nMarkers : 0)) {
    const int words = alleles.words();
    for (int m = 0; m < nMarkers; ++m) {
        const std::uint64_t* p = alleles[m];
        Totals& totals = totals_[static_cast<std::size_t>(m)];
        int n[3] = {0, 0, 0};
        if (phased) {
            // chromosomes typed, and of code 1
            int missing = 0;
            for (int w = 0; w < words; ++w) {
                n[1] += std::popcount(p[w]) + std::popcount(p[2 * words + w]);
                missing += std::popcount(p[words + w]) + std::popcount(p[3 * words + w]);
            }
            const int typed = 128 * words - missing;
            n[0] = typed - n[1];
            totals.complete = typed == nChromosomes;
        } else {
            for (int w = 0; w < words; ++w) {
                const std::uint64_t x = p[w], y = p[2 * words + w], missing = p[words + w] | p[3 * words + w];
                n[0] += std::popcount(~(x | y | missing));
                n[1] += std::popcount((x ^ y) & ~missing);
                n[2] += std::popcount(x & y);
            }
            // every individual with both chromosomes is in a class
            totals.complete = n[0] + n[1] + n[2] == nChromosomes / 2;
        }
        for (int c = 0; c < 3; ++c) totals.n[c] = n[c];
    }
}

int TableCounter::completeMarkers() const {
    int complete = 0;
    for (const Totals& totals : totals_) complete += totals.complete;
    return complete;
}

PairCounts TableCounter::cellByCell(int first, int second) const {
    const std::uint64_t *a = alleles_[first], *b = alleles_[second];
    const int words = alleles_.words();
    if (phased_) {
        int k[4] = {0, 0, 0, 0};
        kernels_->phased(a, b, words, k);
        return PairCounts{k[0], k[1], k[2], k[3], 0};
    }
    int t[3][3] = {};
    kernels_->unphased(a, b, words, t);
    return countsOfTable(t);
}

PairCounts TableCounter::operator()(int first, int second) const {
    const Totals& ta = totals_[static_cast<std::size_t>(first)];
    const Totals& tb = totals_[static_cast<std::size_t>(second)];
    if (!ta.complete || !tb.complete) return cellByCell(first, second);
    const std::uint64_t *a = alleles_[first], *b = alleles_[second];
    const int words = alleles_.words();
    if (phased_) {
        // every chromosome is typed at both markers
        const int k11 = kernels_->phasedComplete(a, b, words);
        const int k10 = ta.n[1] - k11, k01 = tb.n[1] - k11;
        return PairCounts{ta.n[0] - k01, k01, k10, k11, 0};
    }
    // Classes 1 and 2 at both markers counted; every other cell is a class total less the cells beside it.
    int u[4] = {0, 0, 0, 0};
    kernels_->unphasedComplete(a, b, words, u);
    int t[3][3];
    t[1][1] = u[0];
    t[1][2] = u[1];
    t[2][1] = u[2];
    t[2][2] = u[3];
    t[0][1] = ta.n[1] - t[1][1] - t[2][1];
    t[0][2] = ta.n[2] - t[1][2] - t[2][2];
    t[1][0] = tb.n[1] - t[1][1] - t[1][2];
    t[2][0] = tb.n[2] - t[2][1] - t[2][2];
    t[0][0] = ta.n[0] - t[1][0] - t[2][0];
    return countsOfTable(t);
}

}  // namespace linkstat
