// run() of every vorn.lv2 plug-in allocates nothing: this program replaces
// the global allocation functions with counting ones (the plug-in library
// resolves operator new to them too) and runs each plug-in through many
// blocks with its controls changing.

#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/post_processors/lv2/lv2_test_host.h"
#include "tests/support/allocation_counter.h"

namespace vorn {
namespace test {
namespace {

constexpr uint32_t kBlock = 256;

TEST(Lv2AllocationTest, CounterSeesThePluginsAllocations) {
  Lv2TestHost host(VORN_LV2_BUNDLE_DIR);
  const size_t before = vorn::test::AllocationCount();
  auto plugin = host.Instantiate("urn:vorn:lv2:governor-stereo", 48000, kBlock);
  ASSERT_NE(nullptr, plugin);
  EXPECT_LT(before, vorn::test::AllocationCount());
}

// Runs `uri` for 4000 blocks (about 21 s at 48 kHz: meter reports
// included), calling `change(i)` before block i, and returns the
// allocations counted inside run() alone.
template <typename Change>
size_t AllocationsInRun(const std::string& uri, int channels, Change change) {
  Lv2TestHost host(VORN_LV2_BUNDLE_DIR);
  auto plugin = host.Instantiate(uri, 48000, kBlock);
  EXPECT_NE(nullptr, plugin) << uri;
  if (!plugin) return 1;
  std::vector<float> signal(kBlock * channels);
  for (size_t i = 0; i < signal.size(); ++i) {
    signal[i] = 0.5f * static_cast<float>((i % 97) / 97.0 - 0.5);
  }
  plugin->Run(signal, kBlock);  // fills the input buffers
  size_t counted = 0;
  for (int i = 0; i < 4000; ++i) {
    change(plugin.get(), i);
    const uint32_t frames = i % 5 == 2 ? 100 : kBlock;
    const size_t before = vorn::test::AllocationCount();
    plugin->RunAsIs(i % 17 == 3 ? 0 : frames);
    counted += vorn::test::AllocationCount() - before;
  }
  return counted;
}

std::string Suffixed(const std::string& symbol, int channels, int c) {
  return channels == 1 ? symbol : symbol + "_" + std::to_string(c);
}

TEST(Lv2AllocationTest, RunAllocatesNothing) {
  for (int channels : {1, 2}) {
    const std::string suffix = channels == 1 ? "-mono" : "-stereo";
    EXPECT_EQ(0u, AllocationsInRun(
                      "urn:vorn:lv2:governor" + suffix, channels,
                      [](Lv2TestInstance* p, int i) {
                        p->SetControl("volume", (i / 20) % 2 ? 0.9f : 0.3f);
                        p->SetControl("onset_volume",
                                      (i / 100) % 2 ? 0.5f : 0.8f);
                        p->SetControl("clamp_multiplier",
                                      (i / 150) % 2 ? 0.25f : 0.5f);
                      }))
        << suffix;
    EXPECT_EQ(0u, AllocationsInRun(
                      "urn:vorn:lv2:delay" + suffix, channels,
                      [channels](Lv2TestInstance* p, int i) {
                        for (int c = 0; c < channels; ++c) {
                          p->SetControl(
                              Suffixed("delay_us", channels, c),
                              static_cast<float>((i / 50 + c) % 7) * 150000.0f);
                        }
                      }))
        << suffix;
    EXPECT_EQ(0u, AllocationsInRun("urn:vorn:lv2:sound-meter" + suffix,
                                   channels, [](Lv2TestInstance*, int) {}))
        << suffix;
  }
}

}  // namespace
}  // namespace test
}  // namespace vorn
