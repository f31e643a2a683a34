#include "post_processors/lv2/lv2_plugins.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "post_processors/delay_post_processor.h"
#include "post_processors/governor.h"
#include "post_processors/lv2/audio_ports.h"
#include "post_processors/meter.h"

namespace post_processors {
namespace lv2 {

const Lv2PluginType* FindLv2PluginType(const char* uri) {
  if (uri == nullptr) return nullptr;
  for (const Lv2PluginType& type : kLv2PluginTypes) {
    if (std::strcmp(type.uri, uri) == 0) return &type;
  }
  return nullptr;
}

Lv2Plugin::~Lv2Plugin() = default;

namespace {

// A control input: the host's value, or the default while unconnected.
class ControlIn {
 public:
  explicit ControlIn(float fallback) : fallback_(fallback) {}
  void Connect(void* data) { value_ = static_cast<const float*>(data); }
  float value() const { return value_ != nullptr ? *value_ : fallback_; }

 private:
  const float* value_ = nullptr;  // host-owned, may be null
  float fallback_;
};

// A control output; writes are dropped while unconnected.
class ControlOut {
 public:
  void Connect(void* data) { value_ = static_cast<float*>(data); }
  void Write(float v) {
    if (value_ != nullptr) *value_ = v;
  }

 private:
  float* value_ = nullptr;  // host-owned, may be null
};

// Whether `a` and `b` are the same control value; NaN equals NaN here, so a
// port stuck at NaN is not applied again on every block.
bool SameValue(float a, float b) {
  return std::memcmp(&a, &b, sizeof(float)) == 0;
}

// Connects audio port `port` when it is one of the 2 * channels audio ports;
// returns false for control ports.
bool ConnectAudio(AudioPorts* audio, uint32_t port, void* data) {
  const uint32_t channels = static_cast<uint32_t>(audio->channels());
  if (port < channels) {
    audio->ConnectInput(static_cast<int32_t>(port),
                        static_cast<const float*>(data));
    return true;
  }
  if (port < 2 * channels) {
    audio->ConnectOutput(static_cast<int32_t>(port - channels),
                         static_cast<float*>(data));
    return true;
  }
  return false;
}

class Lv2Governor final : public Lv2Plugin {
 public:
  Lv2Governor(int32_t channels, int32_t rate, uint32_t block_frames)
      : rate_(rate),
        audio_(channels, block_frames),
        onset_(kDefaultOnsetVolume),
        multiplier_(kDefaultClampMultiplier),
        volume_(kDefaultVolume) {
    Activate();
  }

  void ConnectPort(uint32_t port, void* data) override {
    if (ConnectAudio(&audio_, port, data)) return;
    const uint32_t control =
        port - 2 * static_cast<uint32_t>(audio_.channels());
    if (control == 0) onset_.Connect(data);
    if (control == 1) multiplier_.Connect(data);
    if (control == 2) volume_.Connect(data);
  }

  void Activate() override {
    governor_ = std::make_unique<Governor>(
        kDefaultOnsetVolume, kDefaultClampMultiplier, audio_.channels());
    governor_->Configure({rate_});
    applied_onset_ = kDefaultOnsetVolume;
    applied_multiplier_ = kDefaultClampMultiplier;
  }

  void Run(uint32_t frames) override {
    const float onset = onset_.value();
    const float multiplier = multiplier_.value();
    if (!SameValue(onset, applied_onset_) ||
        !SameValue(multiplier, applied_multiplier_)) {
      // A value the configuration would refuse (not finite) leaves the
      // governor as it was.
      governor_->SetSettings(onset, multiplier);
      applied_onset_ = onset;
      applied_multiplier_ = multiplier;
    }
    audio_.Run(governor_.get(), frames, volume_.value());
  }

 private:
  const int32_t rate_;
  AudioPorts audio_;
  ControlIn onset_;
  ControlIn multiplier_;
  ControlIn volume_;
  std::unique_ptr<Governor> governor_;  // never null
  float applied_onset_;                 // last values offered to governor_
  float applied_multiplier_;
};

class Lv2Delay final : public Lv2Plugin {
 public:
  // Call Reset before anything else; the delay lines are allocated there.
  Lv2Delay(int32_t channels, int32_t rate, uint32_t block_frames)
      : rate_(rate),
        audio_(channels, block_frames),
        delay_us_(static_cast<size_t>(channels), ControlIn(0.0f)),
        applied_us_(static_cast<size_t>(channels), 0.0f) {}

