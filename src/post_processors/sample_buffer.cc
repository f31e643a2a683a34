#include "post_processors/sample_buffer.h"

#include <cstdint>
#include <cstring>

namespace post_processors {

namespace {

// Four floats in one register. GCC lowers the operations to SSE, NEON or
// scalar code depending on the target.
typedef float v4sf __attribute__((vector_size(16)));

constexpr size_t kVectorFloats = sizeof(v4sf) / sizeof(float);

}  // namespace

size_t BlockSampleCount(const float* data, int32_t frames, int32_t channels) {
  if (data == nullptr || frames <= 0 || channels <= 0) return 0;
  const uint64_t samples =
      static_cast<uint64_t>(frames) * static_cast<uint64_t>(channels);
  // No real buffer spans more than half the address space.
  const uint64_t kMaxSamples =
      static_cast<uint64_t>(PTRDIFF_MAX) / sizeof(float);
  if (samples > kMaxSamples) return 0;
  return static_cast<size_t>(samples);
}

void ScaleSamples(float* data, size_t count, float gain) {
  const v4sf g = {gain, gain, gain, gain};
  size_t i = 0;
  // Four vectors per turn keeps the multiplier busy while loads are pending.
  for (; i + 4 * kVectorFloats <= count; i += 4 * kVectorFloats) {
    v4sf a, b, c, d;
    std::memcpy(&a, data + i, sizeof(a));
    std::memcpy(&b, data + i + kVectorFloats, sizeof(b));
    std::memcpy(&c, data + i + 2 * kVectorFloats, sizeof(c));
    std::memcpy(&d, data + i + 3 * kVectorFloats, sizeof(d));
    a *= g;
    b *= g;
    c *= g;
    d *= g;
    std::memcpy(data + i, &a, sizeof(a));
    std::memcpy(data + i + kVectorFloats, &b, sizeof(b));
    std::memcpy(data + i + 2 * kVectorFloats, &c, sizeof(c));
    std::memcpy(data + i + 3 * kVectorFloats, &d, sizeof(d));
  }
  for (; i + kVectorFloats <= count; i += kVectorFloats) {
    v4sf a;
    std::memcpy(&a, data + i, sizeof(a));
    a *= g;
    std::memcpy(data + i, &a, sizeof(a));
  }
  for (; i < count; ++i) data[i] *= gain;
}

void ApplyConstantGain(float* data, size_t count, double gain) {
  if (gain == 1.0) return;
  if (gain == 0.0) {
    for (size_t i = 0; i < count; ++i) data[i] = 0.0f;
    return;
  }
  ScaleSamples(data, count, static_cast<float>(gain));
}

}  // namespace post_processors
