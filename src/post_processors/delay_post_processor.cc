#include "post_processors/delay_post_processor.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "base/logging/logging.h"
#include "post_processors/pass_through_processor.h"
#include "post_processors/plugin_config.h"
#include "post_processors/sample_buffer.h"

namespace post_processors {

namespace {

constexpr double kMicrosecondsPerSecond = 1000000.0;

}  // namespace

DelayPostProcessor::DelayPostProcessor(std::vector<double> delays_us)
    : status_{-1, static_cast<int32_t>(delays_us.size()), 0, 0, nullptr},
      delays_us_(std::move(delays_us)),
      delay_set_(static_cast<int32_t>(delays_us_.size())) {}

DelayPostProcessor::~DelayPostProcessor() = default;

ProcessorStatus* DelayPostProcessor::Status() { return &status_; }

// Every Configure, even at an unchanged rate, drops the samples in flight
// and restarts the delayed channels with silence.
bool DelayPostProcessor::Configure(const ProcessorConfig& config) {
  const int32_t rate = config.sample_rate;
  if (!AcceptSampleRate(rate, "Delay")) return false;
  status_.sample_rate = rate;
  const int32_t channels = status_.output_channels;
  std::vector<int32_t> frames(static_cast<size_t>(channels), 0);
  for (int32_t i = 0; i < channels; ++i) {
    // Delays are finite and not negative (checked at creation), so only the
    // upper end of the frame count can be out of range. The INFO line below
    // sits at line 55, which log readers match on; keep it there when
    // editing this function.
    const double quotient = delays_us_[static_cast<size_t>(i)] *
                            static_cast<double>(rate) / kMicrosecondsPerSecond;
    const double rounded = std::round(quotient);  // halves away from zero
    if (!(rounded <= std::numeric_limits<int32_t>::max())) {
      LOG(ERROR) << "Delay disabled, audio passes unchanged: channel " << i
                 << " delay of " << delays_us_[static_cast<size_t>(i)]
                 << " us at " << rate << " Hz is too many frames";
      Bypass();
      return false;
    }
    const int32_t delay = static_cast<int32_t>(rounded);
    frames[static_cast<size_t>(i)] = delay;
    LOG(INFO) << "ch " << i << " delay: " << delay << "frames";
  }

  if (!delay_set_.SetDelays(frames)) {
    LOG(ERROR) << "Delay disabled, audio passes unchanged: cannot allocate "
                  "the delay lines";
    Bypass();
    return false;
  }
  status_.latency_frames = *std::min_element(frames.begin(), frames.end());
  status_.tail_frames = *std::max_element(frames.begin(), frames.end());
  return true;
}

std::unique_ptr<AudioPostProcessor2> DelayPostProcessor::Create(
    const std::string& config, int32_t channels) {
  std::string error;
  std::vector<double> delays;
  std::unique_ptr<base::JsonValue> dict = ParseConfigDictionary(config, &error);
  const base::JsonValue* list =
      dict ? dict->FindKeyOfType("delay_us", base::JsonValue::Type::LIST)
           : nullptr;
  if (dict && channels < 1) {
    error = "the channel count is below 1: " + std::to_string(channels);
  } else if (dict && list == nullptr) {
    error = "\"delay_us\" is missing or not a list";
  } else if (dict && list->ListSize() != static_cast<size_t>(channels)) {
    error = "\"delay_us\" has " + std::to_string(list->ListSize()) +
            " entries for " + std::to_string(channels) + " channels";
  }
  if (error.empty()) {
    delays.reserve(list->ListSize());
    for (const base::JsonValue& element : list->GetList()) {
      double delay_us = 0.0;
      if (!element.GetAsDouble(&delay_us)) {
        error = "\"delay_us\" entry " + std::to_string(delays.size()) +
                " is not a number";
        break;
      }
      if (!(delay_us >= 0.0) || !std::isfinite(delay_us)) {
        error = "\"delay_us\" entry " + std::to_string(delays.size()) +
                " is negative or not finite";
        break;
      }
      delays.push_back(delay_us);
    }
  }
  if (!error.empty()) {
    LOG(ERROR) << "Delay disabled, audio passes unchanged: " << error;
    return std::make_unique<PassThroughProcessor>(channels);
  }
  return std::make_unique<DelayPostProcessor>(std::move(delays));
}

void DelayPostProcessor::Process(float* data, int32_t frames, float volume) {
  status_.output_buffer = data;
  if (BlockSampleCount(data, frames, status_.output_channels) == 0) return;
  delay_set_.Process(data, static_cast<size_t>(frames));
}

bool DelayPostProcessor::Reconfigure(const std::string& config_text) {
  return false;
}

void DelayPostProcessor::Notification1(int32_t value) {}

void DelayPostProcessor::Notification2(int32_t value) {}

bool DelayPostProcessor::FramesFor(double delay_us, int32_t* frames) const {
  if (status_.sample_rate <= 0 || !(delay_us >= 0.0) ||
      !std::isfinite(delay_us)) {
    return false;
  }
  const double rounded =
      std::round(delay_us * static_cast<double>(status_.sample_rate) /
                 kMicrosecondsPerSecond);
  if (!(rounded <= std::numeric_limits<int32_t>::max())) return false;
  *frames = static_cast<int32_t>(rounded);
  return true;
}

bool DelayPostProcessor::ReserveDelayUs(double max_delay_us) {
  int32_t frames = 0;
  return FramesFor(max_delay_us, &frames) && delay_set_.Reserve(frames);
}

bool DelayPostProcessor::SetChannelDelayUs(int32_t channel, double delay_us) {
  int32_t frames = 0;
  if (channel < 0 || channel >= status_.output_channels ||
      !FramesFor(delay_us, &frames) ||
      !delay_set_.SetChannelDelay(channel, frames)) {
    return false;
  }
  delays_us_[static_cast<size_t>(channel)] = delay_us;
  int32_t shortest = delay_set_.delay_frames(0);
  int32_t longest = shortest;
  for (int32_t c = 1; c < status_.output_channels; ++c) {
    shortest = std::min(shortest, delay_set_.delay_frames(c));
    longest = std::max(longest, delay_set_.delay_frames(c));
  }
  status_.latency_frames = shortest;
  status_.tail_frames = longest;
  return true;
}

void DelayPostProcessor::Bypass() {
  delay_set_.SetDelays(
      std::vector<int32_t>(static_cast<size_t>(status_.output_channels), 0));
  status_.latency_frames = 0;
  status_.tail_frames = 0;
}

MultiChannelDelay::MultiChannelDelay(int32_t channels)
    : channels_(channels), rings_(static_cast<size_t>(channels)) {}

MultiChannelDelay::~MultiChannelDelay() = default;

bool MultiChannelDelay::SetDelays(const std::vector<int32_t>& delay_frames) {
  if (delay_frames.size() != rings_.size()) return false;
  // Build every ring first so that a failed allocation changes nothing.
  std::vector<ChannelRing> fresh(rings_.size());
  for (size_t c = 0; c < fresh.size(); ++c) {
    const int32_t length = delay_frames[c];
    if (length < 0) return false;
    if (length == 0) continue;
    // calloc checks the size product and gives all-zero bits, which is 0.0f.
    float* samples = static_cast<float*>(
        std::calloc(static_cast<size_t>(length), sizeof(float)));
    if (samples == nullptr) return false;
    fresh[c].samples.reset(samples);
    fresh[c].length = length;
    fresh[c].capacity = length;
  }
  rings_.swap(fresh);
  return true;
}

bool MultiChannelDelay::Reserve(int32_t max_frames) {
  if (max_frames < 0) return false;
  // Allocate every larger ring first so that a failure changes nothing.
  std::vector<std::unique_ptr<float, FreeDeleter>> larger(rings_.size());
  for (size_t c = 0; c < rings_.size(); ++c) {
    if (rings_[c].capacity >= max_frames) continue;
    larger[c].reset(static_cast<float*>(
        std::calloc(static_cast<size_t>(max_frames), sizeof(float))));
    if (!larger[c]) return false;
  }
  for (size_t c = 0; c < rings_.size(); ++c) {
    if (!larger[c]) continue;
    ChannelRing& ring = rings_[c];
    // The samples in flight move over oldest first, so the position
    // becomes 0 and the output goes on unchanged.
    if (ring.length > 0) {
      const float* old = ring.samples.get();
      float* fresh = larger[c].get();
      std::copy(old + ring.position, old + ring.length, fresh);
      std::copy(old, old + ring.position,
                fresh + (ring.length - ring.position));
    }
    ring.samples = std::move(larger[c]);
    ring.capacity = max_frames;
    ring.position = 0;
  }
  return true;
}

bool MultiChannelDelay::SetChannelDelay(int32_t channel, int32_t frames) {
  if (channel < 0 || channel >= channels_) return false;
  ChannelRing& ring = rings_[static_cast<size_t>(channel)];
  if (frames < 0 || frames > ring.capacity) return false;
  if (frames == ring.length) return true;
  std::fill(ring.samples.get(), ring.samples.get() + frames, 0.0f);
  ring.length = frames;
  ring.position = 0;
  return true;
}

int32_t MultiChannelDelay::capacity_frames(int32_t channel) const {
  return rings_[static_cast<size_t>(channel)].capacity;
}

int32_t MultiChannelDelay::delay_frames(int32_t channel) const {
  return rings_[static_cast<size_t>(channel)].length;
}

void MultiChannelDelay::Process(float* data, size_t frames) {
  const size_t stride = static_cast<size_t>(channels_);
  for (size_t c = 0; c < rings_.size(); ++c) {
    ChannelRing& ring = rings_[c];
    if (ring.length == 0) continue;
    float* samples = ring.samples.get();
    int32_t position = ring.position;
    float* sample = data + c;
    // Runs up to the ring's end, so the wrap-around test leaves the inner
    // loop; the sample order is the same as one frame at a time.
    size_t remaining = frames;
    while (remaining > 0) {
      const size_t run =
          std::min(remaining, static_cast<size_t>(ring.length - position));
      float* slot = samples + position;
      for (size_t j = 0; j < run; ++j, sample += stride) {
        const float out = slot[j];
        slot[j] = *sample;
        *sample = out;
      }
      remaining -= run;
      position += static_cast<int32_t>(run);
      if (position == ring.length) position = 0;
    }
    ring.position = position;
  }
}

}  // namespace post_processors
