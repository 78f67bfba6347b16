// The members of the pack family (kernels.hpp) beyond the portable one, which the reader itself is:
// 128 characters of an allele string compared at once and packed into the four planes of a block.

#include <cstdint>

#include "markers.hpp"
#include "targetregion.hpp"

#ifdef LDTOOLS_X86_KERNELS
#include <immintrin.h>
#endif

namespace linkstat {

namespace {

// The characters of a block: bit c of mask h is character 64 h + c. Chromosome k is the first (k even) or
// second chromosome of individual k / 2, so the even bits go to planes 0 and 1, the odd ones to 2 and 3.
constexpr std::uint64_t kEvenBits = 0x5555555555555555ull;

#ifdef LDTOOLS_X86_KERNELS

LDTOOLS_TARGET_BEGIN("avx2,bmi2")
namespace avx2 {
// Bit i set where character i of the 64 at `text` is c.
inline std::uint64_t matches(const char* text, char c) {
    std::uint64_t bits = 0;
    for (int q = 0; q < 2; ++q) {
        const __m256i chars = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + 32 * q));
        const __m256i equal = _mm256_cmpeq_epi8(chars, _mm256_set1_epi8(c));
        bits |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(equal))} << 32 * q;
    }
    return bits;
}
#include "packkernels.inc"
}  // namespace avx2
LDTOOLS_TARGET_END

LDTOOLS_TARGET_BEGIN("avx512f,avx512bw,bmi2")
namespace avx512 {
inline std::uint64_t matches(const char* text, char c) {
    return _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(text), _mm512_set1_epi8(c));
}
#include "packkernels.inc"
}  // namespace avx512
LDTOOLS_TARGET_END

#endif  // LDTOOLS_X86_KERNELS

}  // namespace

PackBlock packBlockKernel(PackKernel kernel) {
#ifdef LDTOOLS_X86_KERNELS
    if (kernel == PackKernel::avx512) return avx512::packBlock;
    if (kernel == PackKernel::avx2) return avx2::packBlock;
#endif
    (void)kernel;
    return nullptr;
}

}  // namespace linkstat
