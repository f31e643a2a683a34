// The vorn.lv2 plug-ins in a host built on lilv, block by block with
// control changes during the stream, against the same processor classes
// driven directly with the same blocks and the same setter calls.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "post_processors/delay_post_processor.h"
#include "post_processors/governor.h"
#include "post_processors/meter.h"
#include "tests/post_processors/lv2/lv2_test_host.h"

namespace vorn {
namespace test {
namespace {

using post_processors::DelayPostProcessor;
using post_processors::Governor;
using post_processors::SoundMeter;

constexpr int32_t kRate = 48000;

// `frames` interleaved frames from frame `first` on: a sine of its own
// frequency per channel at amplitude `amplitude`.
std::vector<float> Signal(size_t frames, int channels, size_t first,
                          float amplitude = 0.7f) {
  std::vector<float> v(frames * static_cast<size_t>(channels));
  for (size_t j = 0; j < frames; ++j) {
    for (int c = 0; c < channels; ++c) {
      const double phase = 2.0 * M_PI * (220.0 * (c + 1)) *
                           static_cast<double>(first + j) / kRate;
      v[j * channels + c] = amplitude * static_cast<float>(std::sin(phase));
    }
  }
  return v;
}

// Bit-for-bit equality, reporting the first difference.
testing::AssertionResult BitEqual(const std::vector<float>& expected,
                                  const std::vector<float>& actual) {
  if (expected.size() != actual.size()) {
    return testing::AssertionFailure()
           << "sizes " << expected.size() << " and " << actual.size();
  }
  for (size_t i = 0; i < expected.size(); ++i) {
    if (std::memcmp(&expected[i], &actual[i], sizeof(float)) != 0) {
      return testing::AssertionFailure()
             << "sample " << i << ": expected " << expected[i] << ", got "
             << actual[i];
    }
  }
  return testing::AssertionSuccess();
}

// Whether a control value differs from the last applied one, bit for bit,
// as the plug-ins decide it.
bool Changed(float value, float* applied) {
  if (std::memcmp(&value, applied, sizeof(float)) == 0) return false;
  *applied = value;
  return true;
}

std::string Suffixed(const std::string& symbol, int channels, int c) {
  return channels == 1 ? symbol : symbol + "_" + std::to_string(c);
}

struct Variant {
  const char* name;
  int channels;
  bool offer_max_block;
};

class Lv2HostTest : public testing::TestWithParam<Variant> {
 protected:
  Lv2HostTest() : host_(VORN_LV2_BUNDLE_DIR) {}

  std::unique_ptr<Lv2TestInstance> Make(const std::string& kind,
                                        uint32_t max_frames) {
    const Variant& v = GetParam();
    const std::string uri =
        "urn:vorn:lv2:" + kind + (v.channels == 1 ? "-mono" : "-stereo");
    auto instance =
        host_.Instantiate(uri, kRate, max_frames, v.offer_max_block);
    EXPECT_NE(nullptr, instance) << uri;
    if (instance) {
      EXPECT_EQ(v.channels, instance->channels());
    }
    return instance;
  }
  int channels() const { return GetParam().channels; }

