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

// D' at the grid slots (D' = 1 at kOneSlot, 0 in the padding) and at the upper walk's steps stored beside
// them; which slots are grid values.
struct SlotThetas {
    alignas(64) double grid[kSlots];
    alignas(64) double falling[kSlots];
    alignas(64) std::int64_t onGrid[kSlots];
    SlotThetas() {
        for (int s = 0; s < kSlots; ++s) {
            grid[s] = s < kGridSteps ? risingTheta(s) : s == kOneSlot ? fallingTheta(0) : 0;
            falling[s] = s <= kGridSteps ? fallingTheta(kGridSteps - s) : 0;
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
typedef double D __attribute__((vector_size(16)));
typedef std::int64_t I __attribute__((vector_size(16)));
inline D vlog(D x) {
    return D{std::log(x[0]), std::log(x[1])};
}
inline D vexp(D x) {
    return D{std::exp(x[0]), std::exp(x[1])};
}
inline bool anyLane(I mask) {
    return (mask[0] | mask[1]) != 0;
}
#include "gridkernels.inc"
}  // namespace portable

#ifdef LDTOOLS_VECTOR_MATH

// ---- AVX2: the C library's vector log and exp (its vector function ABI), 4 lanes ---------------------------

LDTOOLS_TARGET_BEGIN("avx2")
extern "C" __m256d _ZGVdN4v_log(__m256d);
extern "C" __m256d _ZGVdN4v_exp(__m256d);
namespace avx2 {
constexpr int kLanes = 4;
typedef double D __attribute__((vector_size(32)));
typedef std::int64_t I __attribute__((vector_size(32)));
inline D vlog(D x) {
    return _ZGVdN4v_log(x);
}
inline D vexp(D x) {
    return _ZGVdN4v_exp(x);
}
inline bool anyLane(I mask) {
    return _mm256_movemask_pd((__m256d)mask) != 0;
}
#include "gridkernels.inc"
}  // namespace avx2
LDTOOLS_TARGET_END

// ---- AVX-512: the same, 8 lanes -----------------------------------------------------------------------------

LDTOOLS_TARGET_BEGIN("avx512f")
extern "C" __m512d _ZGVeN8v_log(__m512d);
extern "C" __m512d _ZGVeN8v_exp(__m512d);
namespace avx512 {
constexpr int kLanes = 8;
typedef double D __attribute__((vector_size(64)));
typedef std::int64_t I __attribute__((vector_size(64)));
inline D vlog(D x) {
    return _ZGVeN8v_log(x);
}
inline D vexp(D x) {
    return _ZGVeN8v_exp(x);
}
inline bool anyLane(I mask) {
    return _mm512_test_epi64_mask((__m512i)mask, (__m512i)mask) != 0;
}
#include "gridkernels.inc"
}  // namespace avx512
LDTOOLS_TARGET_END

#endif  // LDTOOLS_VECTOR_MATH

}  // namespace

const GridKernels& gridKernels(BoundsKernel kernel) {
#ifdef LDTOOLS_VECTOR_MATH
    if (kernel == BoundsKernel::avx2) return avx2::kernels;
    if (kernel == BoundsKernel::avx512) return avx512::kernels;
#endif
    (void)kernel;
    return portable::kernels;
}

}  // namespace linkstat
