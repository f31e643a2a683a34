#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "post_processors/delay_post_processor.h"
#include "tests/support/log_capture.h"

namespace post_processors {
namespace {

// Interleaved frames where channel c of frame j holds 1000 * c + j + 1, so
// every sample names its origin and 0 means silence.
std::vector<float> Numbered(size_t frames, size_t channels, size_t first = 0) {
  std::vector<float> v(frames * channels);
  for (size_t j = 0; j < frames; ++j) {
    for (size_t c = 0; c < channels; ++c) {
      v[j * channels + c] = static_cast<float>(1000 * c + first + j + 1);
    }
  }
  return v;
}

std::vector<float> Channel(const std::vector<float>& block, size_t channels,
                           size_t c) {
  std::vector<float> out;
  for (size_t i = c; i < block.size(); i += channels) out.push_back(block[i]);
  return out;
}

class DelayTest : public testing::Test {
 protected:
  void Make(const std::string& config, int32_t channels, int32_t rate) {
    processor_ = DelayPostProcessor::Create(config, channels);
    if (rate > 0) {
      ASSERT_TRUE(processor_->Configure({rate}));
    }
  }
  const MultiChannelDelay& delay_set() const {
    return static_cast<const DelayPostProcessor*>(processor_.get())
        ->delay_set();
  }