  // A fresh delay of 0 frames on every channel with room for the longest
  // delay the ports take. False, with the previous delay kept, when the
  // room cannot be allocated.
  bool Reset() {
    const size_t channels = delay_us_.size();
    auto delay = std::make_unique<DelayPostProcessor>(
        std::vector<double>(channels, 0.0));
    if (!delay->Configure({rate_}) || !delay->ReserveDelayUs(kMaxDelayUs)) {
      return false;
    }
    delay_ = std::move(delay);
    std::fill(applied_us_.begin(), applied_us_.end(), 0.0f);
    return true;
  }

  void ConnectPort(uint32_t port, void* data) override {
    if (ConnectAudio(&audio_, port, data)) return;
    const size_t control = port - 2 * static_cast<size_t>(audio_.channels());
    if (control < delay_us_.size()) delay_us_[control].Connect(data);
    if (control == delay_us_.size()) latency_.Connect(data);
  }

  void Activate() override { Reset(); }

  void Run(uint32_t frames) override {
    for (size_t c = 0; c < delay_us_.size(); ++c) {
      const float value = delay_us_[c].value();
      if (SameValue(value, applied_us_[c])) continue;
      applied_us_[c] = value;
      // The port's range, [0, kMaxDelayUs]; NaN counts as 0.
      const double us = value > 0.0f ? std::min(value, kMaxDelayUs) : 0.0;
      delay_->SetChannelDelayUs(static_cast<int32_t>(c), us);
    }
    audio_.Run(delay_.get(), frames, kDefaultVolume);
    latency_.Write(static_cast<float>(delay_->Status()->latency_frames));
  }

 private:
  const int32_t rate_;
  AudioPorts audio_;
  std::vector<ControlIn> delay_us_;  // one per channel
  ControlOut latency_;
  std::unique_ptr<DelayPostProcessor> delay_;  // never null after Reset
  std::vector<float> applied_us_;  // last port values, one per channel
};

class Lv2SoundMeter final : public Lv2Plugin {
 public:
  Lv2SoundMeter(int32_t channels, int32_t rate, uint32_t block_frames)
      : rate_(rate),
        audio_(channels, block_frames),
        power_db_(static_cast<size_t>(channels)),
        peaks_(static_cast<size_t>(channels)) {
    Activate();
  }

  void ConnectPort(uint32_t port, void* data) override {
    if (ConnectAudio(&audio_, port, data)) return;
    const size_t control = port - 2 * static_cast<size_t>(audio_.channels());
    const size_t channels = power_db_.size();
    if (control < channels) power_db_[control].Connect(data);
    if (control >= channels && control < 2 * channels) {
      peaks_[control - channels].Connect(data);
    }
  }

  void Activate() override {
    meter_ = std::make_unique<SoundMeter>("", audio_.channels());
    meter_->Configure({rate_});
    // The figures go to the output ports; the audio thread logs nothing.
    meter_->set_log_reports(false);
  }

  void Run(uint32_t frames) override {
    audio_.Run(meter_.get(), frames, kDefaultVolume);
    for (size_t c = 0; c < power_db_.size(); ++c) {
      // "not above the floor" also maps a NaN power to the floor.
      const float power = meter_->report_power_db()[c];
      power_db_[c].Write(power > kPowerFloorDb ? power : kPowerFloorDb);
      peaks_[c].Write(meter_->report_peaks()[c]);
    }
  }

 private:
  const int32_t rate_;
  AudioPorts audio_;
  std::vector<ControlOut> power_db_;   // one per channel
  std::vector<ControlOut> peaks_;      // one per channel
  std::unique_ptr<SoundMeter> meter_;  // never null
};

}  // namespace

std::unique_ptr<Lv2Plugin> CreateLv2Plugin(const Lv2PluginType& type,
                                           double sample_rate,
                                           uint32_t block_frames) {
  const double rate = std::round(sample_rate);
  if (!(rate >= 1.0 && rate <= std::numeric_limits<int32_t>::max()) ||
      block_frames < 1 || block_frames > kMaxBlockFrames) {
    return nullptr;
  }
  const int32_t frames_per_second = static_cast<int32_t>(rate);
  switch (type.kind) {
    case Lv2Kind::kGovernor:
      return std::make_unique<Lv2Governor>(type.channels, frames_per_second,
                                           block_frames);
    case Lv2Kind::kDelay: {
      auto delay = std::make_unique<Lv2Delay>(type.channels, frames_per_second,
                                              block_frames);
      if (!delay->Reset()) return nullptr;
      return delay;
    }
    case Lv2Kind::kSoundMeter:
      return std::make_unique<Lv2SoundMeter>(type.channels, frames_per_second,
                                             block_frames);
  }
  return nullptr;
}

}  // namespace lv2
}  // namespace post_processors
