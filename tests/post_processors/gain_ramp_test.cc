#include "post_processors/gain_ramp.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "gtest/gtest.h"
#include "post_processors/sample_buffer.h"

namespace post_processors {
namespace {

std::vector<float> Ones(size_t count) {
  return std::vector<float>(count, 1.0f);
}

// Sample values that exercise rounding of the product.
std::vector<float> Ramp(size_t count) {
  std::vector<float> v(count);
  for (size_t i = 0; i < count; ++i) v[i] = 0.1f * static_cast<float>(i) - 3.3f;
  return v;
}

TEST(GainRampTest, FirstTargetIsTakenWithoutRamp) {
  GainRamp ramp;
  ramp.SetSampleRate(48000.0);
  ramp.SetTargetGain(0.5);
  std::vector<float> block = Ones(8);
  ramp.Process(block.data(), 4, 2);
  for (float s : block) EXPECT_EQ(0.5f, s);
  EXPECT_FALSE(ramp.snap_to_target());
}

TEST(GainRampTest, RampUpTakes4800FramesThenExactTarget) {
  GainRamp ramp;
  ramp.SetSampleRate(48000.0);
  ramp.SetTargetGain(0.5);
  std::vector<float> warm = Ones(1);
  ramp.Process(warm.data(), 1, 1);
  ramp.SetTargetGain(1.0);
  EXPECT_DOUBLE_EQ(0.5 * 1000.0 / (100.0 * 48000.0), ramp.step_per_frame());

  // Spread over blocks of 256 frames of one channel.
  std::vector<float> all = Ones(5120);
  for (size_t start = 0; start < all.size(); start += 256) {
    ramp.Process(all.data() + start, 256, 1);
  }
  EXPECT_EQ(0.5f, all[0]);  // the first ramp frame is at the old gain
  for (size_t i = 1; i < 4800; ++i) {
    ASSERT_LT(all[i - 1], all[i]) << "frame " << i;
    ASSERT_LT(all[i], 1.0f) << "frame " << i;
  }
  EXPECT_EQ(1.0f, all[4800]);
  EXPECT_EQ(1.0, ramp.current_gain());
}

TEST(GainRampTest, SmallChangeUsesStepForTenthAnd2401Frames) {
  GainRamp ramp;
  ramp.SetSampleRate(48000.0);
  std::vector<float> warm = Ones(1);
  ramp.Process(warm.data(), 1, 1);
  const double target = static_cast<double>(0.95f);
  ramp.SetTargetGain(target);
  EXPECT_DOUBLE_EQ(0.1 * 1000.0 / (100.0 * 48000.0), ramp.step_per_frame());
  // One frame per call, to see where the ramp ends.
  std::vector<float> out;
  while (ramp.current_gain() != target && out.size() < 10000) {
    float sample = 1.0f;
    ramp.Process(&sample, 1, 1);
    out.push_back(sample);
  }
  // 0.95f lies below 0.95, so the distance needs one step more than 2400.
  ASSERT_EQ(2401u, out.size());
  EXPECT_EQ(1.0f, out[0]);
  for (size_t i = 1; i < 2400; ++i) {
    ASSERT_LT(out[i], out[i - 1]) << "frame " << i;
    ASSERT_GT(out[i], 0.95f) << "frame " << i;
  }
  EXPECT_EQ(0.95f, out[2400]);
  std::vector<float> rest = Ones(9);
  ramp.Process(rest.data(), 9, 1);
  for (float s : rest) EXPECT_EQ(0.95f, s);
}

TEST(GainRampTest, RampAcrossInterleavedChannelsScalesWholeFrames) {
  GainRamp ramp;
  ramp.SetSampleRate(1000.0);
  std::vector<float> warm = Ones(2);
  ramp.Process(warm.data(), 1, 2);
  ramp.SetTargetGain(0.0);  // step 0.01 per frame: 100 frames
  std::vector<float> block = Ones(2 * 120);
  ramp.Process(block.data(), 120, 2);
  for (size_t j = 0; j < 120; ++j) {
    ASSERT_EQ(block[2 * j], block[2 * j + 1]) << "frame " << j;
  }
  EXPECT_EQ(1.0f, block[0]);
  EXPECT_EQ(0.0f, block[2 * 119]);
}

TEST(GainRampTest, RestOfCrossingBlockIsMultipliedNotCleared) {
  GainRamp ramp;
  ramp.SetSampleRate(1000.0);
  std::vector<float> warm = Ones(2);
  ramp.Process(warm.data(), 1, 2);
  ramp.SetTargetGain(0.0);  // about 100 frames down to 0.0
  std::vector<float> block;
  for (size_t j = 0; j < 120; ++j) {
    block.push_back(-2.0f);
    block.push_back(INFINITY);
  }
  ramp.Process(block.data(), 120, 2);
  ASSERT_EQ(0.0, ramp.current_gain());
  // After the crossing, the frames are products with 0.0f, as frame by frame.
  for (size_t j = 110; j < 120; ++j) {
    EXPECT_EQ(0.0f, block[2 * j]) << "frame " << j;
    EXPECT_TRUE(std::signbit(block[2 * j])) << "frame " << j;
    EXPECT_TRUE(std::isnan(block[2 * j + 1])) << "frame " << j;
  }
  // A steady block at 0.0 is cleared instead.
  std::vector<float> steady = {-2.0f, INFINITY};
  ramp.Process(steady.data(), 1, 2);
  EXPECT_EQ(0.0f, steady[0]);
  EXPECT_FALSE(std::signbit(steady[0]));
  EXPECT_EQ(0.0f, steady[1]);
}

TEST(GainRampTest, SteadyPathDecidesOnTheExactGain) {
  // 1e-50 is not 0.0, although it rounds to 0.0f: the block is multiplied,
  // not cleared.
  GainRamp ramp;
  ramp.SetTargetGain(1e-50);
  std::vector<float> block = {-2.0f, 3.0f};
  ramp.Process(block.data(), 2, 1);
  EXPECT_EQ(0.0f, block[0]);
  EXPECT_TRUE(std::signbit(block[0]));
  EXPECT_FALSE(std::signbit(block[1]));
}

TEST(GainRampTest, NewTargetDuringRampRestartsTimingFromCurrentGain) {
  GainRamp ramp;
  ramp.SetSampleRate(48000.0);
  std::vector<float> block = Ones(2400);
  ramp.Process(block.data(), 1, 1);
  ramp.SetTargetGain(0.5);
  ramp.Process(block.data(), 2400, 1);  // half way: about 0.75
  const double current = ramp.current_gain();
  EXPECT_NEAR(0.75, current, 1e-9);
  ramp.SetTargetGain(0.6);
  EXPECT_DOUBLE_EQ(std::max(current - 0.6, 0.1) * 1000.0 / (100.0 * 48000.0),
                   ramp.step_per_frame());
}

TEST(GainRampTest, ZeroFramesKeepsSnapping) {
  GainRamp ramp;
  ramp.SetTargetGain(0.25);
  ramp.Process(nullptr, 0, 2);
  EXPECT_TRUE(ramp.snap_to_target());
  ramp.SetTargetGain(0.5);
  EXPECT_EQ(0.5, ramp.current_gain());
}

TEST(GainRampTest, SampleRateReappliesTargetForNewStep) {
  GainRamp ramp;
  ramp.SetTargetGain(0.3);
  ramp.SetSampleRate(8000.0);
  EXPECT_EQ(0.3, ramp.current_gain());
  EXPECT_DOUBLE_EQ(0.1 * 1000.0 / (100.0 * 8000.0), ramp.step_per_frame());
}

TEST(ConstantGainTest, VectorPathMatchesScalarForOddLengthsAndOffsets) {
  const float gain = 0.7071f;
  for (size_t offset = 0; offset < 4; ++offset) {
    for (size_t count : {0u, 1u, 3u, 5u, 15u, 16u, 17u, 33u, 257u}) {
      std::vector<float> source = Ramp(count + offset + 4);
      std::vector<float> data = source;
      ScaleSamples(data.data() + offset, count, gain);
      for (size_t i = 0; i < data.size(); ++i) {
        const bool inside = i >= offset && i < offset + count;
        const float expected = inside ? source[i] * gain : source[i];
        ASSERT_EQ(expected, data[i])
            << "offset " << offset << " count " << count << " index " << i;
      }
    }
  }
}

TEST(ConstantGainTest, ZeroClearsAndUnityLeavesBitsAlone) {
  std::vector<float> data = {-1.0f, 2.5f, -0.0f, 1e-40f, 7.0f};
  ApplyConstantGain(data.data(), data.size(), 0.0f);
  for (float s : data) {
    EXPECT_EQ(0.0f, s);
    EXPECT_FALSE(std::signbit(s));
  }
  std::vector<float> same = {-1.0f, 1e-40f, -0.0f};
  ApplyConstantGain(same.data(), same.size(), 1.0f);
  EXPECT_TRUE(std::signbit(same[2]));
  EXPECT_EQ(1e-40f, same[1]);
}

TEST(BlockSampleCountTest, RefusesWhatCannotBeABuffer) {
  float sample = 0.0f;
  EXPECT_EQ(6u, BlockSampleCount(&sample, 3, 2));
  EXPECT_EQ(0u, BlockSampleCount(&sample, 0, 2));
  EXPECT_EQ(0u, BlockSampleCount(&sample, -5, 2));
  EXPECT_EQ(0u, BlockSampleCount(&sample, 3, 0));
  EXPECT_EQ(0u, BlockSampleCount(nullptr, 3, 2));
  EXPECT_EQ(0u, BlockSampleCount(&sample, INT32_MAX, INT32_MAX));
}

}  // namespace
}  // namespace post_processors
