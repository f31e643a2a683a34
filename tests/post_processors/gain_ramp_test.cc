#include "post_processors/gain_ramp.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
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

uint32_t FloatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  return bits;
}

float BitsToFloat(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

// A random float that is not a NaN.
float RandomNumber(std::mt19937& random) {
  for (;;) {
    const float value = BitsToFloat(random());
    if (!std::isnan(value)) return value;
  }
}

// Every kernel this machine can run (four and, on x86-64 with AVX and
// AVX-512F, eight and sixteen floats per vector) against the scalar product,
// bit for bit, over random bit patterns: every class of float, subnormals,
// infinities and NaNs with their payloads, at every alignment and with every
// kind of tail. Gains are never NaN (configurations are finite numbers): with
// two NaN operands the compiler may pick either payload, vector or not.
TEST(ConstantGainTest, EveryKernelGivesTheScalarProductsBitForBit) {
  std::mt19937 random(42);
  std::vector<float> gains = {0.7071f,
                              -1.0f,
                              0.5f,
                              3e38f,
                              1e-30f,
                              BitsToFloat(0x00000003u),
                              -std::numeric_limits<float>::infinity()};
  for (int i = 0; i < 8; ++i) gains.push_back(RandomNumber(random));
  int kernels_run = 0;
  for (int kernel : {4, 8, 16}) {
    for (float gain : gains) {
      for (size_t offset = 0; offset < 16; ++offset) {
        for (size_t count :
             {0u, 1u, 7u, 8u, 9u, 15u, 17u, 31u, 32u, 33u, 63u, 65u, 512u}) {
          std::vector<float> source(offset + count + 16);
          for (float& sample : source) sample = BitsToFloat(random());
          std::vector<float> data = source;
          if (!ScaleSamplesWithKernelForTesting(kernel, data.data() + offset,
                                                count, gain)) {
            ASSERT_NE(4, kernel) << "the four-float kernel always runs";
            continue;
          }
          ++kernels_run;
          for (size_t i = 0; i < data.size(); ++i) {
            const bool inside = i >= offset && i < offset + count;
            const float expected = inside ? source[i] * gain : source[i];
            ASSERT_EQ(FloatBits(expected), FloatBits(data[i]))
                << "kernel " << kernel << " gain " << gain << " offset "
                << offset << " count " << count << " index " << i;
          }
        }
      }
    }
  }
  EXPECT_GT(kernels_run, 0);
#if defined(__x86_64__)
  __builtin_cpu_init();
  const int expected_bits =
      __builtin_cpu_supports("avx512f") && __builtin_cpu_is("amd") ? 512
      : __builtin_cpu_supports("avx")                              ? 256
                                                                   : 128;
  EXPECT_EQ(expected_bits, ScaleSamplesVectorBits());
#endif
}

// IEEE results that a flush-to-zero unit would get wrong, the same in every
// build: the smallest subnormals round to even, and overflow gives infinity.
TEST(ConstantGainTest, SubnormalsAndOverflowFollowIeeeRounding) {
  const float min_subnormal = std::ldexp(1.0f, -149);
  std::vector<float> data(64);
  for (size_t i = 0; i < data.size(); i += 4) {
    data[i] = min_subnormal;                                  // 2^-150: tie
    data[i + 1] = 3 * min_subnormal;                          // 1.5: up to 2
    data[i + 2] = std::numeric_limits<float>::max();          // overflow
    data[i + 3] = std::numeric_limits<float>::min() * 0.75f;  // subnormal
  }
  ScaleSamples(data.data(), data.size(), 0.5f);
  for (size_t i = 0; i < data.size(); i += 4) {
    EXPECT_EQ(0u, FloatBits(data[i])) << i;
    EXPECT_EQ(2 * min_subnormal, data[i + 1]) << i;
    EXPECT_EQ(std::numeric_limits<float>::max() / 2, data[i + 2]) << i;
    EXPECT_EQ(std::numeric_limits<float>::min() * 0.375f, data[i + 3]) << i;
  }
  std::vector<float> large(40, std::numeric_limits<float>::max());
  ScaleSamples(large.data(), large.size(), 2.0f);
  for (float s : large) EXPECT_EQ(std::numeric_limits<float>::infinity(), s);
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
