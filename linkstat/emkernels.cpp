// The members of the EM family (kernels.hpp): the EM of many tables side by side in vector lanes (see
// fastEmHaplotypes in em.hpp).

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "em.hpp"
#include "targetregion.hpp"

#ifdef LDTOOLS_X86_KERNELS
#include <immintrin.h>
#endif

namespace linkstat {
namespace {

constexpr double kEmUnit = 0x1p-53;

// One table's iteration, as emHaplotypes runs it: a step's log-likelihoods are taken only when the step's
// sure rise (emRiseLowerBound against emSureRise) does not settle the test |lnL - previous| > 1e-9, and
// always after the first step.
struct EmTable {
    double k[4], dh, T, sureRise;
    double lnL;  // the log-likelihood of the frequencies before the next step, when known
    bool known;
    int* out;
    double* frequencies;  // where the last frequencies go, or null

    // Starts the table; false when it needs no step (the counts are then written).
    bool start(const PairCounts& counts, int* hapCounts, double* lastFrequencies) {
        out = hapCounts;
        frequencies = lastFrequencies;
        k[0] = counts.k00;
        k[1] = counts.k01;
        k[2] = counts.k10;
        k[3] = counts.k11;
        dh = counts.dh;
        T = k[0] + k[1] + k[2] + k[3] + 2 * dh;
        if (emptyForEm(k, dh, T)) {
            for (int x = 0; x < 4; ++x) out[x] = 0;
            if (frequencies)
                for (int x = 0; x < 4; ++x) frequencies[x] = 0.25;
            return false;
        }
        lnL = (k[0] + k[1] + k[2] + k[3] + dh) * std::log(0.25);
        known = true;
        if (!(std::fabs(lnL + 999999999.0) > 1e-9)) {
            const double p[4] = {0.25, 0.25, 0.25, 0.25};
            finish(p);
            return false;
        }
        sureRise = emSureRise(k, dh);
        return true;
    }

    // A step whose rise is sure to exceed the test's threshold.
    void skip() { known = false; }

    // The test after a step from the frequencies `before` to `after`; false once the iteration has ended
    // (the counts are then written).
    bool logStep(const double before[4], const double after[4]) {
        const double previous = known ? lnL : emLogLikelihood(k, dh, before);
        lnL = emLogLikelihood(k, dh, after);
        known = true;
        if (std::fabs(lnL - previous) > 1e-9) return true;
        finish(after);
        return false;
    }

    void finish(const double p[4]) {
        for (int x = 0; x < 4; ++x) out[x] = static_cast<int>(p[x] * T + 0.5);
        if (frequencies)
            for (int x = 0; x < 4; ++x) frequencies[x] = p[x];
    }
};

// ---- portable: two lanes of plain arithmetic -----------------------------------------------------------------

namespace portable {
constexpr int kLanes = 2;
typedef double D __attribute__((vector_size(16)));
typedef std::int64_t I __attribute__((vector_size(16)));
inline unsigned laneBits(I mask) {
    return (mask[0] != 0 ? 1u : 0u) | (mask[1] != 0 ? 2u : 0u);
}
#include "emkernels.inc"
}  // namespace portable

#ifdef LDTOOLS_X86_KERNELS

LDTOOLS_TARGET_BEGIN("avx2")
namespace avx2 {
constexpr int kLanes = 4;
typedef double D __attribute__((vector_size(32)));
typedef std::int64_t I __attribute__((vector_size(32)));
inline unsigned laneBits(I mask) {
    return static_cast<unsigned>(_mm256_movemask_pd(reinterpret_cast<__m256d>(mask)));
}
#include "emkernels.inc"
}  // namespace avx2
LDTOOLS_TARGET_END

LDTOOLS_TARGET_BEGIN("avx512f")
namespace avx512 {
constexpr int kLanes = 8;
typedef double D __attribute__((vector_size(64)));
typedef std::int64_t I __attribute__((vector_size(64)));
inline unsigned laneBits(I mask) {
    return _mm512_test_epi64_mask(reinterpret_cast<__m512i>(mask), reinterpret_cast<__m512i>(mask));
}
#include "emkernels.inc"
}  // namespace avx512
LDTOOLS_TARGET_END

#endif  // LDTOOLS_X86_KERNELS

}  // namespace

void fastEmHaplotypes(const PairCounts* counts, std::size_t n, int (*hapCounts)[4], EmKernel kernel,
                      double (*frequencies)[4]) {
    switch (kernel) {
#ifdef LDTOOLS_X86_KERNELS
        case EmKernel::avx512: return avx512::fastEm(counts, n, hapCounts, frequencies);
        case EmKernel::avx2: return avx2::fastEm(counts, n, hapCounts, frequencies);
#endif
        default: return portable::fastEm(counts, n, hapCounts, frequencies);
    }
}

}  // namespace linkstat
