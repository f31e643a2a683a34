// The plug-ins' factories given channel counts no stream has: each must
// answer at once, with a processor that runs, instead of allocating per
// channel until the host dies.

#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "post_processors/audio_post_processor2.h"
#include "post_processors/delay_post_processor.h"
#include "post_processors/governor.h"
#include "post_processors/meter.h"
#include "tests/support/log_capture.h"

namespace post_processors {
namespace {

using vorn::test::ScopedLogCapture;

constexpr int32_t kHugeCounts[] = {SoundMeter::kMaxChannels + 1, 16777215,
                                   INT32_MAX};

// Created, configured and driven with empty blocks: nothing to allocate.
void ExpectRunsEmpty(AudioPostProcessor2* processor, int32_t channels) {
  ASSERT_NE(nullptr, processor);
  EXPECT_EQ(channels, processor->Status()->output_channels);
  EXPECT_TRUE(processor->Configure(ProcessorConfig{48000}));
  processor->Process(nullptr, 0, 1.0f);
  processor->Process(nullptr, 1024, 1.0f);
  EXPECT_EQ(nullptr, processor->Status()->output_buffer);
}

TEST(PluginHardeningTest, MeterRefusesChannelCountsBeyondItsLimit) {
  for (int32_t channels : kHugeCounts) {
    ScopedLogCapture capture;
    std::unique_ptr<AudioPostProcessor2> meter =
        SoundMeter::Create(R"({"name": "wide"})", channels);
    EXPECT_TRUE(capture.Has(
        logging::LOG_ERROR,
        "Sound meter disabled, audio passes unchanged: the channel count is "
        "above 65536: " +
            std::to_string(channels)))
        << capture.Texts();
    ExpectRunsEmpty(meter.get(), channels);
  }
}

TEST(PluginHardeningTest, MeterMeasuresItsLargestChannelCount) {
  const int32_t channels = SoundMeter::kMaxChannels;
  ScopedLogCapture capture;
  std::unique_ptr<AudioPostProcessor2> meter =
      SoundMeter::Create(R"({"name": "wide"})", channels);
  ASSERT_EQ(0, capture.Count(logging::LOG_ERROR, ""));
  // A rate of 1: one frame is a whole reporting interval.
  ASSERT_TRUE(meter->Configure(ProcessorConfig{1}));
  std::vector<float> frame(static_cast<size_t>(channels), 0.5f);
  meter->Process(frame.data(), 1, 1.0f);
  const std::vector<vorn::test::CapturedMessage> messages = capture.messages();
  ASSERT_EQ(1u, messages.size());
  const std::string& report = messages[0].text;
  EXPECT_EQ(0u, report.find("Power [wide]: -6, -6, "));
  size_t powers = 0;
  for (size_t at = report.find("-6, "); at != std::string::npos;
       at = report.find("-6, ", at + 1)) {
    ++powers;
  }
  EXPECT_EQ(static_cast<size_t>(channels), powers);
}

TEST(PluginHardeningTest, GovernorAndDelayTakeAnyChannelCountAtOnce) {
  for (int32_t channels : kHugeCounts) {
    ScopedLogCapture capture;
    std::unique_ptr<AudioPostProcessor2> governor = Governor::Create(
        R"({"onset_volume": 0.8, "clamp_multiplier": 0.5})", channels);
    ExpectRunsEmpty(governor.get(), channels);
    // A delay list cannot have that many entries: refused as too short.
    std::unique_ptr<AudioPostProcessor2> delay =
        DelayPostProcessor::Create(R"({"delay_us": [0, 1000]})", channels);
    ExpectRunsEmpty(delay.get(), channels);
    EXPECT_EQ(1, capture.Count(logging::LOG_ERROR, "Delay disabled"));
  }
}

}  // namespace
}  // namespace post_processors
