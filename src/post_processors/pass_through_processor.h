// PassThroughProcessor: what a plug-in factory returns when its configuration
// violates the contract (not a JSON dictionary, a required key missing or of
// the wrong kind, bad values, no channels). It leaves every sample untouched,
// the way hosts skip an effect that failed to instantiate, while keeping the
// status record honest so a host that reads output_buffer finds its frames.
//
//   auto p = std::make_unique<PassThroughProcessor>(2);
//   p->Configure({48000});        // true; sample_rate 48000
//   p->Process(block, 256, 1.0f); // output_buffer == block, block unchanged

#ifndef VORN_POST_PROCESSORS_PASS_THROUGH_PROCESSOR_H_
#define VORN_POST_PROCESSORS_PASS_THROUGH_PROCESSOR_H_

#include <cstdint>
#include <string>

#include "post_processors/audio_post_processor2.h"

namespace post_processors {

class PassThroughProcessor final : public AudioPostProcessor2 {
 public:
  // `channels` is recorded in the status as given, even when below 1.
  explicit PassThroughProcessor(int32_t channels);
  ~PassThroughProcessor() override;

  // Stores a positive rate and returns true; logs an ERROR and returns false,
  // with nothing changed, for a rate of 0 or less.
  bool Configure(const ProcessorConfig& config) override;
  ProcessorStatus* Status() override;
  // Records `data` in output_buffer; the samples are never touched.
  void Process(float* data, int32_t frames, float volume) override;
  // Returns false; nothing changes.
  bool Reconfigure(const std::string& config_text) override;
  void Notification1(int32_t value) override;
  void Notification2(int32_t value) override;

 private:
  ProcessorStatus status_;
};

}  // namespace post_processors

#endif  // VORN_POST_PROCESSORS_PASS_THROUGH_PROCESSOR_H_
