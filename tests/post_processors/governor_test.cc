#include "post_processors/governor.h"

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/support/log_capture.h"

namespace post_processors {
namespace {

using vorn::test::CapturedMessage;
using vorn::test::ScopedLogCapture;

constexpr char kConfig[] = R"({"onset_volume": 0.8, "clamp_multiplier": 0.5})";

std::vector<float> Constant(size_t samples, float value) {
  return std::vector<float>(samples, value);
}

class GovernorTest : public testing::Test {
 protected:
  // A stereo governor configured at 48000.
  void Make(const std::string& config) {
    processor_ = Governor::Create(config, 2);
    ASSERT_TRUE(processor_->Configure({48000}));
  }
  // Runs one stereo block of ones at `volume` and returns it.
  std::vector<float> Run(size_t frames, float volume) {
    std::vector<float> block = Constant(2 * frames, 1.0f);
    processor_->Process(block.data(), static_cast<int32_t>(frames), volume);
    return block;
  }

  std::unique_ptr<AudioPostProcessor2> processor_;
};

TEST_F(GovernorTest, FirstBlockAboveOnsetIsScaledFromFirstSample) {
  Make(kConfig);
  for (float s : Run(256, 0.9f)) ASSERT_EQ(0.5f, s);
}

TEST_F(GovernorTest, FirstBlockBelowOnsetIsUnchanged) {
  Make(kConfig);
  for (float s : Run(256, 0.5f)) ASSERT_EQ(1.0f, s);
}

TEST_F(GovernorTest, RampBackToUnityTakes4800FramesAcrossBlocks) {
  Make(kConfig);
  Run(256, 0.9f);  // steady at 0.5
  std::vector<float> left;
  for (int block = 0; block < 20; ++block) {
    std::vector<float> out = Run(256, 0.7f);
    for (size_t j = 0; j < 256; ++j) {
      ASSERT_EQ(out[2 * j], out[2 * j + 1]);
      left.push_back(out[2 * j]);
    }
  }
  EXPECT_EQ(0.5f, left[0]);
  for (size_t i = 1; i < 4800; ++i) ASSERT_LT(left[i], 1.0f) << "frame " << i;
  for (size_t i = 4800; i < left.size(); ++i) {
    ASSERT_EQ(1.0f, left[i]) << "frame " << i;
  }
  for (float s : Run(256, 0.7f)) ASSERT_EQ(1.0f, s);
}

TEST_F(GovernorTest, VolumeExactlyAtOnsetGetsMultiplier) {
  Make(R"({"onset_volume": 0.25, "clamp_multiplier": 0.5})");
  for (float s : Run(16, 0.25f)) ASSERT_EQ(0.5f, s);
}

TEST_F(GovernorTest, VolumeChangesOfEpsilonAreIgnored) {
  const float epsilon = std::numeric_limits<float>::epsilon();
  // The onset lies between v and v + epsilon once the 2^-23 margin is taken.
  const double onset = 0.5 + 1.5 * static_cast<double>(epsilon);
  Make(R"({"onset_volume": 0.500000178813934326171875,
             "clamp_multiplier": 0.5})");
  ASSERT_EQ(onset, 0.500000178813934326171875);
  for (float s : Run(8, 0.5f)) ASSERT_EQ(1.0f, s);
  // A change of exactly 2^-23 would select the multiplier, but is ignored.
  for (float s : Run(8, 0.5f + epsilon)) ASSERT_EQ(1.0f, s);
  // A change of 2^-22 is taken; the ramp starts at the old gain.
  EXPECT_EQ(1.0f, Run(8, 0.5f + 2 * epsilon)[0]);
  const auto* governor = static_cast<const Governor*>(processor_.get());
  EXPECT_EQ(0.5, governor->ramp().target_gain());
}

TEST_F(GovernorTest, MultiplierZeroGivesExactZeros) {
  Make(R"({"onset_volume": 0, "clamp_multiplier": 0})");
  std::vector<float> block = {-1.0f, 2.0f, -3.0f, 4.0f};
  processor_->Process(block.data(), 2, 1.0f);
  for (float s : block) {
    EXPECT_EQ(0.0f, s);
    EXPECT_FALSE(std::signbit(s));
  }
}

TEST_F(GovernorTest, MultiplierOneNeverChangesSignal) {
  Make(R"({"onset_volume": 0.5, "clamp_multiplier": 1})");
  for (float volume : {0.1f, 0.9f, 0.2f, 1.0f}) {
    for (float s : Run(64, volume)) ASSERT_EQ(1.0f, s);
  }
}

TEST_F(GovernorTest, EmptyBlockSetsTargetAndNextBlockStartsThere) {
  Make(kConfig);
  processor_->Process(nullptr, 0, 0.9f);
  EXPECT_EQ(nullptr, processor_->Status()->output_buffer);
  for (float s : Run(4, 0.9f)) ASSERT_EQ(0.5f, s);
}

TEST_F(GovernorTest, NanVolumeSelectsUnity) {
  Make(kConfig);
  Run(4, 0.9f);  // steady 0.5
  Run(4800, std::numeric_limits<float>::quiet_NaN());
  for (float s : Run(4, std::numeric_limits<float>::quiet_NaN())) {
    ASSERT_EQ(1.0f, s);
  }
}

TEST_F(GovernorTest, StatusAndReconfigure) {
  Make(kConfig);
  std::vector<float> block = Run(0, 0.9f);
  ProcessorStatus* status = processor_->Status();
  EXPECT_EQ(48000, status->sample_rate);
  EXPECT_EQ(2, status->output_channels);
  EXPECT_EQ(0, status->latency_frames);
  EXPECT_EQ(0, status->tail_frames);
  std::vector<float> data = Constant(2, 1.0f);
  processor_->Process(data.data(), 1, 0.9f);
  EXPECT_EQ(data.data(), status->output_buffer);
  EXPECT_EQ(status, processor_->Status());
  EXPECT_FALSE(processor_->Reconfigure(
      R"({"onset_volume": 0, "clamp_multiplier": 0.1})"));
  for (float s : Run(4, 0.9f)) ASSERT_EQ(0.5f, s);
}

TEST_F(GovernorTest, ExtraKeysAndIntegersAreAccepted) {
  Make(R"({"onset_volume": 1, "clamp_multiplier": 2, "colour": "blue"})");
  for (float s : Run(4, 1.0f)) ASSERT_EQ(2.0f, s);
}

TEST_F(GovernorTest, CreationLineIsLogged) {
  ScopedLogCapture capture;
  processor_ =
      Governor::Create(R"({"onset_volume": 0.9, "clamp_multiplier": 2})", 2);
  const std::vector<CapturedMessage> messages = capture.messages();
  ASSERT_EQ(1u, messages.size());
  EXPECT_EQ(logging::LOG_INFO, messages[0].severity);
  EXPECT_EQ("governor.cc", messages[0].file);
  EXPECT_EQ(41, messages[0].line);
  EXPECT_EQ("Created a governor: onset_volume = 0.9, clamp_multiplier = 2",
            messages[0].text);
}

TEST_F(GovernorTest, TwoGovernorsKeepSeparateSettings) {
  std::unique_ptr<AudioPostProcessor2> a = Governor::Create(kConfig, 1);
  std::unique_ptr<AudioPostProcessor2> b =
      Governor::Create(R"({"onset_volume": 0.8, "clamp_multiplier": 0.25})", 1);
  a->Configure({44100});
  float x = 1.0f, y = 1.0f;
  a->Process(&x, 1, 0.9f);
  b->Process(&y, 1, 0.9f);
  EXPECT_EQ(0.5f, x);
  EXPECT_EQ(0.25f, y);
  EXPECT_EQ(-1, b->Status()->sample_rate);
}

// Contract violations: one ERROR line, then every sample passes unchanged.
struct BadConfig {
  const char* config;
  int32_t channels;
  const char* reason;
};

class GovernorBadConfigTest : public testing::TestWithParam<BadConfig> {};

TEST_P(GovernorBadConfigTest, LogsErrorAndPassesAudioThrough) {
  ScopedLogCapture capture;
  std::unique_ptr<AudioPostProcessor2> p =
      Governor::Create(GetParam().config, GetParam().channels);
  const std::vector<CapturedMessage> messages = capture.messages();
  ASSERT_EQ(1u, messages.size());
  EXPECT_EQ(logging::LOG_ERROR, messages[0].severity);
  EXPECT_EQ("governor.cc", messages[0].file);
  EXPECT_THAT(messages[0].text, testing::HasSubstr(GetParam().reason));
  EXPECT_EQ(GetParam().channels, p->Status()->output_channels);
  EXPECT_TRUE(p->Configure({48000}));
  std::vector<float> block = {0.3f, -0.7f, 1.5f, 2.0f};
  p->Process(block.data(), GetParam().channels > 0 ? 2 : 4, 1.0f);
  EXPECT_EQ(block.data(), p->Status()->output_buffer);
  EXPECT_EQ((std::vector<float>{0.3f, -0.7f, 1.5f, 2.0f}), block);
  EXPECT_EQ(0, p->Status()->latency_frames);
}

INSTANTIATE_TEST_SUITE_P(
    Violations, GovernorBadConfigTest,
    testing::Values(
        BadConfig{"not json", 2, "not valid JSON"},
        BadConfig{"[0.8, 0.5]", 2, "not a JSON dictionary"},
        BadConfig{R"({"clamp_multiplier": 0.5})", 2,
                  "\"onset_volume\" is missing"},
        BadConfig{R"({"onset_volume": 0.8, "clamp_multiplier": "half"})", 2,
                  "\"clamp_multiplier\" is missing or not a number"},
        BadConfig{R"({"onset_volume": 0.8, "clamp_multiplier": 1e300})", 2,
                  "beyond the float range"},
        BadConfig{kConfig, 0, "channel count is below 1"},
        BadConfig{kConfig, -3, "channel count is below 1"}));

TEST_F(GovernorTest, NonPositiveRateIsRefusedAndChangesNothing) {
  Make(kConfig);
  ScopedLogCapture capture;
  EXPECT_FALSE(processor_->Configure({0}));
  EXPECT_FALSE(processor_->Configure({-44100}));
  EXPECT_TRUE(capture.Has(logging::LOG_ERROR,
                          "Governor: ignoring a sample rate that is not "
                          "positive: -44100"));
  EXPECT_EQ(48000, processor_->Status()->sample_rate);
  const auto* governor = static_cast<const Governor*>(processor_.get());
  EXPECT_EQ(48000.0, governor->ramp().sample_rate());
}

TEST_F(GovernorTest, NegativeFramesOrNullDataTouchNothing) {
  Make(kConfig);
  std::vector<float> block = Constant(8, 1.0f);
  processor_->Process(block.data(), -4, 0.9f);
  processor_->Process(nullptr, 4, 0.9f);
  for (float s : block) ASSERT_EQ(1.0f, s);
  // Neither call was a processed frame, so the target still snaps.
  for (float s : Run(4, 0.9f)) ASSERT_EQ(0.5f, s);
}

}  // namespace
}  // namespace post_processors
