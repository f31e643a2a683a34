// End-to-end: runs the vorn_audio_host program with the built plug-ins over a
// WAV file written by the test, and checks exit status, output and log lines.
// VORN_EMULATOR, when set, is the blank-separated prefix that runs the host
// (qemu-arm under the armhf cross build).

#include <sndfile.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/support/child_process.h"
#include "tests/support/log_line.h"
#include "tests/support/temp_dir.h"

namespace {

using vorn::test::HasLogLine;
using vorn::test::LogLine;
using vorn::test::ParseLogLines;

class AudioHostTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.valid()); }

  std::string Path(const std::string& name) const { return dir_.Path(name); }

  // Writes `frames` stereo float frames: channel 0 constant 0.5, channel 1
  // counting up by 1/1024 from 1/1024.
  void WriteInput(const std::string& path, int frames) {
    SF_INFO info = {};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(nullptr, file);
    std::vector<float> data(2 * static_cast<size_t>(frames));
    for (int j = 0; j < frames; ++j) {
      data[2 * j] = 0.5f;
      data[2 * j + 1] = static_cast<float>((j % 1024) + 1) / 1024.0f;
    }
    ASSERT_EQ(frames, sf_writef_float(file, data.data(), frames));
    sf_close(file);
  }

  std::vector<float> ReadOutput(const std::string& path, int* channels) {
    SF_INFO info = {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return {};
    std::vector<float> data(static_cast<size_t>(info.frames * info.channels));
    sf_readf_float(file, data.data(), info.frames);
    sf_close(file);
    *channels = info.channels;
    return data;
  }

  // Runs the host with `args`; returns its exit status, stderr in *log.
  int RunHost(const std::vector<std::string>& args, std::string* log) {
    std::vector<std::string> argv = {VORN_AUDIO_HOST};
    argv.insert(argv.end(), args.begin(), args.end());
    vorn::test::ChildOptions options;
    options.argv = vorn::test::WithEmulator(argv);
    const vorn::test::ChildResult result = vorn::test::RunChild(options);
    *log = result.err;
    return result.exit_code;
  }

  // The meter's report lines in `log`: INFO lines of meter.cc, line 88.
  static std::vector<std::string> MeterReports(const std::string& log) {
    std::vector<std::string> reports;
    for (const LogLine& line : ParseLogLines(log)) {
      if (line.severity == "INFO" && line.file == "meter.cc" &&
          line.line == 88) {
        reports.push_back(line.text);
      }
    }
    return reports;
  }

  vorn::test::ScopedTempDir dir_;
};

TEST_F(AudioHostTest, RunsChainOfThreePlugins) {
  WriteInput(Path("in.wav"), 96000);
  std::string log;
  const std::vector<std::string> args = {
      "--input=" + Path("in.wav"),
      "--output=" + Path("out.wav"),
      "--block-frames=500",
      "--volume=0.9",
      "--plugin=" VORN_GOVERNOR_PLUGIN,
      R"(--config={"onset_volume": 0.8, "clamp_multiplier": 0.5})",
      "--plugin=" VORN_DELAY_PLUGIN,
      R"(--config={"delay_us": [0, 1000]})",
      "--plugin=" VORN_SOUND_METER_PLUGIN,
      R"(--config={"name": "e2e"})"};
  ASSERT_EQ(0, RunHost(args, &log)) << log;

  int channels = 0;
  std::vector<float> out = ReadOutput(Path("out.wav"), &channels);
  ASSERT_EQ(2, channels);
  ASSERT_EQ(2u * (96000 + 48), out.size());  // the delay's tail is flushed
  for (size_t j = 0; j < 96000; ++j) ASSERT_EQ(0.25f, out[2 * j]) << j;
  for (size_t j = 0; j < 48; ++j) ASSERT_EQ(0.0f, out[2 * j + 1]) << j;
  for (size_t j = 48; j < 96048; ++j) {
    const float in = static_cast<float>(((j - 48) % 1024) + 1) / 1024.0f;
    ASSERT_EQ(in * 0.5f, out[2 * j + 1]) << j;
  }

  EXPECT_TRUE(HasLogLine(log, "INFO", "governor.cc",
                         "Created a governor: onset_volume = 0.8, "
                         "clamp_multiplier = 0.5"));
  EXPECT_TRUE(HasLogLine(log, "INFO", "delay_post_processor.cc",
                         "ch 1 delay: 48frames"));
  // One report per 96 blocks of 500 frames: two in 96048 frames. Channel 0
  // is 0.25 throughout: 10 * log10(0.0625) = -12 dB.
  const std::vector<std::string> reports = MeterReports(log);
  ASSERT_EQ(2u, reports.size()) << log;
  for (const std::string& report : reports) {
    EXPECT_THAT(report, testing::MatchesRegex("Power \\[e2e\\]: -12, -[0-9]+,  "
                                              "Peak: 0\\.25, 0\\.50, "));
  }
}

