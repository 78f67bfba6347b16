#include "gridkernels.hpp"

#include <cmath>
#include <cstring>
#include <limits>

#include "targetregion.hpp"

#ifdef LDTOOLS_VECTOR_MATH
#include <immintrin.h>
#endif

namespace linkstat {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// D' at the grid slots (D' = 1 at kOneSlot, 0 in the padding); which slots are grid values.
struct SlotThetas {
    alignas(64) double grid[kSlots];
    alignas(64) std::int64_t onGrid[kSlots];
    SlotThetas() {
        for (int s = 0; s < kSlots; ++s) {
            grid[s] = s < kGridSteps ? risingTheta(s) : s == kOneSlot ? fallingTheta(0) : 0;
            onGrid[s] = s < kGridSteps ? -1 : 0;
        }
    }
};

const SlotThetas& slotThetas() {
    static const SlotThetas instance;
    return instance;
}

// ---- portable: the C library's log and exp, one value at a time (two lanes of plain arithmetic) --------

namespace portable {
constexpr int kLanes = 2;
constexpr double kLogAbsoluteError = 0;
typedef double D __attribute__((vector_size(16)));
typedef std::int64_t I __attribute__((vector_size(16)));
struct MathTables {};
inline MathTables mathTables() {
    return {};
}
inline D vexp(D x, MathTables) {
    return D{std::exp(x[0]), std::exp(x[1])};
}
inline D logarithm(D x, MathTables) {
    return D{std::log(x[0]), std::log(x[1])};
}
inline D mulAdd(D a, D b, D c) {
    return a * b + c;
}
inline bool anyLane(I mask) {
    return (mask[0] | mask[1]) != 0;
}
#include "gridkernels.inc"
}  // namespace portable

#ifdef LDTOOLS_VECTOR_MATH

// ---- AVX2: the C library's vector log and exp (its vector function ABI), 4 lanes ---------------------------

LDTOOLS_TARGET_BEGIN("avx2")
extern "C" __m256d _ZGVdN4v_exp(__m256d);
extern "C" __m256d _ZGVdN4v_log(__m256d);
namespace avx2 {
constexpr int kLanes = 4;
constexpr double kLogAbsoluteError = 0;
typedef double D __attribute__((vector_size(32)));
typedef std::int64_t I __attribute__((vector_size(32)));
struct MathTables {};
inline MathTables mathTables() {
    return {};
}
inline D vexp(D x, MathTables) {
    return _ZGVdN4v_exp(x);
}
inline D logarithm(D x, MathTables) {
    return _ZGVdN4v_log(x);
}
inline D mulAdd(D a, D b, D c) {
    return a * b + c;
}
inline bool anyLane(I mask) {
    return _mm256_movemask_pd((__m256d)mask) != 0;
}
#include "gridkernels.inc"
}  // namespace avx2
LDTOOLS_TARGET_END

// ---- AVX-512: the same, 8 lanes -----------------------------------------------------------------------------

// The logarithm is the kernel's own, inlined into the grid's loops: x = 2^e m with m in [1, 2) (exact, also
// for subnormal x); r is the double nearest to 1 / c for c the middle of m's sixteenth of [1, 2), so that
// t = m r - 1 lies within 1/33 + 2^-52 of 0, and ln x = e ln 2 - ln r + ln(1 + t) exactly, the last by its
// Taylor polynomial of degree 9 (remainder below |t|^10 / 10 / (1 - |t|) < 2^-55). Errors: t is m r - 1
// rounded once (a fused multiply-add: below 2^-58, which moves ln(1 + t) by less than 2^-57), the
// polynomial's roundings stay below 2^-56, -ln r from the C library below 2^-53, e ln 2 is split so that
// e times its high part is exact, and the three sums round by at most half a unit in the last place of
// their results (the polynomial's steps and the products by e are fused multiply-adds, one rounding
// each): |error| <= 2^-52 |ln x| + 2^-51, inside the bound logarithmsOf states.
struct OwnLogarithmTables {
    alignas(64) double inverse[16];
    alignas(64) double minusLn[16];
    OwnLogarithmTables() {
        for (int i = 0; i < 16; ++i) {
            inverse[i] = 1 / (1 + (i + 0.5) / 16);
            minusLn[i] = -std::log(inverse[i]);
        }
    }
};

// So is the exponential, for exponents in [-kFarExponent, kFarExponent]: d = k ln 2 / 16 + r with k the
// integer nearest to 16 d / ln 2 and |r| <= ln 2 / 32 (plus roundings far below), exp d =
// 2^floor(k / 16) 2^(j / 16) exp r with j = k mod 16, exp r by its Taylor polynomial of degree 6
// (remainder below |r|^7 / 7! e^|r| < 2^-51). Errors, relative: 2^(j/16) from the C library below 2^-53,
// r from two fused multiply-adds with ln 2 / 16 split so that k times its high part is exact (below
// 2^-57), the polynomial's six steps and the final product below 2^-50, the power of two exact: below
// 2^-49 in all, inside the 2^-46 that gridbounds.cpp assumes of every exponential.
struct OwnExponentialTables {
    alignas(64) double twoTo[16];
    OwnExponentialTables() {
        for (int j = 0; j < 16; ++j) twoTo[j] = std::exp2(j / 16.0);
    }
};

LDTOOLS_TARGET_BEGIN("avx512f")
namespace avx512 {
constexpr int kLanes = 8;
constexpr double kLogAbsoluteError = 0x1p-50;
typedef double D __attribute__((vector_size(64)));
typedef std::int64_t I __attribute__((vector_size(64)));
// The tables of both, in registers while a loop runs (each table is 16 doubles, two vectors).
struct MathTables {
    __m512d twoTo[2], inverse[2], minusLn[2];
};
inline MathTables mathTables() {
    static const OwnExponentialTables exponential;
    static const OwnLogarithmTables logarithm;
    MathTables t;
    for (int half = 0; half < 2; ++half) {
        t.twoTo[half] = _mm512_load_pd(exponential.twoTo + 8 * half);
        t.inverse[half] = _mm512_load_pd(logarithm.inverse + 8 * half);
        t.minusLn[half] = _mm512_load_pd(logarithm.minusLn + 8 * half);
    }
    return t;
}
inline D vexp(D dv, const MathTables& t) {
    constexpr double kSixteenthsPerLn2 = 16 / 0x1.62e42fefa39efp-1;
    constexpr double kRoundingShift = 0x1.8p52;  // adding it rounds to a whole number in the low bits
    constexpr double kSixteenthHigh = 0x1.62e42fefa3800p-5;  // 42 significant bits of ln 2 / 16
    constexpr double kSixteenthLow = 0x1.ef35793c76730p-49;  // ln 2 / 16 - kSixteenthHigh
    const __m512d d = (__m512d)dv;
    const __m512d shifted = _mm512_add_pd(_mm512_mul_pd(d, _mm512_set1_pd(kSixteenthsPerLn2)), _mm512_set1_pd(kRoundingShift));
    const __m512d k = _mm512_sub_pd(shifted, _mm512_set1_pd(kRoundingShift));
    __m512d r = _mm512_fnmadd_pd(k, _mm512_set1_pd(kSixteenthHigh), d);
    r = _mm512_fnmadd_pd(k, _mm512_set1_pd(kSixteenthLow), r);
    // j = k mod 16 lies in the low four bits of the shifted value (the permutation reads only those)
    const __m512d power = _mm512_permutex2var_pd(t.twoTo[0], _mm512_castpd_si512(shifted), t.twoTo[1]);
    __m512d poly = _mm512_set1_pd(1.0 / 720);
    for (const double coefficient : {1.0 / 120, 1.0 / 24, 1.0 / 6, 1.0 / 2, 1.0, 1.0})
        poly = _mm512_fmadd_pd(poly, r, _mm512_set1_pd(coefficient));
    return (D)_mm512_maskz_scalef_pd(0xFF, _mm512_mul_pd(power, poly), _mm512_mul_pd(k, _mm512_set1_pd(1.0 / 16)));
}
inline D logarithm(D xv, const MathTables& t) {
    constexpr double kLn2High = 0x1.62e42fefa3800p-1;  // 42 significant bits: e times it is exact
    constexpr double kLn2Low = 0x1.ef35793c76730p-45;  // ln 2 - kLn2High
    const __m512d x = (__m512d)xv;
    const __m512d e = _mm512_maskz_getexp_pd(0xFF, x);
    const __m512d m = _mm512_maskz_getmant_pd(0xFF, x, _MM_MANT_NORM_1_2, _MM_MANT_SIGN_src);
    // the top four bits of m's fraction choose its sixteenth (the permutations read the index's low bits)
    const __m512i index = _mm512_maskz_srli_epi64(0xFF, _mm512_castpd_si512(m), 48);
    const __m512d r = _mm512_permutex2var_pd(t.inverse[0], index, t.inverse[1]);
    const __m512d minusLnR = _mm512_permutex2var_pd(t.minusLn[0], index, t.minusLn[1]);
    const __m512d u = _mm512_fmsub_pd(m, r, _mm512_set1_pd(1.0));
    // Horner's scheme with fused multiply-adds (one rounding a step)
    __m512d poly = _mm512_set1_pd(1.0 / 9);
    for (const double coefficient : {-1.0 / 8, 1.0 / 7, -1.0 / 6, 1.0 / 5, -1.0 / 4, 1.0 / 3, -1.0 / 2, 1.0})
        poly = _mm512_fmadd_pd(poly, u, _mm512_set1_pd(coefficient));
    poly = _mm512_mul_pd(poly, u);
    const __m512d low = _mm512_fmadd_pd(e, _mm512_set1_pd(kLn2Low), minusLnR);
    return (D)_mm512_fmadd_pd(e, _mm512_set1_pd(kLn2High), _mm512_add_pd(low, poly));
}
inline D mulAdd(D a, D b, D c) {
    return (D)_mm512_fmadd_pd((__m512d)a, (__m512d)b, (__m512d)c);
}
inline bool anyLane(I mask) {
    return _mm512_test_epi64_mask((__m512i)mask, (__m512i)mask) != 0;
}
#include "gridkernels.inc"
}  // namespace avx512
LDTOOLS_TARGET_END

#endif  // LDTOOLS_VECTOR_MATH

}  // namespace

