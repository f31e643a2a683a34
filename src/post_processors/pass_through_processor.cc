#include "post_processors/pass_through_processor.h"

#include "post_processors/plugin_config.h"

namespace post_processors {

PassThroughProcessor::PassThroughProcessor(int32_t channels)
    : status_{-1, channels, 0, 0, nullptr} {}

PassThroughProcessor::~PassThroughProcessor() = default;

bool PassThroughProcessor::Configure(const ProcessorConfig& config) {
  if (!AcceptSampleRate(config.sample_rate, "Pass-through")) return false;
  status_.sample_rate = config.sample_rate;
  return true;
}

ProcessorStatus* PassThroughProcessor::Status() { return &status_; }

void PassThroughProcessor::Process(float* data, int32_t frames, float volume) {
  status_.output_buffer = data;
}

bool PassThroughProcessor::Reconfigure(const std::string& config_text) {
  return false;
}

void PassThroughProcessor::Notification1(int32_t value) {}

void PassThroughProcessor::Notification2(int32_t value) {}

}  // namespace post_processors
