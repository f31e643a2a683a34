// Settings changed while a processor runs, as LV2 hosts change their
// control ports between blocks: Governor::SetSettings, the delay's reserved
// rings with per-channel changes, and the meter's report figures with its
// logging switched off.

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "post_processors/delay_post_processor.h"
#include "post_processors/governor.h"
#include "post_processors/meter.h"

namespace post_processors {
namespace {

std::vector<float> Constant(size_t frames, size_t channels, float value) {
  return std::vector<float>(frames * channels, value);
}

// Channel c of frame j (counted from `first`) holds 1000 * c + j + 1.
std::vector<float> Numbered(size_t frames, size_t channels, size_t first) {
  std::vector<float> v(frames * channels);
  for (size_t j = 0; j < frames; ++j) {
    for (size_t c = 0; c < channels; ++c) {
      v[j * channels + c] = static_cast<float>(1000 * c + first + j + 1);
    }
  }
  return v;
}

// --- Governor ---------------------------------------------------------------

class GovernorSettingsTest : public testing::Test {
 protected:
  GovernorSettingsTest() : governor_(0.8, 0.5, 1) {
    governor_.Configure({48000});
  }
  // Processes `frames` mono frames of 1.0 at `volume`; returns the output.
  std::vector<float> Block(size_t frames, float volume) {
    std::vector<float> block = Constant(frames, 1, 1.0f);
    governor_.Process(block.data(), static_cast<int32_t>(frames), volume);
    return block;
  }