  Lv2TestHost host_;
};

// One block of a governor schedule: frames, and the three controls.
struct GovernorStep {
  uint32_t frames;
  float onset;
  float multiplier;
  float volume;
};

// The volume crosses the onset both ways (ramps), the settings change
// mid-stream, a control goes NaN for a while, blocks vary in length.
std::vector<GovernorStep> GovernorSchedule(uint32_t block) {
  std::vector<GovernorStep> steps;
  for (int i = 0; i < 240; ++i) {
    GovernorStep s{block, 0.8f, 0.5f, 0.5f};
    if (i >= 10) s.volume = 0.9f;            // crosses up: ramp to 0.5
    if (i >= 40) s.volume = 0.3f;            // crosses down: ramp to 1.0
    if (i >= 70) s.onset = 0.2f;             // now above the onset again
    if (i >= 100) s.multiplier = 0.25f;      // a smaller multiplier
    if (i >= 130 && i < 140) s.onset = NAN;  // refused: nothing changes
    if (i >= 160) s.volume = 0.2f;           // exactly at the onset
    if (i >= 200) s.volume = 0.2f - 1e-8f;   // within 2^-23: no change
    if (i % 7 == 3) s.frames = 1;
    if (i % 11 == 5) s.frames = 0;
    if (i % 13 == 6) s.frames = block / 3;
    steps.push_back(s);
  }
  return steps;
}

TEST_P(Lv2HostTest, GovernorFollowsItsControlsAsTheProcessorDoes) {
  const uint32_t block = 256;
  auto plugin = Make("governor", block);
  ASSERT_NE(nullptr, plugin);
  Governor direct(0.8, 0.5, channels());
  direct.Configure({kRate});
  float onset = 0.8f, multiplier = 0.5f;
  size_t first = 0;
  int ramping_blocks = 0;
  for (const GovernorStep& s : GovernorSchedule(block)) {
    plugin->SetControl("onset_volume", s.onset);
    plugin->SetControl("clamp_multiplier", s.multiplier);
    plugin->SetControl("volume", s.volume);
    std::vector<float> expected = Signal(s.frames, channels(), first);
    const std::vector<float> actual = plugin->Run(expected, s.frames);
    const bool onset_changed = Changed(s.onset, &onset);
    const bool multiplier_changed = Changed(s.multiplier, &multiplier);
    if (onset_changed || multiplier_changed) {
      direct.SetSettings(s.onset, s.multiplier);
    }
    direct.Process(expected.data(), static_cast<int32_t>(s.frames), s.volume);
    ASSERT_TRUE(BitEqual(expected, actual)) << "at frame " << first;
    if (direct.ramp().current_gain() != direct.ramp().target_gain()) {
      ++ramping_blocks;
    }
    first += s.frames;
  }
  EXPECT_GT(ramping_blocks, 20);
  EXPECT_EQ(0.25, direct.ramp().target_gain());
}

TEST_P(Lv2HostTest, DelayFollowsItsControlsAsTheProcessorDoes) {
  const uint32_t block = 300;
  auto plugin = Make("delay", block);
  ASSERT_NE(nullptr, plugin);
  DelayPostProcessor direct(std::vector<double>(channels(), 0.0));
  ASSERT_TRUE(direct.Configure({kRate}));
  ASSERT_TRUE(direct.ReserveDelayUs(1000000.0));
  std::vector<float> applied(channels(), 0.0f);
  size_t first = 0;
  for (int i = 0; i < 120; ++i) {
    // Channel 0: 1 ms, then 0.5 ms from block 30, then beyond the one
    // second maximum from block 60, then 2.5 ms again. Channel 1: 2.5 ms,
    // then none from block 45.
    std::vector<float> us = {1000.0f, 2500.0f};
    if (i >= 30) us[0] = 500.0f;
    if (i >= 60) us[0] = 3e6f;
    if (i >= 90) us[0] = 2500.0f;
    if (i >= 45) us[1] = 0.0f;
    const uint32_t frames = (i % 9 == 4) ? 17 : block;
    for (int c = 0; c < channels(); ++c) {
      plugin->SetControl(Suffixed("delay_us", channels(), c), us[c]);
      if (Changed(us[c], &applied[c])) {
        direct.SetChannelDelayUs(c, std::min(us[c], 1e6f));
      }
    }
    std::vector<float> expected = Signal(frames, channels(), first);
    const std::vector<float> actual = plugin->Run(expected, frames);
    direct.Process(expected.data(), static_cast<int32_t>(frames), 1.0f);
    ASSERT_TRUE(BitEqual(expected, actual)) << "block " << i;
    EXPECT_EQ(static_cast<float>(direct.Status()->latency_frames),
              plugin->Control("latency"))
        << "block " << i;
    first += frames;
  }
  EXPECT_EQ(120, direct.delay_set().delay_frames(0));
}

TEST_P(Lv2HostTest, MeterPortsShowEachReportAndAudioPassesUnchanged) {
  const uint32_t block = 1000;
  auto plugin = Make("sound-meter", block);
  ASSERT_NE(nullptr, plugin);
  SoundMeter direct("", channels());
  direct.Configure({kRate});
  direct.set_log_reports(false);
  size_t first = 0;
  for (int i = 0; i < 200; ++i) {
    // Louder every second; the last channel is silent for the first two.
    std::vector<float> input =
        Signal(block, channels(), first, 0.1f * static_cast<float>(1 + i / 48));
    if (i < 96) {
      for (size_t j = channels() - 1; j < input.size(); j += channels()) {
        input[j] = 0.0f;
      }
    }
    const std::vector<float> output = plugin->Run(input, block);
    ASSERT_TRUE(BitEqual(input, output)) << "block " << i;
    direct.Process(input.data(), block, 1.0f);
    for (int c = 0; c < channels(); ++c) {
      const float power = direct.report_power_db()[c];
      EXPECT_EQ(power > -200.0f ? power : -200.0f,
                plugin->Control(Suffixed("power_db", channels(), c)))
          << "block " << i << " channel " << c;
      EXPECT_EQ(direct.report_peaks()[c],
                plugin->Control(Suffixed("peak", channels(), c)));
    }
    first += block;
  }
  EXPECT_EQ(4u, direct.report_count());
  // The last report covered the fourth second: amplitude 0.4 on every
  // channel, a sine's mean power about -11 dB.
  EXPECT_NEAR(-10.97, plugin->Control(Suffixed("power_db", channels(), 0)),
              0.05);
  EXPECT_NEAR(0.4, plugin->Control(Suffixed("peak", channels(), 0)), 1e-3);
}

TEST_P(Lv2HostTest, LongRunsAndInPlaceBuffersChangeNothing) {
  // 10000-frame runs exceed the 4096-frame blocks used when the host
  // states no maximum; the governor and delay do not depend on where
  // blocks are split. The second pass runs in place.
  for (bool in_place : {false, true}) {
    auto governor = Make("governor", 10000);
    auto delay = Make("delay", 10000);
    ASSERT_TRUE(governor && delay);
    Governor direct_governor(0.8, 0.5, channels());
    direct_governor.Configure({kRate});
    DelayPostProcessor direct_delay(std::vector<double>(channels(), 0.0));
    direct_delay.Configure({kRate});
    direct_delay.ReserveDelayUs(1e6);
    for (int c = 0; c < channels(); ++c) {
      delay->SetControl(Suffixed("delay_us", channels(), c), 100000.0f);
      direct_delay.SetChannelDelayUs(c, 100000.0);
    }
    for (int i = 0; i < 6; ++i) {
      const float volume = i % 2 ? 0.9f : 0.1f;
      governor->SetControl("volume", volume);
      std::vector<float> expected = Signal(10000, channels(), i * 10000);
      std::vector<float> actual = governor->Run(expected, 10000, in_place);
      direct_governor.Process(expected.data(), 10000, volume);
      ASSERT_TRUE(BitEqual(expected, actual)) << "governor run " << i;
      actual = delay->Run(expected, 10000, in_place);
      direct_delay.Process(expected.data(), 10000, 1.0f);
      ASSERT_TRUE(BitEqual(expected, actual)) << "delay run " << i;
    }
  }
}

TEST_P(Lv2HostTest, ActivateRestartsWithSilenceAndNoRamp) {
  auto delay = Make("delay", 64);
  ASSERT_NE(nullptr, delay);
  delay->SetControl(Suffixed("delay_us", channels(), 0), 1000.0f);  // 48
  const std::vector<float> ones(64 * channels(), 1.0f);
  EXPECT_EQ(1.0f, delay->Run(ones, 64)[63 * channels()]);
  delay->Activate();
  const std::vector<float> out = delay->Run(ones, 64);
  EXPECT_EQ(0.0f, out[47 * channels()]);
  EXPECT_EQ(1.0f, out[48 * channels()]);
  // Stereo: channel 1 has no delay, so the shortest delay is 0.
  EXPECT_EQ(channels() == 1 ? 48.0f : 0.0f, delay->Control("latency"));

  auto governor = Make("governor", 64);
  ASSERT_NE(nullptr, governor);
  governor->SetControl("volume", 0.9f);
  governor->Run(ones, 64);
  governor->SetControl("volume", 0.1f);  // starts a ramp back to 1.0
  governor->Activate();
  // A fresh governor takes its first volume without a ramp.
  EXPECT_EQ(1.0f, governor->Run(ones, 64)[0]);
}

TEST_P(Lv2HostTest, DelayControlIsClampedToItsRange) {
  auto delay = Make("delay", 64);
  ASSERT_NE(nullptr, delay);
  const std::vector<float> silence(64 * channels(), 0.0f);
  for (int c = 0; c < channels(); ++c) {
    delay->SetControl(Suffixed("delay_us", channels(), c), 5e6f);
  }
  delay->Run(silence, 64);
  EXPECT_EQ(48000.0f, delay->Control("latency"));  // one second
  for (int c = 0; c < channels(); ++c) {
    delay->SetControl(Suffixed("delay_us", channels(), c), -20.0f);
  }
  delay->Run(silence, 64);
  EXPECT_EQ(0.0f, delay->Control("latency"));
}

INSTANTIATE_TEST_SUITE_P(
    Variants, Lv2HostTest,
    testing::Values(Variant{"mono", 1, true}, Variant{"stereo", 2, true},
                    Variant{"mono-no-block-option", 1, false},
                    Variant{"stereo-no-block-option", 2, false}),
    [](const testing::TestParamInfo<Variant>& info) {
      std::string name = info.param.name;
      for (char& ch : name) {
        if (ch == '-') ch = '_';
      }
      return name;
    });

TEST(Lv2BundleTest, ListsSixPluginsAndRefusesABadRate) {
  Lv2TestHost host(VORN_LV2_BUNDLE_DIR);
  std::vector<std::string> uris = host.PluginUris();
  std::sort(uris.begin(), uris.end());
  EXPECT_EQ(
      (std::vector<std::string>{
          "urn:vorn:lv2:delay-mono", "urn:vorn:lv2:delay-stereo",
          "urn:vorn:lv2:governor-mono", "urn:vorn:lv2:governor-stereo",
          "urn:vorn:lv2:sound-meter-mono", "urn:vorn:lv2:sound-meter-stereo"}),
      uris);
  EXPECT_EQ(nullptr, host.Instantiate("urn:vorn:lv2:delay-mono", 0.0, 64));
  EXPECT_EQ(nullptr, host.Instantiate("urn:vorn:lv2:governor-mono", -1, 64));
  EXPECT_NE(nullptr, host.Instantiate("urn:vorn:lv2:governor-mono", 8000, 1));
}

}  // namespace
}  // namespace test
}  // namespace vorn