// The probe writes each block's frame count into its first sample, so the
// output shows every block boundary. Returns the (start, frames) of each block
// in channel 0 of the output, assuming no input sample is above 1.
std::vector<std::pair<size_t, int>> Blocks(const std::vector<float>& out) {
  std::vector<std::pair<size_t, int>> blocks;
  for (size_t j = 0; 2 * j < out.size(); ++j) {
    if (out[2 * j] > 1.0f) blocks.emplace_back(j, static_cast<int>(out[2 * j]));
  }
  return blocks;
}

// Block boundaries expected when `total` frames are cut into `block` frames.
std::vector<std::pair<size_t, int>> Expected(size_t total, int block) {
  std::vector<std::pair<size_t, int>> blocks;
  for (size_t start = 0; start < total; start += static_cast<size_t>(block)) {
    blocks.emplace_back(start, static_cast<int>(std::min<size_t>(
                                   static_cast<size_t>(block), total - start)));
  }
  return blocks;
}

class AudioHostBlockTest : public AudioHostTest {
 protected:
  // Runs the host over `input_frames` frames of the test input with `args`,
  // the probe last in the chain, and returns the stereo output.
  std::vector<float> RunProbed(int input_frames,
                               const std::vector<std::string>& args) {
    WriteInput(Path("in.wav"), input_frames);
    std::vector<std::string> all = {"--input=" + Path("in.wav"),
                                    "--output=" + Path("out.wav")};
    all.insert(all.end(), args.begin(), args.end());
    all.push_back("--plugin=" VORN_BLOCK_PROBE_PLUGIN);
    std::string log;
    const int status = RunHost(all, &log);
    EXPECT_EQ(0, status) << log;
    int channels = 0;
    std::vector<float> out = ReadOutput(Path("out.wav"), &channels);
    EXPECT_EQ(2, channels);
    return out;
  }
};

TEST_F(AudioHostBlockTest, EveryBlockButTheLastHasBlockFramesAcrossReadChunks) {
  // 150000 frames span several read chunks, 500 divides no power of two, and
  // the delay's 48-frame tail makes a short last block.
  std::vector<float> out =
      RunProbed(150000, {"--block-frames=500", "--plugin=" VORN_DELAY_PLUGIN,
                         R"(--config={"delay_us": [0, 1000]})"});
  ASSERT_EQ(2u * 150048, out.size());
  EXPECT_EQ(Expected(150048, 500), Blocks(out));
  // Between the marks, channel 0 is the input and channel 1 the delayed input.
  EXPECT_EQ(0.5f, out[2 * 1]);
  EXPECT_EQ(0.5f, out[2 * 149999]);
  EXPECT_EQ(0.0f, out[2 * 150001]);
  EXPECT_EQ(1.0f / 1024.0f, out[2 * 48 + 1]);
}

TEST_F(AudioHostBlockTest, BlocksLargerThanAReadChunkStayWhole) {
  std::vector<float> out = RunProbed(250000, {"--block-frames=100000"});
  ASSERT_EQ(2u * 250000, out.size());
  EXPECT_EQ(Expected(250000, 100000), Blocks(out));
}

