// Helpers shared by the processors for walking interleaved float blocks
// safely: the sample count of a block, computed without overflow, and a
// constant-gain multiply that runs four samples at a time.
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

// data[0, count) *= gain, in single precision. Runs four samples at a time
// with unaligned loads and stores (SSE on x86, NEON on ARM where enabled,
// scalar code otherwise); every product equals the scalar product exactly.
void ScaleSamples(float* data, size_t count, float gain);

// The steady-gain path, chosen on the exact (double) gain: 0.0 writes exact
// zeros (+0.0, whatever the input), 1.0 leaves the samples untouched, any
// other gain scales them by the gain in single precision with ScaleSamples.
void ApplyConstantGain(float* data, size_t count, double gain);

}  // namespace post_processors

#endif  // VORN_POST_PROCESSORS_SAMPLE_BUFFER_H_
