// A small LV2 host for tests, built on lilv: loads one bundle, instantiates
// its plug-ins and runs them block by block on per-channel buffers, the way
// a desktop host does, with control ports set and read by symbol.
//
//   Lv2TestHost host(VORN_LV2_BUNDLE_DIR);
//   std::unique_ptr<Lv2TestInstance> delay =
//       host.Instantiate("urn:vorn:lv2:delay-stereo", 48000, 1024);
//   delay->SetControl("delay_us_1", 2500);
//   std::vector<float> out = delay->Run(interleaved_in, 256);
//   float latency = delay->Control("latency");

#ifndef VORN_TESTS_POST_PROCESSORS_LV2_LV2_TEST_HOST_H_
#define VORN_TESTS_POST_PROCESSORS_LV2_LV2_TEST_HOST_H_

#include <lilv/lilv.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vorn {
namespace test {

// One instantiated, activated plug-in. Its buffers are its own: one per
// audio port, sized for the longest block, and one float per control port.
class Lv2TestInstance {
 public:
  Lv2TestInstance(const LilvPlugin* plugin, LilvInstance* instance,
                  uint32_t max_frames);
  ~Lv2TestInstance();
  Lv2TestInstance(const Lv2TestInstance&) = delete;
  Lv2TestInstance& operator=(const Lv2TestInstance&) = delete;

  // Sets an input control (or overwrites an output) by symbol. A symbol the
  // plug-in lacks fails the test.
  void SetControl(const std::string& symbol, float value);
  // The current value of a control port.
  float Control(const std::string& symbol) const;

  // Runs `frames` frames (<= the instance's max_frames) of `interleaved`
  // input (channels() samples per frame) and returns the interleaved
  // output. In place when `in_place`: the input and output ports of each
  // channel share one buffer.
  std::vector<float> Run(const std::vector<float>& interleaved, uint32_t frames,
                         bool in_place = false);
  // Runs `frames` frames on the buffers as they are (for allocation checks).
  void RunAsIs(uint32_t frames);

  void Activate();
  int channels() const { return static_cast<int>(inputs_.size()); }
  LilvInstance* instance() { return instance_; }

 private:
  LilvInstance* instance_;  // owned
  uint32_t max_frames_;
  std::vector<std::vector<float>> inputs_;   // per channel, max_frames_ each
  std::vector<std::vector<float>> outputs_;  // per channel, max_frames_ each
  std::vector<uint32_t> input_ports_;        // port index per channel
  std::vector<uint32_t> output_ports_;
  std::map<std::string, uint32_t> control_index_;  // symbol -> port
  std::vector<float> controls_;                    // one per port index
};

class Lv2TestHost {
 public:
  // Loads the bundle in `bundle_dir` (and nothing else) into a new world.
  explicit Lv2TestHost(const std::string& bundle_dir);
  ~Lv2TestHost();
  Lv2TestHost(const Lv2TestHost&) = delete;
  Lv2TestHost& operator=(const Lv2TestHost&) = delete;

  // The URIs of the plug-ins the world knows.
  std::vector<std::string> PluginUris() const;

  // Instantiates and activates `uri` at `rate` with buffers of `max_frames`.
  // With `offer_max_block`, the host states max_frames as its maximum block
  // length (options and URID map features); otherwise it offers no feature.
  // Null when lilv cannot instantiate it; input controls start at their
  // defaults.
  std::unique_ptr<Lv2TestInstance> Instantiate(const std::string& uri,
                                               double rate, uint32_t max_frames,
                                               bool offer_max_block = true);

 private:
  static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri);

  LilvWorld* world_;  // owned
  std::map<std::string, LV2_URID> urids_;
  LV2_URID_Map map_;
  int32_t max_block_ = 0;  // the option's value for the latest Instantiate
};

}  // namespace test
}  // namespace vorn

#endif  // VORN_TESTS_POST_PROCESSORS_LV2_LV2_TEST_HOST_H_
