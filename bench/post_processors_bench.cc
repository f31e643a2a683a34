// Throughput of each processor on 256-frame stereo blocks at 48000, with
// memcpy of the same buffer as the yardstick. Counters report samples.

#include <cstring>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif
#include <memory>
#include <vector>

#include "base/logging.h"
#include "benchmark/benchmark.h"
#include "post_processors/delay_post_processor.h"
#include "post_processors/governor.h"
#include "post_processors/meter.h"

namespace {

constexpr int kFrames = 256;
constexpr int kChannels = 2;
constexpr size_t kSamples = kFrames * kChannels;

std::vector<float> TestBlock() {
  std::vector<float> v(kSamples);
  for (size_t i = 0; i < kSamples; ++i)
    v[i] = 0.001f * static_cast<float>(i % 997);
  return v;
}

void Finish(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kSamples));
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<float> src = TestBlock();
  std::vector<float> dst(kSamples);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), kSamples * sizeof(float));
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  Finish(state);
}
BENCHMARK(BM_Memcpy);

void RunProcessor(benchmark::State& state, AudioPostProcessor2* p,
                  bool alternate_volume) {
  p->Configure({48000});
  std::vector<float> block = TestBlock();
  float volume = 0.9f;
  for (auto _ : state) {
    if (alternate_volume) volume = volume == 0.9f ? 0.3f : 0.9f;
    p->Process(block.data(), kFrames, volume);
    benchmark::DoNotOptimize(block.data());
    benchmark::ClobberMemory();
  }
  Finish(state);
}

// Volume steady above the onset: the vectorised constant-gain path. A gain
// of -1 keeps the block's values from decaying over the iterations.
void BM_GovernorConstantGain(benchmark::State& state) {
  auto p = post_processors::Governor::Create(
      R"({"onset_volume": 0.5, "clamp_multiplier": -1})", kChannels);
  RunProcessor(state, p.get(), false);
}
BENCHMARK(BM_GovernorConstantGain);

// The volume crosses the onset every block: every frame is on a ramp. The
// repeated scaling drives the block towards subnormal values, which would
// measure the FPU's slow path; flush them to zero for this case.
void BM_GovernorRamp(benchmark::State& state) {
#if defined(__SSE__)
  const unsigned int csr = _mm_getcsr();
  _mm_setcsr(csr | 0x8040);  // flush-to-zero and denormals-are-zero
#endif
  auto p = post_processors::Governor::Create(
      R"({"onset_volume": 0.5, "clamp_multiplier": -1})", kChannels);
  RunProcessor(state, p.get(), true);
#if defined(__SSE__)
  _mm_setcsr(csr);
#endif
}
BENCHMARK(BM_GovernorRamp);

void BM_DelayOneChannel(benchmark::State& state) {
  auto p = post_processors::DelayPostProcessor::Create(
      R"({"delay_us": [0, 1000]})", kChannels);
  RunProcessor(state, p.get(), false);
}
BENCHMARK(BM_DelayOneChannel);

void BM_DelayBothChannels(benchmark::State& state) {
  auto p = post_processors::DelayPostProcessor::Create(
      R"({"delay_us": [500, 1000]})", kChannels);
  RunProcessor(state, p.get(), false);
}
BENCHMARK(BM_DelayBothChannels);

// Reports are built but not written (INFO off), one per second of audio.
void BM_Meter(benchmark::State& state) {
  logging::SetMinLogLevel(logging::LOG_WARNING);
  auto p =
      post_processors::SoundMeter::Create(R"({"name": "bench"})", kChannels);
  RunProcessor(state, p.get(), false);
  logging::SetMinLogLevel(logging::LOG_INFO);
}
BENCHMARK(BM_Meter);

}  // namespace

BENCHMARK_MAIN();
