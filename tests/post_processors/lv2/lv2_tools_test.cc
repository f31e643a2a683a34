// End-to-end, as a new user would try it: the bundle, header and pkg-config
// file installed with `cmake --install` into a temporary prefix, then the
// standard LV2 tools on it (lv2_validate, lv2ls, lv2info, lv2apply), a small
// host built against the installed header, and lv2apply's output compared
// bit for bit with vorn_audio_host's on WAV files made here. Where GStreamer
// is installed (scripts/setup-deps --gst), the same through its LV2 bridge.

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/support/child_process.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace vorn {
namespace test {
namespace {

using testing::HasSubstr;

constexpr int kRate = 48000;
constexpr int kFrames = kRate * 3 / 2 + 123;  // the meter reports once

const char* const kUris[] = {
    "urn:vorn:lv2:delay-mono",       "urn:vorn:lv2:delay-stereo",
    "urn:vorn:lv2:governor-mono",    "urn:vorn:lv2:governor-stereo",
    "urn:vorn:lv2:sound-meter-mono", "urn:vorn:lv2:sound-meter-stereo",
};

// Runs `argv` with `env` on top of the test's environment.
ChildResult RunTool(
    const std::vector<std::string>& argv,
    const std::vector<std::pair<std::string, std::string>>& env = {}) {
  ChildOptions options;
  options.argv = argv;
  options.env = env;
  options.timeout_ms = 60000;
  ChildResult result = RunChild(options);
  EXPECT_TRUE(result.started) << argv[0];
  return result;
}

// Writes a float WAV: channel c of frame j is a sine of 330 (c + 1) Hz at
// amplitude 0.6, with a step to 0.9 in the second half.
bool WriteWav(const std::string& path, int channels) {
  SF_INFO info = {};
  info.samplerate = kRate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return false;
  std::vector<float> data(static_cast<size_t>(kFrames) * channels);
  for (int j = 0; j < kFrames; ++j) {
    const float amplitude = j < kFrames / 2 ? 0.6f : 0.9f;
    for (int c = 0; c < channels; ++c) {
      data[static_cast<size_t>(j) * channels + c] =
          amplitude * static_cast<float>(
                          std::sin(2.0 * M_PI * 330.0 * (c + 1) * j / kRate));
    }
  }
  const bool ok = sf_writef_float(file, data.data(), kFrames) == kFrames;
  sf_close(file);
  return ok;
}

// The samples of a sound file as floats, interleaved; empty when unreadable.
std::vector<float> ReadSamples(const std::string& path, int* channels) {
  SF_INFO info = {};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return {};
  std::vector<float> data(static_cast<size_t>(info.frames) * info.channels);
  sf_readf_float(file, data.data(), info.frames);
  sf_close(file);
  if (channels != nullptr) *channels = info.channels;
  return data;
}

testing::AssertionResult SameBits(const std::vector<float>& a,
                                  const std::vector<float>& b) {
  if (a.empty() || a.size() != b.size()) {
    return testing::AssertionFailure()
           << "sizes " << a.size() << " and " << b.size();
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) {
      return testing::AssertionFailure()
             << "sample " << i << ": " << a[i] << " against " << b[i];
    }
  }
  return testing::AssertionSuccess();
}

class Lv2ToolsTest : public testing::Test {
 protected:
  // One installation for the whole suite: components lv2 and runtime.
  static void SetUpTestSuite() {
    prefix_ = std::make_unique<ScopedTempDir>();
    for (const char* component : {"lv2", "runtime"}) {
      const ChildResult r =
          RunTool({VORN_CMAKE, "--install", VORN_BUILD_DIR, "--component",
                   component, "--prefix", prefix_->path()});
      ASSERT_EQ(0, r.exit_code) << r.out << r.err;
    }
    // GStreamer's tools, LV2 bridge and WAV elements (setup-deps --gst).
    gst_ = !VORN_SANITIZED &&
           RunTool({"gst-inspect-1.0", "lv2"}, GstEnv()).exit_code == 0 &&
           RunTool({"gst-inspect-1.0", "wavenc"}, GstEnv()).exit_code == 0;
  }
  static void TearDownTestSuite() { prefix_.reset(); }

  static std::string Installed(const std::string& relative) {
    return prefix_->path() + "/" + relative;
  }
  static std::string Lv2Path() { return Installed("lib/lv2"); }
  static std::string PkgConfigPath() {
    return Installed(std::string(VORN_INSTALL_LIBDIR) + "/pkgconfig");
  }

  bool SkipUnderSanitizers() {
#if VORN_SANITIZED
    // The system's lv2apply and a plain host cannot load a library built
    // with the sanitizers; lv2_host_test covers the library there.
    return true;
#else
    return false;
#endif
  }

  // lv2apply over `input` with `controls` ("symbol", "value" pairs);
  // returns the output's samples.
  std::vector<float> Lv2Apply(const std::string& uri, const std::string& input,
                              const std::vector<std::string>& controls) {
    const std::string output = dir_.Path("lv2apply_out.wav");
    std::vector<std::string> argv = {"lv2apply", "-i", input, "-o", output};
    for (size_t i = 0; i + 1 < controls.size(); i += 2) {
      argv.insert(argv.end(), {"-c", controls[i], controls[i + 1]});
    }
    argv.push_back(uri);
    const ChildResult r = RunTool(argv, {{"LV2_PATH", Lv2Path()}});
    EXPECT_EQ(0, r.exit_code) << r.err;
    return ReadSamples(output, nullptr);
  }

  // vorn_audio_host over `input` with one plug-in, no tail appended.
  std::vector<float> AudioHost(const std::string& plugin,
                               const std::string& config,
                               const std::string& input, float volume) {
    const std::string output = dir_.Path("host_out.wav");
    const ChildResult r = RunTool(
        WithEmulator({VORN_AUDIO_HOST, "--input=" + input, "--output=" + output,
                      "--no-tail", "--volume=" + std::to_string(volume),
                      "--plugin=" + plugin, "--config=" + config}));
    EXPECT_EQ(0, r.exit_code) << r.err;
    return ReadSamples(output, nullptr);
  }

  // GStreamer's environment: the installed bundle, and a registry of the
  // suite's own, so that the user's cache is neither used nor changed.
  static std::vector<std::pair<std::string, std::string>> GstEnv() {
    return {{"LV2_PATH", Lv2Path()},
            {"GST_REGISTRY", Installed("gst-registry.bin")}};
  }

  // The bridge names elements after the URI, properties after the symbol.
  static std::string GstName(std::string name) {
    std::replace(name.begin(), name.end(), ':', '-');
    std::replace(name.begin(), name.end(), '_', '-');
    return name;
  }

  // Lv2Apply's run in gst-launch-1.0: the element between WAV parser and
  // encoder, the controls as its properties.
  std::vector<float> GstLaunch(const std::string& uri, const std::string& input,
                               const std::vector<std::string>& controls) {
    const std::string output = dir_.Path("gst_out.wav");
    std::vector<std::string> argv = {
        "gst-launch-1.0", "-q", "filesrc",   "location=" + input, "!",
        "wavparse",       "!",  GstName(uri)};
    for (size_t i = 0; i + 1 < controls.size(); i += 2) {
      argv.push_back(GstName(controls[i]) + "=" + controls[i + 1]);
    }
    argv.insert(argv.end(),
                {"!", "wavenc", "!", "filesink", "location=" + output});
    const ChildResult r = RunTool(argv, GstEnv());
    EXPECT_EQ(0, r.exit_code) << r.out << r.err;
    return ReadSamples(output, nullptr);
  }

  // Lv2Apply's output after checking it, and GstLaunch's where GStreamer is
  // installed, bit for bit against vorn_audio_host's `host`.
  std::vector<float> ToolsMatching(const std::vector<float>& host,
                                   const std::string& uri,
                                   const std::string& input,
                                   const std::vector<std::string>& controls) {
    const std::vector<float> lv2 = Lv2Apply(uri, input, controls);
    EXPECT_TRUE(SameBits(host, lv2)) << uri << " through lv2apply";
    if (gst_) {
      EXPECT_TRUE(SameBits(host, GstLaunch(uri, input, controls))) << uri;
    }
    return lv2;
  }

  static std::unique_ptr<ScopedTempDir> prefix_;  // the installation
  static bool gst_;  // whether the cases through GStreamer run
  ScopedTempDir dir_;
};

std::unique_ptr<ScopedTempDir> Lv2ToolsTest::prefix_;
bool Lv2ToolsTest::gst_ = false;

TEST_F(Lv2ToolsTest, InstallsTheBundleHeaderAndPkgConfigFile) {
  for (const char* file :
       {"lib/lv2/vorn.lv2/manifest.ttl", "lib/lv2/vorn.lv2/vorn.ttl",
        "lib/lv2/vorn.lv2/vorn.so", "include/vorn/audio_post_processor2.h"}) {
    EXPECT_FALSE(ReadFile(Installed(file)).empty()) << file;
  }
  EXPECT_THAT(ReadFile(PkgConfigPath() + "/vorn-post-processors.pc"),
              HasSubstr("Name: vorn-post-processors"));
  // The library exports lv2_descriptor and nothing else.
  const ChildResult nm = RunTool(
      {"nm", "-D", "--defined-only", Installed("lib/lv2/vorn.lv2/vorn.so")});
  EXPECT_THAT(nm.out, testing::MatchesRegex("[0-9a-f]+ T lv2_descriptor\n"));
}

TEST_F(Lv2ToolsTest, Lv2ValidateAcceptsTheBundle) {
  const ChildResult r =
      RunTool({"lv2_validate", Installed("lib/lv2/vorn.lv2/manifest.ttl"),
               Installed("lib/lv2/vorn.lv2/vorn.ttl")});
  EXPECT_EQ(0, r.exit_code) << r.out << r.err;
  EXPECT_THAT(r.out + r.err, HasSubstr("Found 0 errors"));
}

TEST_F(Lv2ToolsTest, Lv2lsListsTheSixPlugins) {
  const ChildResult r = RunTool({"lv2ls"}, {{"LV2_PATH", Lv2Path()}});
  ASSERT_EQ(0, r.exit_code) << r.err;
  std::string expected;
  for (const char* uri : kUris) expected += std::string(uri) + "\n";
  EXPECT_EQ(expected, r.out);
}

// Also GStreamer's elements: one pad each way with the plug-in's channel
// count, the controls as properties.
TEST_F(Lv2ToolsTest, Lv2infoAndGstInspectShowThePorts) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> ports = {
      {"urn:vorn:lv2:governor-stereo",
       {"in_0", "in_1", "out_0", "out_1", "onset_volume", "clamp_multiplier",
        "volume"}},
      {"urn:vorn:lv2:governor-mono",
       {"in", "out", "onset_volume", "clamp_multiplier", "volume"}},
      {"urn:vorn:lv2:delay-stereo",
       {"in_0", "in_1", "out_0", "out_1", "delay_us_0", "delay_us_1",
        "latency"}},
      {"urn:vorn:lv2:delay-mono", {"in", "out", "delay_us", "latency"}},
      {"urn:vorn:lv2:sound-meter-stereo",
       {"in_0", "in_1", "out_0", "out_1", "power_db_0", "power_db_1", "peak_0",
        "peak_1"}},
      {"urn:vorn:lv2:sound-meter-mono", {"in", "out", "power_db", "peak"}},
  };
  for (const auto& [uri, symbols] : ports) {
    const ChildResult r = RunTool({"lv2info", uri}, {{"LV2_PATH", Lv2Path()}});
    ASSERT_EQ(0, r.exit_code) << uri << r.err;
    for (size_t i = 0; i < symbols.size(); ++i) {
      EXPECT_THAT(r.out,
                  HasSubstr("Port " + std::to_string(i) + ":\n\t\tType:"))
          << uri;
      EXPECT_THAT(r.out, HasSubstr("Symbol:      " + symbols[i] + "\n")) << uri;
    }
    const bool stereo = symbols[0] == "in_0";
    if (stereo) {  // a stereo group each way, left then right, in port order
      const std::string is = "\n\t\tDesignation: [^\n]*#";
      EXPECT_THAT(r.out, testing::ContainsRegex(uri + "#in" + is + "left\n.*" +
                                                uri + "#in" + is + "right\n.*" +
                                                uri + "#out" + is + "left\n.*" +
                                                uri + "#out" + is + "right\n"))
          << uri;
    }
    if (gst_) {
      const ChildResult gst =
          RunTool({"gst-inspect-1.0", GstName(uri)}, GstEnv());
      ASSERT_EQ(0, gst.exit_code) << uri << gst.err;
      EXPECT_THAT(gst.out,
                  HasSubstr(stereo ? "channels: 2\n" : "channels: 1\n"))
          << uri;
      for (size_t i = stereo ? 4 : 2; i < symbols.size(); ++i) {
        EXPECT_THAT(gst.out, HasSubstr("\n  " + GstName(symbols[i]) + " "))
            << uri;
      }
    }
    EXPECT_THAT(r.out, testing::Not(HasSubstr(
                           "Port " + std::to_string(symbols.size()) + ":")));
  }
  const ChildResult delay = RunTool({"lv2info", "urn:vorn:lv2:delay-stereo"},
                                    {{"LV2_PATH", Lv2Path()}});
  EXPECT_THAT(delay.out,
              HasSubstr("Has latency:       yes, reported by port 6"));
  EXPECT_THAT(delay.out, HasSubstr("Maximum:     1000000.000000"));
}

TEST_F(Lv2ToolsTest, HostBuiltAgainstTheInstalledHeaderRunsTheGovernor) {
  const std::vector<std::pair<std::string, std::string>> env = {
      {"PKG_CONFIG_PATH", PkgConfigPath()}};
  const ChildResult cflags =
      RunTool({"pkg-config", "--cflags", "vorn-post-processors"}, env);
  ASSERT_EQ(0, cflags.exit_code) << cflags.err;
  const ChildResult governor = RunTool(
      {"pkg-config", "--variable=governor", "vorn-post-processors"}, env);
  ASSERT_EQ(0, governor.exit_code) << governor.err;
  const std::string governor_path =
      governor.out.substr(0, governor.out.find_last_not_of("\n") + 1);
  EXPECT_FALSE(ReadFile(governor_path).empty()) << governor_path;

  ASSERT_TRUE(WriteFile(dir_.Path("host.cc"), R"(
#include <dlfcn.h>
#include <cstdio>
#include <vorn/audio_post_processor2.h>
int main(int argc, char** argv) {
  void* lib = dlopen(argv[1], RTLD_NOW);
  if (!lib) return 2;
  auto create = reinterpret_cast<decltype(&AudioPostProcessor2Shlib_Create)>(
      dlsym(lib, "AudioPostProcessor2Shlib_Create"));
  AudioPostProcessor2* p =
      create(R"j({"onset_volume": 0.8, "clamp_multiplier": 0.5})j", 2);
  p->Configure(ProcessorConfig{48000});
  float block[4] = {0.5f, -1.0f, 0.25f, 1.0f};
  p->Process(block, 2, 0.9f);
  std::printf("%g %g %g %g\n", block[0], block[1], block[2], block[3]);
  delete p;
  return 0;
}
)"));
  std::vector<std::string> compile = {VORN_CXX, "-std=c++17"};
  std::string flag;
  for (char ch : cflags.out + " ") {
    if (ch == ' ' || ch == '\n') {
      if (!flag.empty()) compile.push_back(flag);
      flag.clear();
    } else {
      flag += ch;
    }
  }
  compile.insert(compile.end(),
                 {dir_.Path("host.cc"), "-ldl", "-o", dir_.Path("host")});
  const ChildResult built = RunTool(compile);
  ASSERT_EQ(0, built.exit_code) << built.err;
  if (SkipUnderSanitizers()) GTEST_SKIP() << "plain host, sanitized plug-in";
  const ChildResult ran = RunTool({dir_.Path("host"), governor_path});
  EXPECT_EQ(0, ran.exit_code) << ran.err;
  EXPECT_EQ("0.25 -0.5 0.125 0.5\n", ran.out);
}

TEST_F(Lv2ToolsTest, GovernorEqualsTheAudioHostAtAndBelowOnset) {
  if (SkipUnderSanitizers()) GTEST_SKIP() << "lv2apply cannot load it";
  for (int channels : {1, 2}) {
    const std::string input = dir_.Path("in.wav");
    ASSERT_TRUE(WriteWav(input, channels));
    const std::vector<float> original = ReadSamples(input, nullptr);
    const std::string uri = channels == 1 ? "urn:vorn:lv2:governor-mono"
                                          : "urn:vorn:lv2:governor-stereo";
    for (float volume : {0.8f, 0.5f}) {
      SCOPED_TRACE(volume);
      const std::vector<float> host = AudioHost(
          VORN_GOVERNOR_PLUGIN,
          R"({"onset_volume": 0.8, "clamp_multiplier": 0.5})", input, volume);
      const std::vector<float> lv2 =
          ToolsMatching(host, uri, input,
                        {"onset_volume", "0.8", "clamp_multiplier", "0.5",
                         "volume", volume == 0.8f ? "0.8" : "0.5"});
      // At the onset the multiplier applies; below it nothing changes.
      if (volume == 0.8f) {
        EXPECT_EQ(original[7] * 0.5f, lv2[7]);
      } else {
        EXPECT_TRUE(SameBits(original, lv2));
      }
    }
  }
}

TEST_F(Lv2ToolsTest, DelayEqualsTheAudioHostWithTwoDelays) {
  if (SkipUnderSanitizers()) GTEST_SKIP() << "lv2apply cannot load it";
  const std::string input = dir_.Path("in.wav");
  ASSERT_TRUE(WriteWav(input, 2));
  const std::vector<float> lv2 =
      ToolsMatching(AudioHost(VORN_DELAY_PLUGIN,
                              R"({"delay_us": [1000, 2500]})", input, 1.0f),
                    "urn:vorn:lv2:delay-stereo", input,
                    {"delay_us_0", "1000", "delay_us_1", "2500"});
  // 48 and 120 frames of silence, then the input.
  const std::vector<float> original = ReadSamples(input, nullptr);
  EXPECT_EQ(0.0f, lv2[2 * 47]);
  EXPECT_EQ(original[2 * 1], lv2[2 * 49]);
  EXPECT_EQ(0.0f, lv2[2 * 119 + 1]);
  EXPECT_EQ(original[2 * 1 + 1], lv2[2 * 121 + 1]);

  // The mono delay with one of them.
  ASSERT_TRUE(WriteWav(input, 1));
  ToolsMatching(
      AudioHost(VORN_DELAY_PLUGIN, R"({"delay_us": [2500]})", input, 1.0f),
      "urn:vorn:lv2:delay-mono", input, {"delay_us", "2500"});
}

TEST_F(Lv2ToolsTest, MeterLeavesTheAudioUntouched) {
  if (SkipUnderSanitizers()) GTEST_SKIP() << "lv2apply cannot load it";
  for (int channels : {1, 2}) {
    const std::string input = dir_.Path("in.wav");
    ASSERT_TRUE(WriteWav(input, channels));
    const std::string uri = channels == 1 ? "urn:vorn:lv2:sound-meter-mono"
                                          : "urn:vorn:lv2:sound-meter-stereo";
    const std::vector<float> lv2 = ToolsMatching(
        AudioHost(VORN_SOUND_METER_PLUGIN, "{}", input, 1.0f), uri, input, {});
    EXPECT_TRUE(SameBits(ReadSamples(input, nullptr), lv2)) << uri;
  }
}

TEST_F(Lv2ToolsTest, GstSoundMeterReadingsAreReadBackAfterTheRun) {
  if (!gst_ || VORN_GST_LAUNCH[0] == '\0') {
    GTEST_SKIP() << "GStreamer, its LV2 bridge, WAV elements or headers are "
                    "missing (scripts/setup-deps --gst installs them)";
  }
  // The report covers about the first second: 0.75 s of sines at 0.6, then
  // 0.9; peaks of 0.9 and a mean power of -6.27 dB.
  const std::string input = dir_.Path("in.wav");
  ASSERT_TRUE(WriteWav(input, 2));
  const ChildResult r = RunTool(
      {VORN_GST_LAUNCH, "filesrc", "location=" + input, "!", "wavparse", "!",
       "urn-vorn-lv2-sound-meter-stereo", "name=m", "!", "fakesink"},
      GstEnv());
  ASSERT_EQ(0, r.exit_code) << r.err;
  float power[2], peak[2];
  ASSERT_EQ(4, std::sscanf(r.out.c_str(),
                           "m.power-db-0=%f m.power-db-1=%f m.peak-0=%f "
                           "m.peak-1=%f",
                           &power[0], &power[1], &peak[0], &peak[1]))
      << r.out;
  for (int c : {0, 1}) {
    EXPECT_NEAR(0.9f, peak[c], 0.002f) << r.out;
    EXPECT_NEAR(-6.27f, power[c], 0.05f) << r.out;
  }
}

}  // namespace
}  // namespace test
}  // namespace vorn