  std::unique_ptr<AudioPostProcessor2> processor_;
};

TEST_F(DelayTest, ZeroAndOneMillisecondAt48000) {
  Make(R"({"delay_us": [0, 1000]})", 2, 48000);
  EXPECT_EQ(0, delay_set().delay_frames(0));
  EXPECT_EQ(48, delay_set().delay_frames(1));
  EXPECT_EQ(0, processor_->Status()->latency_frames);
  EXPECT_EQ(48, processor_->Status()->tail_frames);

  std::vector<float> block = Numbered(100, 2);
  const std::vector<float> input = block;
  processor_->Process(block.data(), 100, 1.0f);
  EXPECT_EQ(Channel(input, 2, 0), Channel(block, 2, 0));
  const std::vector<float> right = Channel(block, 2, 1);
  const std::vector<float> right_in = Channel(input, 2, 1);
  for (size_t j = 0; j < 48; ++j) ASSERT_EQ(0.0f, right[j]) << j;
  for (size_t j = 48; j < 100; ++j) ASSERT_EQ(right_in[j - 48], right[j]) << j;
}

TEST_F(DelayTest, ConfigureLogsEachChannelsFrames) {
  processor_ = DelayPostProcessor::Create(R"({"delay_us": [0, 2500]})", 2);
  vorn::test::ScopedLogCapture capture;
  processor_->Configure({48000});
  const std::vector<vorn::test::CapturedMessage> messages = capture.messages();
  ASSERT_EQ(2u, messages.size());
  EXPECT_EQ("ch 0 delay: 0frames", messages[0].text);
  EXPECT_EQ("ch 1 delay: 120frames", messages[1].text);
  for (const vorn::test::CapturedMessage& message : messages) {
    EXPECT_EQ(logging::LOG_INFO, message.severity);
    EXPECT_EQ("delay_post_processor.cc", message.file);
    EXPECT_EQ(55, message.line);
  }
}

TEST_F(DelayTest, RoundsHalvesAwayFromZero) {
  Make(R"({"delay_us": [10.4, 31.25, 1000, 1000.0]})", 4, 48000);
  EXPECT_EQ(0, delay_set().delay_frames(0));  // 0.4992 frames
  EXPECT_EQ(2, delay_set().delay_frames(1));  // exactly 1.5 frames
  EXPECT_EQ(48, delay_set().delay_frames(2));
  EXPECT_EQ(48, delay_set().delay_frames(3));  // integer and double alike
  EXPECT_EQ(0, processor_->Status()->latency_frames);
  EXPECT_EQ(48, processor_->Status()->tail_frames);
}

TEST_F(DelayTest, DelayLongerThanBlock) {
  Make(R"({"delay_us": [10000]})", 1, 48000);  // 480 frames
  std::vector<float> first = Numbered(256, 1);
  std::vector<float> second = Numbered(256, 1, 256);
  processor_->Process(first.data(), 256, 1.0f);
  processor_->Process(second.data(), 256, 1.0f);
  for (float s : first) ASSERT_EQ(0.0f, s);
  for (size_t j = 0; j < 224; ++j) ASSERT_EQ(0.0f, second[j]) << j;
  for (size_t j = 224; j < 256; ++j) {
    ASSERT_EQ(static_cast<float>(j - 224 + 1), second[j]) << j;
  }
}

TEST_F(DelayTest, ContinuesAcrossBlocksOfVaryingSize) {
  Make(R"({"delay_us": [62.5, 0, 125]})", 3, 48000);  // 3, 0, 6 frames
  std::vector<float> all = Numbered(40, 3);
  const std::vector<float> input = all;
  size_t frame = 0;
  for (size_t size : {1u, 0u, 7u, 2u, 13u, 17u}) {
    processor_->Process(all.data() + 3 * frame, static_cast<int32_t>(size),
                        0.0f);
    frame += size;
  }
  for (size_t j = 0; j < 40; ++j) {
    EXPECT_EQ(j < 3 ? 0.0f : input[3 * (j - 3)], all[3 * j]) << j;
    EXPECT_EQ(input[3 * j + 1], all[3 * j + 1]) << j;
    EXPECT_EQ(j < 6 ? 0.0f : input[3 * (j - 6) + 2], all[3 * j + 2]) << j;
  }
}

TEST_F(DelayTest, ConfigureAgainRestartsWithSilence) {
  Make(R"({"delay_us": [62.5]})", 1, 48000);  // 3 frames
  std::vector<float> block = Numbered(8, 1);
  processor_->Process(block.data(), 8, 1.0f);
  ASSERT_TRUE(processor_->Configure({48000}));
  block = Numbered(8, 1, 100);
  processor_->Process(block.data(), 8, 1.0f);
  EXPECT_EQ((std::vector<float>{0, 0, 0, 101, 102, 103, 104, 105}), block);
  ASSERT_TRUE(processor_->Configure({96000}));  // now 6 frames
  EXPECT_EQ(6, processor_->Status()->tail_frames);
  EXPECT_EQ(96000, processor_->Status()->sample_rate);
}

TEST_F(DelayTest, BeforeConfigureAudioIsUnchanged) {
  Make(R"({"delay_us": [1000, 2000]})", 2, 0);
  std::vector<float> block = Numbered(64, 2);
  const std::vector<float> input = block;
  processor_->Process(block.data(), 64, 1.0f);
  EXPECT_EQ(input, block);
  EXPECT_EQ(block.data(), processor_->Status()->output_buffer);
  EXPECT_EQ(-1, processor_->Status()->sample_rate);
  EXPECT_EQ(0, processor_->Status()->tail_frames);
}

TEST_F(DelayTest, ReconfigureIsRefused) {
  Make(R"({"delay_us": [1000]})", 1, 48000);
  EXPECT_FALSE(processor_->Reconfigure(R"({"delay_us": [0]})"));
  EXPECT_EQ(48, delay_set().delay_frames(0));
  EXPECT_EQ(std::vector<double>{1000.0},
            static_cast<DelayPostProcessor*>(processor_.get())->delays_us());
}

TEST_F(DelayTest, EmptyBlockOnlyRecordsBuffer) {
  Make(R"({"delay_us": [1000]})", 1, 48000);
  float sample = 5.0f;
  processor_->Process(&sample, 0, 1.0f);
  EXPECT_EQ(5.0f, sample);
  EXPECT_EQ(&sample, processor_->Status()->output_buffer);
}

// Error paths.

TEST_F(DelayTest, NonPositiveRateIsRefusedAndKeepsDelays) {
  Make(R"({"delay_us": [1000]})", 1, 48000);
  vorn::test::ScopedLogCapture capture;
  EXPECT_FALSE(processor_->Configure({0}));
  EXPECT_TRUE(
      capture.Has(logging::LOG_ERROR,
                  "Delay: ignoring a sample rate that is not positive: 0"));
  EXPECT_EQ(48000, processor_->Status()->sample_rate);
  EXPECT_EQ(48, processor_->Status()->tail_frames);
}

TEST_F(DelayTest, DelayBeyondInt32FramesBypasses) {
  Make(R"({"delay_us": [1000, 1e12]})", 2, 0);
  vorn::test::ScopedLogCapture capture;
  EXPECT_FALSE(processor_->Configure({48000}));
  EXPECT_EQ(1, capture.Count(logging::LOG_ERROR, "channel 1 delay of 1e+12 us"))
      << capture.Texts();
  EXPECT_EQ(0, processor_->Status()->latency_frames);
  EXPECT_EQ(0, processor_->Status()->tail_frames);
  std::vector<float> block = Numbered(64, 2);
  const std::vector<float> input = block;
  processor_->Process(block.data(), 64, 1.0f);
  EXPECT_EQ(input, block);
}

TEST_F(DelayTest, NegativeFramesOrNullDataTouchNothing) {
  Make(R"({"delay_us": [1000]})", 1, 48000);
  std::vector<float> block = Numbered(4, 1);
  processor_->Process(block.data(), -4, 1.0f);
  processor_->Process(nullptr, 4, 1.0f);
  EXPECT_EQ(Numbered(4, 1), block);
}

struct BadConfig {
  const char* config;
  int32_t channels;
  const char* reason;
};

class DelayBadConfigTest : public testing::TestWithParam<BadConfig> {};

TEST_P(DelayBadConfigTest, LogsErrorAndPassesAudioThrough) {
  vorn::test::ScopedLogCapture capture;
  std::unique_ptr<AudioPostProcessor2> p =
      DelayPostProcessor::Create(GetParam().config, GetParam().channels);
  const std::vector<vorn::test::CapturedMessage> messages = capture.messages();
  ASSERT_EQ(1u, messages.size()) << capture.Texts();
  EXPECT_EQ(logging::LOG_ERROR, messages[0].severity);
  EXPECT_EQ("delay_post_processor.cc", messages[0].file);
  EXPECT_THAT(messages[0].text, testing::HasSubstr(GetParam().reason));
  EXPECT_EQ(GetParam().channels, p->Status()->output_channels);
  EXPECT_TRUE(p->Configure({48000}));
  std::vector<float> block = Numbered(8, 2);
  p->Process(block.data(), 4, 1.0f);
  EXPECT_EQ(Numbered(8, 2), block);
  EXPECT_EQ(0, p->Status()->tail_frames);
}

INSTANTIATE_TEST_SUITE_P(
    Violations, DelayBadConfigTest,
    testing::Values(
        BadConfig{"{\"delay_us\": [0, 1000]", 2, "not valid JSON"},
        BadConfig{"\"delay_us\"", 2, "not a JSON dictionary"},
        BadConfig{R"({"delays": [0, 1]})", 2, "\"delay_us\" is missing"},
        BadConfig{R"({"delay_us": 1000})", 2, "not a list"},
        BadConfig{R"({"delay_us": [0, 1, 2]})", 2, "has 3 entries for 2"},
        BadConfig{R"({"delay_us": [0, "1"]})", 2, "entry 1 is not a number"},
        BadConfig{R"({"delay_us": [-1, 0]})", 2, "entry 0 is negative"},
        BadConfig{R"({"delay_us": []})", 0, "channel count is below 1"}));

TEST(MultiChannelDelayTest, SetDelaysRefusesWrongShapes) {
  MultiChannelDelay d(2);
  EXPECT_FALSE(d.SetDelays({1}));
  EXPECT_FALSE(d.SetDelays({1, -1}));
  EXPECT_EQ(0, d.delay_frames(1));
  EXPECT_TRUE(d.SetDelays({0, 2}));
  EXPECT_EQ(2, d.delay_frames(1));
}

}  // namespace
}  // namespace post_processors
