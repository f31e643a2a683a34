// Loads the built plug-in libraries the way the host does and drives them
// through the exported factory only.

#include <dlfcn.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "post_processors/audio_post_processor2.h"
#include "tests/support/log_line.h"
#include "tests/support/output_capture.h"

namespace {

using CreateFunction = AudioPostProcessor2* (*)(const std::string&, int32_t);

class PluginLibrary {
 public:
  // RTLD_NODELETE keeps the library's process-wide state mapped after
  // dlclose, as in a host that never unloads plug-ins.
  explicit PluginLibrary(const char* path)
      : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {}
  ~PluginLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  CreateFunction factory() const {
    return reinterpret_cast<CreateFunction>(
        dlsym(handle_, "AudioPostProcessor2Shlib_Create"));
  }
  void* Symbol(const char* name) const { return dlsym(handle_, name); }
  std::unique_ptr<AudioPostProcessor2> Create(const std::string& config,
                                              int32_t channels) const {
    return std::unique_ptr<AudioPostProcessor2>(factory()(config, channels));
  }

 private:
  void* handle_;
};

struct PluginCase {
  const char* path;
  const char* config;
};

class PluginLibraryTest : public testing::TestWithParam<PluginCase> {
 protected:
  PluginLibraryTest() : library_(GetParam().path) {}
  PluginLibrary library_;
};

TEST_P(PluginLibraryTest, ExportsTheFactory) {
  ASSERT_TRUE(library_.loaded()) << dlerror();
  EXPECT_NE(nullptr, library_.factory());
}

TEST_P(PluginLibraryTest, ExportsNothingOfTheBaseLayer) {
  ASSERT_TRUE(library_.loaded()) << dlerror();
  // Both are linked into every plug-in, but only as local symbols.
  EXPECT_EQ(nullptr, library_.Symbol("_ZN7logging22ShouldCreateLogMessageEi"));
  EXPECT_EQ(nullptr,
            library_.Symbol("_ZN4base10JsonReader11ReadToValueESt17basic_"
                            "string_viewIcSt11char_traitsIcEE"));
}

TEST_P(PluginLibraryTest, StatusRightAfterCreation) {
  ASSERT_TRUE(library_.loaded()) << dlerror();
  std::unique_ptr<AudioPostProcessor2> p =
      library_.Create(GetParam().config, 2);
  ASSERT_NE(nullptr, p);
  const ProcessorStatus* status = p->Status();
  EXPECT_EQ(-1, status->sample_rate);
  EXPECT_EQ(2, status->output_channels);
  EXPECT_EQ(0, status->latency_frames);
  EXPECT_EQ(0, status->tail_frames);
  EXPECT_EQ(nullptr, status->output_buffer);
  EXPECT_TRUE(p->Configure({44100}));
  EXPECT_EQ(44100, status->sample_rate);
  std::vector<float> block(2 * 16, 0.25f);
  p->Process(block.data(), 16, 0.1f);
  EXPECT_EQ(block.data(), status->output_buffer);
}

TEST_P(PluginLibraryTest, InvalidTextYieldsPassThrough) {
  ASSERT_TRUE(library_.loaded()) << dlerror();
  // The library logs through its own copy of the logging state, which writes
  // to this process's standard error.
  vorn::test::ScopedOutputCapture err;
  std::unique_ptr<AudioPostProcessor2> p = library_.Create("{", 2);
  EXPECT_EQ(1, vorn::test::CountLogLines(err.Finish(), "ERROR", ""));
  ASSERT_NE(nullptr, p);
  EXPECT_TRUE(p->Configure({48000}));
  std::vector<float> block = {0.1f, -0.2f, 0.3f, -0.4f};
  p->Process(block.data(), 2, 1.0f);
  EXPECT_EQ((std::vector<float>{0.1f, -0.2f, 0.3f, -0.4f}), block);
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, PluginLibraryTest,
    testing::Values(
        PluginCase{VORN_GOVERNOR_PLUGIN,
                   R"({"onset_volume": 0.5, "clamp_multiplier": 0.5})"},
        PluginCase{VORN_DELAY_PLUGIN, R"({"delay_us": [0, 100]})"},
        PluginCase{VORN_SOUND_METER_PLUGIN, R"({"name": "t"})"}));

TEST(PluginBehaviourTest, GovernorScalesAboveOnset) {
  PluginLibrary library(VORN_GOVERNOR_PLUGIN);
  ASSERT_TRUE(library.loaded()) << dlerror();
  auto p =
      library.Create(R"({"onset_volume": 0.5, "clamp_multiplier": 0.25})", 1);
  p->Configure({48000});
  std::vector<float> block(7, 1.0f);
  p->Process(block.data(), 7, 0.5f);
  for (float s : block) EXPECT_EQ(0.25f, s);
  EXPECT_FALSE(p->Reconfigure("{}"));
}

TEST(PluginBehaviourTest, DelayShiftsSecondChannel) {
  PluginLibrary library(VORN_DELAY_PLUGIN);
  ASSERT_TRUE(library.loaded()) << dlerror();
  auto p = library.Create(R"({"delay_us": [0, 62.5]})", 2);
  p->Configure({48000});
  EXPECT_EQ(3, p->Status()->tail_frames);
  std::vector<float> block = {1, 2, 3, 4, 5, 6, 7, 8};
  p->Process(block.data(), 4, 1.0f);
  EXPECT_EQ((std::vector<float>{1, 0, 3, 0, 5, 0, 7, 2}), block);
}

TEST(PluginBehaviourTest, MeterReportsOnHostStderr) {
  PluginLibrary library(VORN_SOUND_METER_PLUGIN);
  ASSERT_TRUE(library.loaded()) << dlerror();
  auto p = library.Create(R"({"name": "lib"})", 1);
  p->Configure({4});
  std::vector<float> block(4, 0.5f);
  vorn::test::ScopedOutputCapture err;
  p->Process(block.data(), 4, 1.0f);
  const std::string log = err.Finish();
  EXPECT_TRUE(vorn::test::IsOnlyLogLine(log, "INFO", "meter.cc",
                                        "Power [lib]: -6,  Peak: 0.50, "));
  EXPECT_EQ(88,
            vorn::test::ParseLogLine(log).value_or(vorn::test::LogLine()).line);
  EXPECT_TRUE(p->Reconfigure(R"({"name": "x"})"));
}

TEST(PluginBehaviourTest, TwoProcessorsOfOneLibraryAreIndependent) {
  PluginLibrary library(VORN_DELAY_PLUGIN);
  ASSERT_TRUE(library.loaded()) << dlerror();
  auto a = library.Create(R"({"delay_us": [1000]})", 1);
  auto b = library.Create(R"({"delay_us": [2000]})", 1);
  a->Configure({48000});
  b->Configure({8000});
  EXPECT_EQ(48, a->Status()->tail_frames);
  EXPECT_EQ(16, b->Status()->tail_frames);
  EXPECT_NE(a->Status(), b->Status());
}

}  // namespace
