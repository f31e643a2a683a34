// A test plug-in that makes the host's calls visible in its output: each
// Process call writes its frame count into the first sample of the block
// (channel 0 of frame 0) and leaves every other sample alone. Reading the
// output file back then shows where every block began and how long it was.

#include <cstdint>
#include <string>

#include "post_processors/audio_post_processor2.h"

namespace {

class BlockProbe final : public AudioPostProcessor2 {
 public:
  explicit BlockProbe(int32_t channels)
      : status_{-1, channels, 0, 0, nullptr} {}

  bool Configure(const ProcessorConfig& config) override {
    status_.sample_rate = config.sample_rate;
    return true;
  }
  ProcessorStatus* Status() override { return &status_; }
  void Process(float* data, int32_t frames, float volume) override {
    status_.output_buffer = data;
    if (data != nullptr && frames > 0) data[0] = static_cast<float>(frames);
  }
  bool Reconfigure(const std::string& config_text) override { return false; }
  void Notification1(int32_t value) override {}
  void Notification2(int32_t value) override {}

 private:
  ProcessorStatus status_;
};

}  // namespace

extern "C" AudioPostProcessor2* AudioPostProcessor2Shlib_Create(
    const std::string& config, int32_t channels) {
  return new BlockProbe(channels);
}
