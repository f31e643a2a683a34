#include "post_processors/meter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/logging/logging.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/support/log_capture.h"

namespace post_processors {
namespace {

using vorn::test::CapturedMessage;
using vorn::test::ScopedLogCapture;

class MeterTest : public testing::Test {
 protected:
  void Make(const std::string& config, int32_t channels, int32_t rate) {
    processor_ = SoundMeter::Create(config, channels);
    ASSERT_TRUE(processor_->Configure({rate}));
  }
  SoundMeter* meter() { return static_cast<SoundMeter*>(processor_.get()); }
  // Feeds `count` blocks of `block` (interleaved) and returns the texts of
  // the messages logged, each followed by a line feed. Every message must be
  // a report: INFO from the report line of meter.cc.
  std::string Feed(std::vector<float> block, int32_t frames, int count) {
    ScopedLogCapture capture;
    for (int i = 0; i < count; ++i) {
      processor_->Process(block.data(), frames, 1.0f);
    }
    for (const CapturedMessage& message : capture.messages()) {
      EXPECT_EQ(logging::LOG_INFO, message.severity) << message.text;
      EXPECT_EQ("meter.cc", message.file) << message.text;
      EXPECT_EQ(88, message.line) << message.text;
    }
    return capture.Texts();
  }

  std::unique_ptr<AudioPostProcessor2> processor_;
};

// Stereo: channel 0 constant 0.5, channel 1 silent.
std::vector<float> HalfAndSilence(size_t frames) {
  std::vector<float> v(2 * frames, 0.0f);
  for (size_t j = 0; j < frames; ++j) v[2 * j] = 0.5f;
  return v;
}

TEST_F(MeterTest, FirstReportAfter47BlocksOf1024) {
  Make(R"({"name": "mix"})", 2, 48000);
  EXPECT_EQ("", Feed(HalfAndSilence(1024), 1024, 46));
  EXPECT_EQ(46 * 1024, meter()->frames_accumulated());
  EXPECT_EQ("Power [mix]: -6, -inf,  Peak: 0.50, 0.00, \n",
            Feed(HalfAndSilence(1024), 1024, 1));
  EXPECT_EQ(0, meter()->frames_accumulated());
}

TEST_F(MeterTest, PowerIsAveragedOverEveryFrameOfTheInterval) {
  // 0.75 squared is 0.5625 (-2.499 dB, printed -2). 48000 such frames and
  // 128 silent ones average to -2.510 dB, printed -3, only when the mean is
  // taken over all 48128 frames.
  Make("{}", 1, 48000);
  Feed(std::vector<float>(1024, 0.75f), 1024, 46);
  std::vector<float> last(1024, 0.0f);
  std::fill(last.begin(), last.begin() + 896, 0.75f);
  EXPECT_THAT(Feed(last, 1024, 1),
              testing::HasSubstr("Power []: -3,  Peak: 0.75, \n"));
  EXPECT_THAT(Feed(std::vector<float>(48000, 0.75f), 48000, 1),
              testing::HasSubstr("Power []: -2,  Peak: 0.75, \n"));
}

TEST_F(MeterTest, BlockOfExactlyOneSecondReportsAtOnce) {
  Make(R"({"name": "one"})", 1, 48000);
  EXPECT_EQ("Power [one]: 00,  Peak: 1.00, \n",
            Feed(std::vector<float>(48000, 1.0f), 48000, 1));
}

TEST_F(MeterTest, FullScaleSineIsAboutMinusThree) {
  Make(R"({"name": "sine"})", 1, 1000);
  std::vector<float> sine(1000);
  for (size_t j = 0; j < sine.size(); ++j) {
    sine[j] = static_cast<float>(std::sin(2.0 * M_PI * 50.0 * j / 1000.0));
  }
  EXPECT_THAT(Feed(sine, 1000, 1),
              testing::HasSubstr("Power [sine]: -3,  Peak: 1.00, \n"));
}

TEST_F(MeterTest, SamplesAreBitForBitUnchanged) {
  Make(R"({"name": "x"})", 2, 8);
  std::vector<float> block = {
      0.5f, -0.0f, 1e-40f, -3.0f, std::numeric_limits<float>::quiet_NaN(),
      2.0f};
  std::vector<float> copy = block;
  Feed(block, 3, 1);
  processor_->Process(block.data(), 3, 0.5f);
  EXPECT_EQ(0, std::memcmp(copy.data(), block.data(), sizeof(float) * 6));
}

TEST_F(MeterTest, WithoutNameTheBracketsAreEmpty) {
  Make(R"({"name": 7})", 1, 4);
  EXPECT_THAT(Feed({0.25f, 0.25f, 0.25f, 0.25f}, 4, 1),
              testing::HasSubstr("Power []: -12,  Peak: 0.25, \n"));
}

TEST_F(MeterTest, ReconfigureRenamesWithoutResetting) {
  Make(R"({"name": "old"})", 1, 10);
  Feed({1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f}, 6, 1);
  EXPECT_TRUE(processor_->Reconfigure(R"({"name": "new"})"));
  EXPECT_EQ(6, meter()->frames_accumulated());
  const std::string log = Feed({0.0f, 0.0f, 0.0f, 0.0f}, 4, 1);
  // Ten frames, six of them at 1.0: 10 * log10(0.6) = -2.2.
  EXPECT_THAT(log, testing::HasSubstr("Power [new]: -2,  Peak: 1.00, \n"));
  EXPECT_TRUE(processor_->Reconfigure("{}"));
  EXPECT_EQ("", meter()->name());
}

TEST_F(MeterTest, NextIntervalForgetsPeaks) {
  Make("{}", 1, 2);
  Feed({0.9f, 0.1f}, 2, 1);
  EXPECT_THAT(Feed({0.2f, -0.3f}, 2, 1), testing::HasSubstr("Peak: 0.30, \n"));
}

TEST_F(MeterTest, ConfigureChangesThresholdOfIntervalInProgress) {
  Make("{}", 1, 100);
  EXPECT_EQ("", Feed(std::vector<float>(60, 0.5f), 60, 1));
  ASSERT_TRUE(processor_->Configure({50}));
  EXPECT_THAT(Feed({}, 0, 1), testing::HasSubstr("Power []: -6,"));
}

TEST_F(MeterTest, NothingIsBuiltWhileInfoIsOff) {
  Make("{}", 1, 4);
  logging::SetMinLogLevel(logging::LOG_WARNING);
  const std::string log = Feed({1.0f, 1.0f, 1.0f, 1.0f}, 4, 1);
  logging::SetMinLogLevel(logging::LOG_INFO);
  EXPECT_EQ("", log);
  EXPECT_EQ(0, meter()->frames_accumulated());  // the interval still ended
}

// Error paths.

TEST_F(MeterTest, NoReportBeforeConfigure) {
  processor_ = SoundMeter::Create("{}", 1);
  EXPECT_EQ("", Feed({0.5f, 0.5f}, 2, 3));
  EXPECT_EQ(6, meter()->frames_accumulated());
}

TEST_F(MeterTest, ReconfigureWithInvalidTextKeepsName) {
  Make(R"({"name": "keep"})", 1, 48000);
  ScopedLogCapture capture;
  EXPECT_FALSE(processor_->Reconfigure("[\"name\"]"));
  ASSERT_EQ(1u, capture.messages().size());
  EXPECT_EQ(logging::LOG_ERROR, capture.messages()[0].severity);
  EXPECT_EQ("meter.cc", capture.messages()[0].file);
  EXPECT_EQ("keep", meter()->name());
}

TEST_F(MeterTest, NonPositiveRateIsRefused) {
  Make("{}", 1, 10);
  ScopedLogCapture capture;
  EXPECT_FALSE(processor_->Configure({-1}));
  ASSERT_EQ(1u, capture.messages().size());
  EXPECT_EQ(logging::LOG_ERROR, capture.messages()[0].severity);
  EXPECT_EQ("plugin_config.cc", capture.messages()[0].file);
  EXPECT_EQ(10, processor_->Status()->sample_rate);
}

TEST_F(MeterTest, NegativeFramesMeasureNothing) {
  Make("{}", 1, 10);
  float sample = 1.0f;
  EXPECT_EQ("", Feed({1.0f}, -5, 1));
  processor_->Process(nullptr, 5, 1.0f);
  processor_->Process(&sample, 1, 1.0f);
  EXPECT_EQ(1, meter()->frames_accumulated());
}

TEST(MeterCreateTest, InvalidConfigOrChannelsPassThrough) {
  for (auto [config, channels] :
       {std::pair<const char*, int>{"name", 2}, {"[]", 2}, {"{}", 0}}) {
    ScopedLogCapture capture;
    std::unique_ptr<AudioPostProcessor2> p =
        SoundMeter::Create(config, channels);
    EXPECT_EQ(1, capture.Count(logging::LOG_ERROR, "")) << config;
    ASSERT_FALSE(capture.messages().empty()) << config;
    EXPECT_EQ("meter.cc", capture.messages()[0].file) << config;
    EXPECT_EQ(nullptr, dynamic_cast<SoundMeter*>(p.get())) << config;
    EXPECT_EQ(channels, p->Status()->output_channels);
  }
}

}  // namespace
}  // namespace post_processors