double pairedThetaDistance() {
    static const double distance = [] {
        double largest = 0;
        for (int k = 1; k <= kGridSteps; ++k) {
            const double d = std::fabs(fallingTheta(k) - risingTheta(kGridSteps - k));
            largest = d > largest ? d : largest;
        }
        return largest * (1 + 0x1p-52);  // the differences of neighbours are exact; the rest is room
    }();
    return distance;
}

// The ends bound p_f over the grid values between them. With u = 2^-53 and x = p00: as computed, p00
// never falls with D' (a rounded product and a rounded sum of positive numbers) and p01 and p10 never rise
// (a rounded difference from a constant), so their smallest values lie at an end. p11 = ((1 - p00) - p01)
// - p10 differs from 1 - pA - pB + x by at most 5.1 u (the roundings of p01, p10 and its own three), so it
// is at least its value at the lowest D' less 10.2 u.
// The double-heterozygote term differs by at most 12 u from q(x) = 2 x^2 - 4 x* x + pA pB, which is
// smallest at x* = (2 pA + 2 pB - 1) / 4, where it is pA pB - 2 x*^2: it is at least the smaller of its
// values at the ends, or that when x* lies between them, less 64 u for all the roundings.
double leastProbability(const GridSlots& g, const LikelihoodSetup& L, int f, int from, int to) {
    const double* p = g.p[f];
    switch (f) {
        case 0: return p[from];
        case 1:
        case 2: return p[to - 1];
        case 3: return p[from] - 0x1p-49;
        default: {
            const double vertex = (2 * L.pA + 2 * L.pB - 1) / 4;
            const double x0 = g.p[0][from], x1 = g.p[0][to - 1];
            const double ends = p[from] < p[to - 1] ? p[from] : p[to - 1];
            const double least = x0 < vertex && vertex < x1 ? L.pApB - 2 * vertex * vertex : ends;
            return least - 0x1p-47;
        }
    }
}

const GridKernels& gridKernels(BoundsKernel kernel) {
#ifdef LDTOOLS_VECTOR_MATH
    if (kernel == BoundsKernel::avx2) return avx2::kernels;
    if (kernel == BoundsKernel::avx512) return avx512::kernels;
#endif
    (void)kernel;
    return portable::kernels;
}

}  // namespace linkstat