  Governor governor_;
};

TEST_F(GovernorSettingsTest, RaisingTheOnsetAboveTheVolumeRampsBackToUnity) {
  EXPECT_EQ(0.5f, Block(64, 0.9f)[0]);
  ASSERT_TRUE(governor_.SetSettings(0.95, 0.5));
  // Same volume, but it is now below the onset: a 100 ms ramp up to 1.0
  // whose first frame is still at the old gain.
  const std::vector<float> out = Block(4800, 0.9f);
  EXPECT_EQ(0.5f, out[0]);
  EXPECT_GT(out[1], 0.5f);
  EXPECT_LT(out[4799], 1.0f);
  EXPECT_EQ(1.0, governor_.ramp().target_gain());
  EXPECT_EQ(1.0f, Block(1, 0.9f)[0]);
}

TEST_F(GovernorSettingsTest, NewMultiplierAboveTheOnsetBecomesTheTarget) {
  Block(64, 0.9f);
  ASSERT_TRUE(governor_.SetSettings(0.8, 0.25));
  EXPECT_EQ(0.8, governor_.onset_volume());
  EXPECT_EQ(0.25, governor_.clamp_multiplier());
  Block(1, 0.9f);
  EXPECT_EQ(0.25, governor_.ramp().target_gain());
  // The distance is 0.25, so the ramp takes 100 ms: 4800 frames.
  EXPECT_DOUBLE_EQ(0.25 * 1000.0 / (100.0 * 48000.0),
                   governor_.ramp().step_per_frame());
}

TEST_F(GovernorSettingsTest, SettingsBeforeTheFirstBlockApplyWithoutRamp) {
  ASSERT_TRUE(governor_.SetSettings(0.1, 0.25));
  const std::vector<float> out = Block(16, 0.5f);
  EXPECT_EQ(0.25f, out[0]);
  EXPECT_EQ(0.25f, out[15]);
}

TEST_F(GovernorSettingsTest, UnchangedSettingsLeaveARampAlone) {
  Block(64, 0.9f);
  Block(100, 0.3f);  // ramping up from 0.5
  const double gain = governor_.ramp().current_gain();
  const double step = governor_.ramp().step_per_frame();
  ASSERT_TRUE(governor_.SetSettings(0.8, 0.5));
  Block(1, 0.3f);
  EXPECT_EQ(step, governor_.ramp().step_per_frame());
  EXPECT_EQ(gain + step, governor_.ramp().current_gain());
}

TEST_F(GovernorSettingsTest, RefusesValuesTheConfigurationWouldRefuse) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_FALSE(governor_.SetSettings(std::nan(""), 0.5));
  EXPECT_FALSE(governor_.SetSettings(inf, 0.5));
  EXPECT_FALSE(governor_.SetSettings(0.8, std::nan("")));
  EXPECT_FALSE(governor_.SetSettings(0.8, 1e39));
  EXPECT_EQ(0.8, governor_.onset_volume());
  EXPECT_EQ(0.5, governor_.clamp_multiplier());
  EXPECT_EQ(0.5f, Block(4, 0.9f)[3]);
  // Any finite onset and any multiplier within the float range are taken.
  EXPECT_TRUE(governor_.SetSettings(-3.0, -2.0));
}

// --- Delay ------------------------------------------------------------------

class DelaySettingsTest : public testing::Test {
 protected:
  // Two channels at 48000 frames per second.
  static std::unique_ptr<DelayPostProcessor> Make(double us0, double us1) {
    auto delay =
        std::make_unique<DelayPostProcessor>(std::vector<double>{us0, us1});
    EXPECT_TRUE(delay->Configure({48000}));
    return delay;
  }
  // Runs `frames` numbered frames (counted from `first`) through `delay`.
  static std::vector<float> Run(DelayPostProcessor* delay, size_t frames,
                                size_t first) {
    std::vector<float> block = Numbered(frames, 2, first);
    delay->Process(block.data(), static_cast<int32_t>(frames), 1.0f);
    return block;
  }
};

TEST_F(DelaySettingsTest, ReservingKeepsTheSamplesInFlight) {
  auto reserved = Make(100, 250);  // 5 and 12 frames
  auto plain = Make(100, 250);
  size_t first = 0;
  for (size_t frames : {3, 7}) {  // leaves both rings mid-way
    EXPECT_EQ(Run(plain.get(), frames, first),
              Run(reserved.get(), frames, first));
    first += frames;
  }
  ASSERT_TRUE(reserved->ReserveDelayUs(10000));
  EXPECT_EQ(480, reserved->delay_set().capacity_frames(0));
  EXPECT_EQ(12, reserved->delay_set().delay_frames(1));
  for (size_t frames : {1, 9, 30}) {
    EXPECT_EQ(Run(plain.get(), frames, first),
              Run(reserved.get(), frames, first));
    first += frames;
  }
}

TEST_F(DelaySettingsTest, ChangedChannelRestartsWithSilenceOthersGoOn) {
  auto delay = Make(0, 100);  // 0 and 5 frames
  ASSERT_TRUE(delay->ReserveDelayUs(1000));
  Run(delay.get(), 10, 0);
  ASSERT_TRUE(delay->SetChannelDelayUs(0, 62.5));  // 3 frames
  EXPECT_EQ(62.5, delay->delays_us()[0]);
  EXPECT_EQ(3, delay->Status()->latency_frames);
  EXPECT_EQ(5, delay->Status()->tail_frames);
  const std::vector<float> out = Run(delay.get(), 4, 10);
  // Channel 0: three frames of silence, then frame 10 (value 11).
  EXPECT_EQ((std::vector<float>{0, 0, 0, 11}),
            (std::vector<float>{out[0], out[2], out[4], out[6]}));
  // Channel 1 keeps its five-frame delay: frames 5 to 8.
  EXPECT_EQ((std::vector<float>{1006, 1007, 1008, 1009}),
            (std::vector<float>{out[1], out[3], out[5], out[7]}));

  ASSERT_TRUE(delay->SetChannelDelayUs(1, 0));  // bypass
  EXPECT_EQ(0, delay->Status()->latency_frames);
  EXPECT_EQ(3, delay->Status()->tail_frames);
  EXPECT_EQ(1015.0f, Run(delay.get(), 1, 14)[1]);
}

TEST_F(DelaySettingsTest, SameFrameCountDoesNotRestart) {
  auto delay = Make(100, 100);
  ASSERT_TRUE(delay->ReserveDelayUs(1000));
  Run(delay.get(), 8, 0);
  ASSERT_TRUE(delay->SetChannelDelayUs(1, 104.0));  // 4.992: still 5 frames
  EXPECT_EQ(104.0, delay->delays_us()[1]);
  EXPECT_EQ(1004.0f, Run(delay.get(), 1, 8)[1]);  // frame 3, not silence
}

TEST_F(DelaySettingsTest, RefusalsChangeNothing) {
  DelayPostProcessor unconfigured({0, 0});
  EXPECT_FALSE(unconfigured.ReserveDelayUs(1000));
  EXPECT_FALSE(unconfigured.SetChannelDelayUs(0, 0));

  auto delay = Make(100, 100);
  EXPECT_FALSE(delay->SetChannelDelayUs(0, 200));  // no room reserved
  ASSERT_TRUE(delay->ReserveDelayUs(1000));        // 48 frames
  EXPECT_FALSE(delay->ReserveDelayUs(-1));
  EXPECT_FALSE(delay->ReserveDelayUs(std::nan("")));
  EXPECT_FALSE(delay->ReserveDelayUs(1e20));  // beyond 32-bit frame counts
  EXPECT_FALSE(delay->SetChannelDelayUs(0, 1011));  // 48.5: 49 frames
  EXPECT_FALSE(delay->SetChannelDelayUs(0, -1));
  EXPECT_FALSE(delay->SetChannelDelayUs(0, std::nan("")));
  EXPECT_FALSE(delay->SetChannelDelayUs(2, 100));
  EXPECT_FALSE(delay->SetChannelDelayUs(-1, 100));
  EXPECT_EQ((std::vector<double>{100, 100}), delay->delays_us());
  EXPECT_EQ(5, delay->delay_set().delay_frames(0));
  EXPECT_TRUE(delay->SetChannelDelayUs(0, 1000));  // 48: the reserved maximum
  EXPECT_EQ(48, delay->Status()->tail_frames);
}

TEST_F(DelaySettingsTest, ConfigureDropsTheReservation) {
  auto delay = Make(100, 0);
  ASSERT_TRUE(delay->ReserveDelayUs(1000));
  ASSERT_TRUE(delay->Configure({48000}));
  EXPECT_EQ(5, delay->delay_set().capacity_frames(0));
  EXPECT_EQ(0, delay->delay_set().capacity_frames(1));
  EXPECT_FALSE(delay->SetChannelDelayUs(1, 100));
}

// --- Sound meter ------------------------------------------------------------

TEST(MeterFiguresTest, ReportFiguresMatchThePrintedReport) {
  SoundMeter meter("fig", 2);
  meter.Configure({1024});
  EXPECT_EQ(0u, meter.report_count());
  EXPECT_EQ(-std::numeric_limits<float>::infinity(),
            meter.report_power_db()[0]);
  EXPECT_EQ(0.0f, meter.report_peaks()[1]);

  std::vector<float> block(2 * 1024, 0.0f);
  for (size_t j = 0; j < 1024; ++j) block[2 * j] = (j % 2) ? 0.5f : -0.25f;
  const std::string text = [&] {
    testing::internal::CaptureStderr();
    meter.Process(block.data(), 1024, 1.0f);
    return testing::internal::GetCapturedStderr();
  }();
  EXPECT_NE(std::string::npos,
            text.find("Power [fig]: -8, -inf,  Peak: 0.50, 0.00, "));
  EXPECT_EQ(1u, meter.report_count());
  // Mean square (0.25 + 0.0625) / 2 = 0.15625: -8.06 dB.
  EXPECT_FLOAT_EQ(10.0f * std::log10(0.15625f), meter.report_power_db()[0]);
  EXPECT_EQ(-std::numeric_limits<float>::infinity(),
            meter.report_power_db()[1]);
  EXPECT_EQ(0.5f, meter.report_peaks()[0]);
  EXPECT_EQ(0.0f, meter.report_peaks()[1]);
}

TEST(MeterFiguresTest, UnloggedReportsStillUpdateTheFigures) {
  SoundMeter meter("", 1);
  meter.Configure({100});
  meter.set_log_reports(false);
  std::vector<float> block(100, 0.5f);
  testing::internal::CaptureStderr();
  meter.Process(block.data(), 100, 1.0f);
  block.assign(100, 0.125f);
  meter.Process(block.data(), 100, 1.0f);
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  EXPECT_EQ(2u, meter.report_count());
  // The second interval does not remember the first one's peak.
  EXPECT_EQ(0.125f, meter.report_peaks()[0]);
  EXPECT_FLOAT_EQ(10.0f * std::log10(0.015625f), meter.report_power_db()[0]);
}

}  // namespace
}  // namespace post_processors
