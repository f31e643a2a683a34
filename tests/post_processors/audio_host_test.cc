// End-to-end: runs the vorn_audio_host program with the built plug-ins over a
// WAV file written by the test, and checks exit status, output and log lines.

#include <sndfile.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"

namespace {

class AudioHostTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = getenv("TMPDIR");
    std::string pattern =
        std::string(tmp && *tmp ? tmp : "/tmp") + "/audio_host_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern.data()));
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

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
  int RunHost(const std::string& args, std::string* log) {
    const std::string err = Path("stderr.txt");
    const std::string command = std::string(VORN_EMULATOR) + " '" +
                                VORN_AUDIO_HOST + "' " +
                                args + " >/dev/null 2>'" + err + "'";
    const int status = std::system(command.c_str());
    std::ifstream in(err);
    std::stringstream text;
    text << in.rdbuf();
    *log = text.str();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string dir_;
};

TEST_F(AudioHostTest, RunsChainOfThreePlugins) {
  WriteInput(Path("in.wav"), 96000);
  std::string log;
  const std::string args =
      "--input=" + Path("in.wav") + " --output=" + Path("out.wav") +
      " --block-frames=500 --volume=0.9"
      " --plugin=" VORN_GOVERNOR_PLUGIN
      " --config='{\"onset_volume\": 0.8, \"clamp_multiplier\": 0.5}'"
      " --plugin=" VORN_DELAY_PLUGIN
      " --config='{\"delay_us\": [0, 1000]}'"
      " --plugin=" VORN_SOUND_METER_PLUGIN " --config='{\"name\": \"e2e\"}'";
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

  EXPECT_THAT(
      log, testing::HasSubstr(":INFO:governor.cc(41)] Created a governor: "
                              "onset_volume = 0.8, clamp_multiplier = 0.5\n"));
  EXPECT_THAT(log,
              testing::HasSubstr(
                  ":INFO:delay_post_processor.cc(55)] ch 1 delay: 48frames\n"));
  // One report per 96 blocks of 500 frames: two in 96048 frames. Channel 0
  // is 0.25 throughout: 10 * log10(0.0625) = -12 dB.
  const std::string report =
      "\\[[0-9]{4}/[0-9]{6}\\.[0-9]{6}:INFO:meter\\.cc\\(88\\)\\] "
      "Power \\[e2e\\]: -12, -[0-9]+,  Peak: 0\\.25, 0\\.50, \n";
  EXPECT_THAT(log, testing::ContainsRegex(report + ".*" + report));
  EXPECT_THAT(log, testing::Not(testing::ContainsRegex(report + ".*" + report +
                                                       ".*" + report)));
}

TEST_F(AudioHostTest, MeteringOnlyWritesNoFile) {
  WriteInput(Path("in.wav"), 48000);
  std::string log;
  ASSERT_EQ(0, RunHost("--input=" + Path("in.wav") +
                           " --plugin=" VORN_SOUND_METER_PLUGIN,
                       &log))
      << log;
  EXPECT_THAT(log, testing::HasSubstr("Power []: -6, "));
}

TEST_F(AudioHostTest, GeneratesTone) {
  std::string log;
  ASSERT_EQ(0, RunHost("--generate-tone=1000 --seconds=0.5 --channels=1"
                       " --amplitude=1 --output=" +
                           Path("tone.wav"),
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
  EXPECT_EQ(0, RunHost("--help", &log));
  EXPECT_EQ("", log);
}

TEST_F(AudioHostTest, BadInputFailsWithMessage) {
  WriteInput(Path("in.wav"), 10);
  std::string log;
  EXPECT_EQ(1, RunHost("--input=" + Path("missing.wav"), &log));
  EXPECT_THAT(log, testing::HasSubstr("vorn_audio_host: cannot read"));
  EXPECT_EQ(1, RunHost("--input=" + Path("in.wav") + " --frobnicate", &log));
  EXPECT_THAT(log, testing::HasSubstr("unknown option --frobnicate"));
  EXPECT_EQ(1,
            RunHost("--input=" + Path("in.wav") + " --block-frames=0", &log));
  EXPECT_THAT(log, testing::HasSubstr("bad option --block-frames=0"));
  EXPECT_EQ(
      1, RunHost("--input=" + Path("in.wav") + " --plugin=" + Path("none.so"),
                 &log));
  EXPECT_THAT(log, testing::HasSubstr("cannot load plug-in"));
  EXPECT_EQ(1, RunHost("--config={} --input=" + Path("in.wav"), &log));
  EXPECT_THAT(log, testing::HasSubstr("--config must follow"));
  EXPECT_EQ(1, RunHost("", &log));
  EXPECT_THAT(log, testing::HasSubstr("--input is required"));
}

}  // namespace
