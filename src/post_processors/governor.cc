#include "post_processors/governor.h"

#include <cfloat>
#include <cmath>

#include "base/logging/logging.h"
#include "post_processors/pass_through_processor.h"
#include "post_processors/plugin_config.h"
#include "post_processors/sample_buffer.h"

namespace post_processors {

namespace {

// 2^-23, the single-precision epsilon: volume changes up to this are noise.
constexpr double kVolumeEpsilon = 1.1920928955078125e-07;

}  // namespace

std::unique_ptr<AudioPostProcessor2> Governor::Create(const std::string& config,
                                                      int32_t channels) {
  std::string error;
  std::unique_ptr<base::JsonValue> dict = ParseConfigDictionary(config, &error);
  double onset = 0.0;
  double multiplier = 0.0;
  if (dict && !FindNumber(*dict, "onset_volume", &onset)) {
    error = "\"onset_volume\" is missing or not a number";
  } else if (dict && !FindNumber(*dict, "clamp_multiplier", &multiplier)) {
    error = "\"clamp_multiplier\" is missing or not a number";
  } else if (dict && !(std::fabs(multiplier) <= FLT_MAX)) {
    error = "\"clamp_multiplier\" is beyond the float range";
  } else if (dict && channels < 1) {
    error = "the channel count is below 1: " + std::to_string(channels);
  }
  if (!error.empty()) {
    LOG(ERROR) << "Governor disabled, audio passes unchanged: " << error;
    return std::make_unique<PassThroughProcessor>(channels);
  }
  auto governor = std::make_unique<Governor>(onset, multiplier, channels);
  // The creation line; its location (governor.cc, line 41) is part of the log.
  LOG(INFO) << "Created a governor: onset_volume = " << onset
            << ", clamp_multiplier = " << multiplier;
  return governor;
}

Governor::Governor(double onset_volume, double clamp_multiplier,
                   int32_t channels)
    : status_{-1, channels, 0, 0, nullptr},
      onset_volume_(onset_volume),
      clamp_multiplier_(clamp_multiplier) {
  ramp_.SetTargetGain(1.0);
}

Governor::~Governor() = default;

bool Governor::Configure(const ProcessorConfig& config) {
  if (!AcceptSampleRate(config.sample_rate, "Governor")) return false;
  status_.sample_rate = config.sample_rate;
  ramp_.SetSampleRate(static_cast<double>(config.sample_rate));
  return true;
}

ProcessorStatus* Governor::Status() { return &status_; }

double Governor::GainForVolume(float volume) const {
  if (static_cast<double>(volume) > onset_volume_ - kVolumeEpsilon) {
    return static_cast<double>(static_cast<float>(clamp_multiplier_));
  }
  return 1.0;
}

void Governor::Process(float* data, int32_t frames, float volume) {
  status_.output_buffer = data;
  // Written as "not at most" so that a NaN volume counts as a change (and
  // then selects unity gain, since no comparison with NaN holds).
  const float change = std::fabs(last_volume_ - volume);
  if (!(change <= static_cast<float>(kVolumeEpsilon))) {
    last_volume_ = volume;
    ramp_.SetTargetGain(GainForVolume(volume));
  }
  const size_t samples =
      BlockSampleCount(data, frames, status_.output_channels);
  if (samples == 0) return;
  ramp_.Process(data, static_cast<size_t>(frames),
                static_cast<size_t>(status_.output_channels));
}

bool Governor::SetSettings(double onset_volume, double clamp_multiplier) {
  if (!std::isfinite(onset_volume) ||
      !(std::fabs(clamp_multiplier) <= FLT_MAX)) {
    return false;
  }
  if (onset_volume == onset_volume_ && clamp_multiplier == clamp_multiplier_) {
    return true;
  }
  onset_volume_ = onset_volume;
  clamp_multiplier_ = clamp_multiplier;
  // No comparison with NaN holds, so Process sees a change (see there).
  last_volume_ = NAN;
  return true;
}

bool Governor::Reconfigure(const std::string& config_text) { return false; }

void Governor::Notification1(int32_t value) {}

void Governor::Notification2(int32_t value) {}

}  // namespace post_processors