TEST_F(AudioHostBlockTest, TailLongerThanTheLastChunkGoesOnInWholeBlocks) {
  // 1 s of delay at 48000 is 48000 frames of tail after an input that ends
  // exactly on a block boundary.
  std::vector<float> out =
      RunProbed(4096, {"--block-frames=1024", "--plugin=" VORN_DELAY_PLUGIN,
                       R"(--config={"delay_us": [1000000, 0]})"});
  ASSERT_EQ(2u * (4096 + 48000), out.size());
  EXPECT_EQ(Expected(4096 + 48000, 1024), Blocks(out));
  EXPECT_EQ(0.0f, out[2 * 1]);         // channel 0 is delayed by 1 s
  EXPECT_EQ(0.5f, out[2 * 48001]);     // ...and comes out after it
  EXPECT_EQ(0.0f, out[2 * 4096 + 1]);  // channel 1 ends with silence
  EXPECT_EQ(0.0f, out[2 * 52095 + 1]);
}

TEST_F(AudioHostBlockTest, NoTailStopsWithTheInput) {
  std::vector<float> out = RunProbed(
      3000, {"--no-tail", "--block-frames=256", "--plugin=" VORN_DELAY_PLUGIN,
             R"(--config={"delay_us": [0, 1000]})"});
  ASSERT_EQ(2u * 3000, out.size());
  EXPECT_EQ(Expected(3000, 256), Blocks(out));
}

TEST_F(AudioHostTest, MeteringOnlyWritesNoFile) {
  WriteInput(Path("in.wav"), 48000);
  std::string log;
  ASSERT_EQ(0, RunHost({"--input=" + Path("in.wav"),
                        "--plugin=" VORN_SOUND_METER_PLUGIN},
                       &log))
      << log;
  const std::vector<std::string> reports = MeterReports(log);
  ASSERT_EQ(1u, reports.size()) << log;
  EXPECT_THAT(reports[0], testing::StartsWith("Power []: -6, "));
}

TEST_F(AudioHostTest, GeneratesTone) {
  std::string log;
  ASSERT_EQ(0, RunHost({"--generate-tone=1000", "--seconds=0.5", "--channels=1",
                        "--amplitude=1", "--output=" + Path("tone.wav")},
                       &log))
      << log;
  int channels = 0;
  std::vector<float> tone = ReadOutput(Path("tone.wav"), &channels);
  ASSERT_EQ(1, channels);
  ASSERT_EQ(24000u, tone.size());
  EXPECT_EQ(0.0f, tone[0]);
  EXPECT_NEAR(1.0f, tone[12], 1e-3);  // a quarter period at 48000
}

TEST_F(AudioHostTest, HelpGoesToStdout) {
  std::string log;
  EXPECT_EQ(0, RunHost({"--help"}, &log));
  EXPECT_EQ("", log);
}

TEST_F(AudioHostTest, BadInputFailsWithMessage) {
  WriteInput(Path("in.wav"), 10);
  const std::string input = "--input=" + Path("in.wav");
  std::string log;
  EXPECT_EQ(1, RunHost({"--input=" + Path("missing.wav")}, &log));
  EXPECT_THAT(log, testing::HasSubstr("vorn_audio_host: cannot read"));
  EXPECT_EQ(1, RunHost({input, "--frobnicate"}, &log));
  EXPECT_THAT(log, testing::HasSubstr("unknown option --frobnicate"));
  EXPECT_EQ(1, RunHost({input, "--block-frames=0"}, &log));
  EXPECT_THAT(log, testing::HasSubstr("bad option --block-frames=0"));
  EXPECT_EQ(1, RunHost({input, "--plugin=" + Path("none.so")}, &log));
  EXPECT_THAT(log, testing::HasSubstr("cannot load plug-in"));
  EXPECT_EQ(1, RunHost({"--config={}", input}, &log));
  EXPECT_THAT(log, testing::HasSubstr("--config must follow"));
  EXPECT_EQ(1, RunHost({}, &log));
  EXPECT_THAT(log, testing::HasSubstr("--input is required"));
}

}  // namespace
