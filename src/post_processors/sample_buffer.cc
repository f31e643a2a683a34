#include "post_processors/sample_buffer.h"

#include <cstdint>
#include <cstring>

namespace post_processors {

namespace {

// data[0, count) *= gain on vectors of `Vector` (4, 8 or 16 floats), four
// vectors per turn to keep the multiplier busy while loads are pending, then
// one at a time, then scalar products for the tail. With `kAlignFirst`,
// scalar products lead in to a boundary of the vector's size, so that no
// vector access straddles two cache lines (on a block 16 bytes off such a
// boundary, as malloc gives, every other 32- or 64-byte access would). Each
// lane is the same IEEE single-precision product as the scalar one, and
// nothing here can contract into a fused operation. Inlined into each kernel
// below, so that it is compiled for that kernel's instruction set.
template <typename Vector, bool kAlignFirst>
__attribute__((always_inline)) inline void ScaleRun(float* data, size_t count,
                                                    float gain) {
  constexpr size_t kWide = sizeof(Vector) / sizeof(float);
  Vector g;
  for (size_t lane = 0; lane < kWide; ++lane) g[lane] = gain;
  size_t i = 0;
  while (kAlignFirst && i < count &&
         (reinterpret_cast<uintptr_t>(data + i) & (sizeof(Vector) - 1)) != 0) {
    data[i] *= gain;
    ++i;
  }
  for (; i + 4 * kWide <= count; i += 4 * kWide) {
    Vector a, b, c, d;
    std::memcpy(&a, data + i, sizeof(a));
    std::memcpy(&b, data + i + kWide, sizeof(b));
    std::memcpy(&c, data + i + 2 * kWide, sizeof(c));
    std::memcpy(&d, data + i + 3 * kWide, sizeof(d));
    a *= g;
    b *= g;
    c *= g;
    d *= g;
    std::memcpy(data + i, &a, sizeof(a));
    std::memcpy(data + i + kWide, &b, sizeof(b));
    std::memcpy(data + i + 2 * kWide, &c, sizeof(c));
    std::memcpy(data + i + 3 * kWide, &d, sizeof(d));
  }
  for (; i + kWide <= count; i += kWide) {
    Vector a;
    std::memcpy(&a, data + i, sizeof(a));
    a *= g;
    std::memcpy(data + i, &a, sizeof(a));
  }
  for (; i < count; ++i) data[i] *= gain;
}

// Four floats in one register. GCC lowers the operations to SSE on x86; on
// 32-bit ARM it keeps them in scalar VFP code even with NEON, whose float
// arithmetic flushes subnormals to zero and so is not IEEE-exact.
typedef float v4sf __attribute__((vector_size(16)));

// The kernel every build has: four floats per vector, no lead-in (16-byte
// accesses on malloc's 16-byte aligned blocks straddle no cache line).
void ScaleSamples128(float* data, size_t count, float gain) {
  ScaleRun<v4sf, false>(data, count, gain);
}

#if defined(__x86_64__)
// The wide kernels of x86-64, compiled for AVX and AVX-512F alone and run
// only where the processor has them (and the system saves their registers).
// GCC adds the vzeroupper that keeps the SSE code after them at full speed.
typedef float v8sf __attribute__((vector_size(32)));
typedef float v16sf __attribute__((vector_size(64)));

__attribute__((target("avx"))) void ScaleSamples256(float* data, size_t count,
                                                    float gain) {
  ScaleRun<v8sf, true>(data, count, gain);
}

__attribute__((target("avx512f"))) void ScaleSamples512(float* data,
                                                        size_t count,
                                                        float gain) {
  ScaleRun<v16sf, true>(data, count, gain);
}

// The widest kernel worth running here, in floats per vector: 16 on AMD
// processors with AVX-512, which run 512-bit operations without lowering
// their clock (on Intel processors they can slow the whole core down, which
// glibc's own routines avoid as well), 8 with AVX, else 4.
int ChooseWidestKernel() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_is("amd")) return 16;
  if (__builtin_cpu_supports("avx")) return 8;
  return 4;
}

// Decided once, when the library is loaded: a static initialiser, so the
// processing path never takes a lock or a system call for it. Read before
// then (by another library's static initialiser, say) it is 0, and the
// four-float kernel gives the same products.
const int g_widest_kernel = ChooseWidestKernel();
#endif

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
#if defined(__x86_64__)
  if (g_widest_kernel == 16) {
    ScaleSamples512(data, count, gain);
    return;
  }
  if (g_widest_kernel == 8) {
    ScaleSamples256(data, count, gain);
    return;
  }
#endif
  ScaleSamples128(data, count, gain);
}

int ScaleSamplesVectorBits() {
#if defined(__x86_64__)
  if (g_widest_kernel > 4) return 32 * g_widest_kernel;
#endif
#if defined(__SSE__)
  return 128;
#else
  return 32;
#endif
}

bool ScaleSamplesWithKernelForTesting(int floats_per_vector, float* data,
                                      size_t count, float gain) {
  if (floats_per_vector == 4) {
    ScaleSamples128(data, count, gain);
    return true;
  }
#if defined(__x86_64__)
  // A kernel runs where the processor has its instructions, whether or not
  // it is the one chosen.
  __builtin_cpu_init();
  if (floats_per_vector == 8 && __builtin_cpu_supports("avx")) {
    ScaleSamples256(data, count, gain);
    return true;
  }
  if (floats_per_vector == 16 && __builtin_cpu_supports("avx512f")) {
    ScaleSamples512(data, count, gain);
    return true;
  }
#endif
  return false;
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
