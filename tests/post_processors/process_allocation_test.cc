// Process must not allocate: this program replaces the global allocation
// functions with counting ones and drives every processor through many
// blocks, ramps and delay wrap-arounds included.

#include <memory>
#include <vector>

#include "base/logging/logging.h"
#include "gtest/gtest.h"
#include "post_processors/delay_post_processor.h"
#include "post_processors/governor.h"
#include "post_processors/meter.h"
#include "tests/support/allocation_counter.h"

namespace post_processors {
namespace {

// Counts the allocations made by 2000 stereo blocks of 256 frames with the
// volume crossing the onset every 100 blocks.
size_t AllocationsWhileProcessing(AudioPostProcessor2* p) {
  p->Configure({48000});
  std::vector<float> block(2 * 256, 0.5f);
  const size_t before = vorn::test::AllocationCount();
  for (int i = 0; i < 2000; ++i) {
    const float volume = (i / 100) % 2 == 0 ? 0.9f : 0.3f;
    p->Process(block.data(), 256, volume);
  }
  p->Process(block.data(), 0, 0.5f);
  return vorn::test::AllocationCount() - before;
}

TEST(ProcessAllocationTest, CounterSeesAllocations) {
  const size_t before = vorn::test::AllocationCount();
  auto v = std::make_unique<std::vector<int>>(3);
  EXPECT_LT(before, vorn::test::AllocationCount());
}

TEST(ProcessAllocationTest, GovernorAllocatesNothing) {
  auto p =
      Governor::Create(R"({"onset_volume": 0.8, "clamp_multiplier": 0.3})", 2);
  EXPECT_EQ(0u, AllocationsWhileProcessing(p.get()));
}

TEST(ProcessAllocationTest, DelayAllocatesNothing) {
  auto p = DelayPostProcessor::Create(R"({"delay_us": [1000, 30000]})", 2);
  EXPECT_EQ(0u, AllocationsWhileProcessing(p.get()));
}

TEST(ProcessAllocationTest, MeterAllocatesNothingWithInfoOff) {
  auto p = SoundMeter::Create(R"({"name": "quiet"})", 2);
  logging::SetMinLogLevel(logging::LOG_WARNING);
  const size_t allocations = AllocationsWhileProcessing(p.get());
  logging::SetMinLogLevel(logging::LOG_INFO);
  EXPECT_EQ(0u, allocations);
}

TEST(ProcessAllocationTest, MeterAllocatesOnlyForReports) {
  auto p = SoundMeter::Create(R"({"name": "loud"})", 2);
  p->Configure({1 << 30});  // the interval never completes
  std::vector<float> block(2 * 256, 0.5f);
  const size_t before = vorn::test::AllocationCount();
  for (int i = 0; i < 2000; ++i) p->Process(block.data(), 256, 1.0f);
  EXPECT_EQ(before, vorn::test::AllocationCount());
}

}  // namespace
}  // namespace post_processors
