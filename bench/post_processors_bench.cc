// Throughput of each processor on 256-frame stereo blocks at 48000, with
// memcpy of the same buffer as the yardstick.
//
//   post_processors_bench --benchmark_repetitions=9   # bench/20-*.sh does
//
// A 256-frame block takes tens of nanoseconds, less than the timer's and the
// benchmark loop's own noise, so every measured iteration runs a batch of
// kBatch blocks, each followed by a compiler barrier so that no call is
// merged with the next, in a loop unrolled eight times so that its counting
// costs little. BM_Harness runs the same batch loop with nothing in it: its
// time is the loop's own cost, which the table reports as a share of the
// memcpy row, the fastest. Counters: "samples" per iteration, and
// "vector_bits", the vector width of the code under test (memcpy's is
// glibc's choice and is read by the script).

#include <cstring>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif
#include <memory>
#include <vector>

#include "base/logging/logging.h"
#include "benchmark/benchmark.h"
#include "post_processors/delay_post_processor.h"
#include "post_processors/governor.h"
#include "post_processors/meter.h"
#include "post_processors/sample_buffer.h"

namespace {

constexpr int kFrames = 256;
constexpr int kChannels = 2;
constexpr size_t kSamples = kFrames * kChannels;
// Blocks per measured iteration: about 2 to 60 microseconds of work.
constexpr int kBatch = 64;

std::vector<float> TestBlock() {
  std::vector<float> v(kSamples);
  for (size_t i = 0; i < kSamples; ++i)
    v[i] = 0.001f * static_cast<float>(i % 997);
  return v;
}

void Finish(benchmark::State& state, int vector_bits) {
  state.SetItemsProcessed(state.iterations() * kBatch *
                          static_cast<int64_t>(kSamples));
  state.counters["vector_bits"] = vector_bits;
}

// The batch loop alone, with its barrier and no work: the loop's own cost.
void BM_Harness(benchmark::State& state) {
  std::vector<float> block = TestBlock();
  for (auto _ : state) {
#pragma GCC unroll 8
    for (int b = 0; b < kBatch; ++b) {
      benchmark::ClobberMemory();
    }
  }
  benchmark::DoNotOptimize(block.data());
  Finish(state, 0);
}
BENCHMARK(BM_Harness);

void BM_Memcpy(benchmark::State& state) {
  std::vector<float> src = TestBlock();
  std::vector<float> dst(kSamples);
  // Through a pointer the compiler cannot follow, so the copy is glibc's
  // memcpy every time and never an inlined one.
  void* (*copy)(void*, const void*, size_t) = &std::memcpy;
  benchmark::DoNotOptimize(copy);
  for (auto _ : state) {
#pragma GCC unroll 8
    for (int b = 0; b < kBatch; ++b) {
      copy(dst.data(), src.data(), kSamples * sizeof(float));
      benchmark::ClobberMemory();
    }
  }
  benchmark::DoNotOptimize(dst.data());
  Finish(state, 0);
}
BENCHMARK(BM_Memcpy);

void RunProcessor(benchmark::State& state, AudioPostProcessor2* p,
                  bool alternate_volume, int vector_bits) {
  p->Configure({48000});
  std::vector<float> block = TestBlock();
  float volume = 0.9f;
  for (auto _ : state) {
#pragma GCC unroll 8
    for (int b = 0; b < kBatch; ++b) {
      if (alternate_volume) volume = volume == 0.9f ? 0.3f : 0.9f;
      p->Process(block.data(), kFrames, volume);
      benchmark::ClobberMemory();
    }
  }
  benchmark::DoNotOptimize(block.data());
  Finish(state, vector_bits);
}

// Volume steady above the onset: the vectorised constant-gain path. A gain
// of -1 keeps the block's values from decaying over the iterations.
void BM_GovernorConstantGain(benchmark::State& state) {
  auto p = post_processors::Governor::Create(
      R"({"onset_volume": 0.5, "clamp_multiplier": -1})", kChannels);
  RunProcessor(state, p.get(), false,
               post_processors::ScaleSamplesVectorBits());
}
BENCHMARK(BM_GovernorConstantGain);

// The constant-gain kernels themselves, each width forced, so that one run
// shows what the wider one gains. A width this machine lacks is skipped.
void RunKernel(benchmark::State& state, int floats_per_vector) {
  std::vector<float> block = TestBlock();
  if (!post_processors::ScaleSamplesWithKernelForTesting(
          floats_per_vector, block.data(), block.size(), -1.0f)) {
    state.SkipWithError("kernel not available on this machine");
    return;
  }
  for (auto _ : state) {
#pragma GCC unroll 8
    for (int b = 0; b < kBatch; ++b) {
      post_processors::ScaleSamplesWithKernelForTesting(
          floats_per_vector, block.data(), block.size(), -1.0f);
      benchmark::ClobberMemory();
    }
  }
  benchmark::DoNotOptimize(block.data());
  Finish(state, 32 * floats_per_vector);
}

void BM_ConstantGainKernel4(benchmark::State& state) { RunKernel(state, 4); }
BENCHMARK(BM_ConstantGainKernel4);

void BM_ConstantGainKernel8(benchmark::State& state) { RunKernel(state, 8); }
BENCHMARK(BM_ConstantGainKernel8);

void BM_ConstantGainKernel16(benchmark::State& state) { RunKernel(state, 16); }
BENCHMARK(BM_ConstantGainKernel16);

// The volume crosses the onset every block: every frame is on a ramp, scaled
// frame by frame in scalar code. The repeated scaling drives the block
// towards subnormal values, which would measure the FPU's slow path; flush
// them to zero for this case.
void BM_GovernorRamp(benchmark::State& state) {
#if defined(__SSE__)
  const unsigned int csr = _mm_getcsr();
  _mm_setcsr(csr | 0x8040);  // flush-to-zero and denormals-are-zero
#endif
  auto p = post_processors::Governor::Create(
      R"({"onset_volume": 0.5, "clamp_multiplier": -1})", kChannels);
  RunProcessor(state, p.get(), true, 32);
#if defined(__SSE__)
  _mm_setcsr(csr);
#endif
}
BENCHMARK(BM_GovernorRamp);

// The delay lines walk each channel with the frame stride: scalar code.
void BM_DelayOneChannel(benchmark::State& state) {
  auto p = post_processors::DelayPostProcessor::Create(
      R"({"delay_us": [0, 1000]})", kChannels);
  RunProcessor(state, p.get(), false, 32);
}
BENCHMARK(BM_DelayOneChannel);

void BM_DelayBothChannels(benchmark::State& state) {
  auto p = post_processors::DelayPostProcessor::Create(
      R"({"delay_us": [500, 1000]})", kChannels);
  RunProcessor(state, p.get(), false, 32);
}
BENCHMARK(BM_DelayBothChannels);

// The sums run in order, in scalar code, so that they match the reference.
void BM_Meter(benchmark::State& state) {
  auto p =
      post_processors::SoundMeter::Create(R"({"name": "bench"})", kChannels);
  RunProcessor(state, p.get(), false, 32);
}
BENCHMARK(BM_Meter);

}  // namespace

int main(int argc, char** argv) {
  // INFO stays off for the whole run: the processors' configuration lines
  // stay out of the output, and the meter's once-a-second report is not
  // built (it ends its interval all the same).
  logging::SetMinLogLevel(logging::LOG_WARNING);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
