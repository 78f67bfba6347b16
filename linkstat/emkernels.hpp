#pragma once
// The EM of many genotype tables at once (fastEmHaplotypes of linkstat.hpp): the tables' iterations run
// side by side in the lanes of vector registers. Every lane computes a step with the same IEEE operations
// in the same order as emStep and emRiseLowerBound (no contraction), so it gives the same doubles; the
// log-likelihoods are taken one lane at a time by emLogLikelihood itself. Kernels differ in speed only.

namespace linkstat {

// Scalar: two lanes of plain arithmetic; Avx2: four lanes; Avx512: eight.
enum class EmKernel { Scalar, Avx2, Avx512 };

bool emKernelRuns(EmKernel kernel);
EmKernel fastestEmKernel();
// The kernel in use (the fastest unless chosen otherwise).
EmKernel emKernel();
// Chooses the kernel (tests and benchmarks); a kernel the processor cannot run leaves the choice as it is
// and returns false.
bool useEmKernel(EmKernel kernel);
const char* emKernelName(EmKernel kernel);

}  // namespace linkstat
