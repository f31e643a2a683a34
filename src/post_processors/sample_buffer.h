// Helpers shared by the processors for walking interleaved float blocks
// safely: the sample count of a block, computed without overflow, and a
// vectorised constant-gain multiply.
//
//   size_t n = post_processors::BlockSampleCount(data, frames, channels);
//   post_processors::ScaleSamples(data, n, 0.5f);  // n == 0: nothing to do

#ifndef VORN_POST_PROCESSORS_SAMPLE_BUFFER_H_
#define VORN_POST_PROCESSORS_SAMPLE_BUFFER_H_

#include <cstddef>
#include <cstdint>

namespace post_processors {

// The number of samples in a block of `frames` interleaved frames of
// `channels` channels at `data`. Returns 0, meaning "touch nothing", when
// frames or channels is not positive, when data is null, or when the product
// could not describe a buffer in this address space (it is computed in 64
// bits, so huge blocks never wrap around on 32-bit targets).
size_t BlockSampleCount(const float* data, int32_t frames, int32_t channels);

// data[0, count) *= gain, in single precision, with unaligned loads and
// stores. On x86-64 the kernel is chosen once, when the library is loaded:
// sixteen samples per instruction on AMD processors with AVX-512, eight with
// AVX, four with SSE otherwise; on 32-bit ARM the four-float vectors become
// scalar VFP code (GCC keeps float vector arithmetic off NEON there, whose
// flush of subnormals to zero is not IEEE-exact). Every product equals the
// scalar IEEE product exactly, so the output is the same bit for bit
// whichever kernel runs (for a gain that is not a NaN; with two NaN operands
// either payload may come out). Allocates nothing, takes no lock.
void ScaleSamples(float* data, size_t count, float gain);

// The vector width ScaleSamples uses in this process, in bits: 512, 256 or
// 128 on x86-64, 32 (scalar code) elsewhere.
int ScaleSamplesVectorBits();

// For tests and benchmarks: ScaleSamples through the kernel of
// `floats_per_vector` floats, 4 (always), 8 (x86-64 with AVX) or 16 (x86-64
// with AVX-512F), whether or not it is the one ScaleSamples chose. Returns
// false, touching nothing, when that kernel cannot run here.
bool ScaleSamplesWithKernelForTesting(int floats_per_vector, float* data,
                                      size_t count, float gain);

// The steady-gain path, chosen on the exact (double) gain: 0.0 writes exact
// zeros (+0.0, whatever the input), 1.0 leaves the samples untouched, any
// other gain scales them by the gain in single precision with ScaleSamples.
void ApplyConstantGain(float* data, size_t count, double gain);

}  // namespace post_processors

#endif  // VORN_POST_PROCESSORS_SAMPLE_BUFFER_H_
