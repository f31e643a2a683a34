// End-to-end: vorn_audio_host given inputs and options that used to crash it,
// destroy data or answer in libsndfile's words: oversized blocks, an output
// that is the input, failed runs over an existing output, out-of-range
// volumes, WAV headers without a rate or channels, and bare plug-in names.

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/child_process.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace vorn {
namespace {

using test::ChildOptions;
using test::ChildResult;
using test::ReadFile;
using test::ScopedTempDir;
using test::WriteFile;

class AudioHostHardeningTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.valid()); }

  // Writes `frames` frames of `channels` channels of 0.25 as a float WAV.
  static bool WriteWav(const std::string& path, int channels, int frames) {
    SF_INFO info = {};
    info.samplerate = 48000;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) return false;
    std::vector<float> data(static_cast<size_t>(channels) * frames, 0.25f);
    const bool ok = sf_writef_float(file, data.data(), frames) == frames;
    sf_close(file);
    return ok;
  }

  // A 16-bit stereo WAV whose format chunk says `channels` and `rate`.
  static std::string WavWithFormat(uint16_t channels, uint32_t rate) {
    std::string wav("RIFF\0\0\0\0WAVEfmt \x10\0\0\0", 20);
    auto put16 = [&wav](uint16_t v) {
      wav += static_cast<char>(v & 0xff);
      wav += static_cast<char>(v >> 8);
    };
    auto put32 = [&](uint32_t v) {
      put16(static_cast<uint16_t>(v));
      put16(static_cast<uint16_t>(v >> 16));
    };
    put16(1);  // PCM
    put16(channels);
    put32(rate);
    put32(rate * 4);
    put16(4);
    put16(16);
    wav += "data";
    put32(400);
    wav += std::string(400, '\0');
    const uint32_t riff_size = static_cast<uint32_t>(wav.size() - 8);
    for (int i = 0; i < 4; ++i) {
      wav[4 + i] = static_cast<char>(riff_size >> (8 * i));
    }
    return wav;
  }

  ChildResult RunHost(std::vector<std::string> args,
                      const std::string& host = VORN_AUDIO_HOST) {
    ChildOptions options;
    options.argv = test::WithEmulator({host});
    options.argv.insert(options.argv.end(), args.begin(), args.end());
    options.cwd = dir_.path();
    options.timeout_ms = 60000;
    return RunChild(options);
  }

  // The names in the test folder that start with ".": left-over temporaries.
  std::vector<std::string> HiddenFiles() const {
    ChildOptions options;
    options.argv = {"ls", "-A", dir_.path()};
    ChildResult result = RunChild(options);
    std::vector<std::string> hidden;
    size_t start = 0;
    while (start < result.out.size()) {
      size_t end = result.out.find('\n', start);
      if (end == std::string::npos) end = result.out.size();
      const std::string name = result.out.substr(start, end - start);
      if (!name.empty() && name[0] == '.') hidden.push_back(name);
      start = end + 1;
    }
    return hidden;
  }

  ScopedTempDir dir_;
};

TEST_F(AudioHostHardeningTest, OversizedBlockIsRefusedBeforeAllocating) {
  // 1024 channels of 1048576-frame blocks would need 4 GiB.
  ASSERT_TRUE(WriteWav(dir_.Path("wide.wav"), 1024, 8));
  ChildResult result =
      RunHost({"--input=wide.wav", "--block-frames=1048576", "--output=o.wav"});
  EXPECT_EQ(1, result.exit_code) << result.err;
  EXPECT_EQ(0, result.term_signal);
  EXPECT_NE(std::string::npos,
            result.err.find("a block of 1048576 frames of 1024 channels "
                            "needs 4096 MiB, more than the limit of 64 MiB"))
      << result.err;
  EXPECT_NE(0, access(dir_.Path("o.wav").c_str(), F_OK));
}

TEST_F(AudioHostHardeningTest, WideFileWithABlockWithinTheLimitRuns) {
  // 16384 frames of 1024 channels is exactly the limit.
  ASSERT_TRUE(WriteWav(dir_.Path("wide.wav"), 1024, 16400));
  ChildResult result = RunHost({"--input=wide.wav", "--block-frames=16384",
                                "--output=o.wav", "--no-tail"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  SF_INFO info = {};
  SNDFILE* out = sf_open(dir_.Path("o.wav").c_str(), SFM_READ, &info);
  ASSERT_NE(nullptr, out);
  EXPECT_EQ(16400, info.frames);
  EXPECT_EQ(1024, info.channels);
  sf_close(out);
}

TEST_F(AudioHostHardeningTest, OutputThatIsTheInputIsRefusedByEveryName) {
  ASSERT_TRUE(WriteWav(dir_.Path("in.wav"), 2, 4800));
  const std::string original = ReadFile(dir_.Path("in.wav"));
  ASSERT_EQ(0, symlink("in.wav", dir_.Path("link.wav").c_str()));
  ASSERT_EQ(0,
            link(dir_.Path("in.wav").c_str(), dir_.Path("hard.wav").c_str()));
  for (const char* output : {"in.wav", "./in.wav", "link.wav", "hard.wav"}) {
    ChildResult result =
        RunHost({"--input=in.wav", std::string("--output=") + output});
    EXPECT_EQ(1, result.exit_code) << output;
    EXPECT_NE(std::string::npos, result.err.find("is the input file itself"))
        << output << ": " << result.err;
    EXPECT_EQ(original, ReadFile(dir_.Path("in.wav"))) << output;
  }
  // And the other way round: the input named through the link.
  ChildResult result = RunHost({"--input=link.wav", "--output=in.wav"});
  EXPECT_EQ(1, result.exit_code);
  EXPECT_EQ(original, ReadFile(dir_.Path("in.wav")));
  EXPECT_TRUE(HiddenFiles().empty());
}

TEST_F(AudioHostHardeningTest, FailedRunLeavesTheOldOutputInPlace) {
  ASSERT_TRUE(WriteWav(dir_.Path("in.wav"), 2, 4800));
  ASSERT_TRUE(WriteFile(dir_.Path("out.wav"), "the previous good result"));
  // The delay refuses to configure at this rate with so long a delay, after
  // the output has been opened.
  ChildResult result = RunHost({"--input=in.wav", "--output=out.wav",
                                "--plugin=" VORN_DELAY_PLUGIN,
                                "--config={\"delay_us\": [1e12, 0]}"});
  EXPECT_EQ(1, result.exit_code) << result.err;
  EXPECT_EQ("the previous good result", ReadFile(dir_.Path("out.wav")));
  EXPECT_TRUE(HiddenFiles().empty());

  result = RunHost({"--input=in.wav", "--output=out.wav",
                    "--plugin=" VORN_DELAY_PLUGIN, "--config=nonsense",
                    "--plugin=./missing.so"});
  EXPECT_EQ(1, result.exit_code) << result.err;
  EXPECT_EQ("the previous good result", ReadFile(dir_.Path("out.wav")));
  EXPECT_TRUE(HiddenFiles().empty());
}

TEST_F(AudioHostHardeningTest, SuccessReplacesTheOutputKeepingItsModeAndLink) {
  ASSERT_TRUE(WriteWav(dir_.Path("in.wav"), 2, 4800));
  ASSERT_EQ(0, mkdir(dir_.Path("sub").c_str(), 0755));
  ASSERT_TRUE(WriteFile(dir_.Path("sub/target.wav"), "old", 0640));
  ASSERT_EQ(0, chmod(dir_.Path("sub/target.wav").c_str(), 0640));
  ASSERT_EQ(0, symlink("sub/target.wav", dir_.Path("out.wav").c_str()));
  ChildResult result = RunHost({"--input=in.wav", "--output=out.wav"});
  ASSERT_EQ(0, result.exit_code) << result.err;

  struct stat link_info;
  ASSERT_EQ(0, lstat(dir_.Path("out.wav").c_str(), &link_info));
  EXPECT_TRUE(S_ISLNK(link_info.st_mode));
  struct stat target;
  ASSERT_EQ(0, stat(dir_.Path("sub/target.wav").c_str(), &target));
  EXPECT_EQ(0640u, target.st_mode & 07777);
  EXPECT_EQ(ReadFile(dir_.Path("in.wav")), ReadFile(dir_.Path("out.wav")));
  EXPECT_TRUE(HiddenFiles().empty());
}

TEST_F(AudioHostHardeningTest, DeviceOutputIsWrittenInPlace) {
  ASSERT_TRUE(WriteWav(dir_.Path("in.wav"), 2, 4800));
  ChildResult result = RunHost({"--input=in.wav", "--output=/dev/null"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  struct stat info;
  ASSERT_EQ(0, stat("/dev/null", &info));
  EXPECT_TRUE(S_ISCHR(info.st_mode));
}

TEST_F(AudioHostHardeningTest, VolumeOutsideTheFloatRangeIsRefused) {
  ASSERT_TRUE(WriteWav(dir_.Path("in.wav"), 2, 480));
  for (const char* volume :
       {"--volume=1e39", "--volume=-1e39", "--volume=3.5e38", "--volume=1e308",
        "--volume=inf", "--volume=nan", "--volume=1e999"}) {
    ChildResult result = RunHost({"--input=in.wav", volume});
    EXPECT_EQ(1, result.exit_code) << volume;
    EXPECT_EQ(0, result.term_signal) << volume;
    EXPECT_NE(std::string::npos,
              result.err.find(std::string("bad option ") + volume))
        << result.err;
  }
  ChildResult result =
      RunHost({"--input=in.wav", "--volume=-3.4e38", "--output=o.wav"});
  EXPECT_EQ(0, result.exit_code) << result.err;
}

TEST_F(AudioHostHardeningTest, HeaderWithoutRateOrChannelsSaysSo) {
  struct Case {
    uint16_t channels;
    uint32_t rate;
    const char* message;
  };
  for (const Case& c : {
           Case{2, 0, "its WAV header gives a sample rate of 0 Hz"},
           Case{0, 48000, "its WAV header gives 0 channels"},
           Case{2, 0xFFFFFFFFu, "sample rate of 4294967295 Hz"},
       }) {
    ASSERT_TRUE(
        WriteFile(dir_.Path("bad.wav"), WavWithFormat(c.channels, c.rate)));
    ChildResult result = RunHost({"--input=bad.wav"});
    EXPECT_EQ(1, result.exit_code) << result.err;
    EXPECT_NE(std::string::npos, result.err.find(c.message)) << result.err;
    EXPECT_EQ(std::string::npos, result.err.find("SF_INFO")) << result.err;
  }
  // The same layout with sane values reads.
  ASSERT_TRUE(WriteFile(dir_.Path("good.wav"), WavWithFormat(2, 48000)));
  ChildResult result = RunHost({"--input=good.wav"});
  EXPECT_EQ(0, result.exit_code) << result.err;
}

TEST_F(AudioHostHardeningTest, BarePluginNameIsFoundBesideTheHost) {
  ASSERT_TRUE(test::CopyFile(VORN_AUDIO_HOST, dir_.Path("vorn_audio_host")));
  ASSERT_TRUE(
      test::CopyFile(VORN_GOVERNOR_PLUGIN, dir_.Path("libgov_copy.so")));
  ASSERT_TRUE(WriteWav(dir_.Path("in.wav"), 2, 480));
  ChildResult result =
      RunHost({"--input=in.wav", "--plugin=libgov_copy.so",
               "--config={\"onset_volume\": 0.5, \"clamp_multiplier\": 0.5}"},
              dir_.Path("vorn_audio_host"));
  EXPECT_EQ(0, result.exit_code) << result.err;
}

TEST_F(AudioHostHardeningTest, BarePluginNameIsFoundInTheInstalledFolder) {
  const std::string tools = dir_.Path("libexec/vorn/tools");
  const std::string plugins = tools + "/" VORN_PLUGIN_DIR_FROM_HOST;
  ChildOptions mkdirs;
  mkdirs.argv = {"mkdir", "-p", tools, plugins};
  ASSERT_EQ(0, RunChild(mkdirs).exit_code);
  ASSERT_TRUE(test::CopyFile(VORN_AUDIO_HOST, tools + "/vorn_audio_host"));
  ASSERT_TRUE(
      test::CopyFile(VORN_DELAY_PLUGIN, plugins + "/libvorn_delay_2.0.so"));
  ASSERT_TRUE(WriteWav(dir_.Path("in.wav"), 2, 480));
  ChildResult result =
      RunHost({"--input=in.wav", "--verbose", "--plugin=libvorn_delay_2.0.so",
               "--config={\"delay_us\": [0, 1000]}"},
              tools + "/vorn_audio_host");
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_NE(std::string::npos, result.err.find("tail_frames=48")) << result.err;
}

TEST_F(AudioHostHardeningTest, MissingBarePluginNameSaysWhereItLooked) {
  ASSERT_TRUE(WriteWav(dir_.Path("in.wav"), 2, 480));
  ChildResult result =
      RunHost({"--input=in.wav", "--plugin=libvorn_nothing_2.0.so"});
  EXPECT_EQ(1, result.exit_code);
  EXPECT_NE(std::string::npos,
            result.err.find("cannot find plug-in libvorn_nothing_2.0.so "
                            "beside this program"))
      << result.err;
  EXPECT_NE(std::string::npos, result.err.find("give its path")) << result.err;
}

}  // namespace
}  // namespace vorn
