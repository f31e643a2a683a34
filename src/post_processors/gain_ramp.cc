#include "post_processors/gain_ramp.h"

#include <algorithm>
#include <cmath>

#include "post_processors/sample_buffer.h"

namespace post_processors {

namespace {

void ScaleFrame(float* frame, size_t channels, float gain) {
  for (size_t c = 0; c < channels; ++c) frame[c] *= gain;
}

}  // namespace

void GainRamp::SetSampleRate(double rate) {
  sample_rate_ = rate;
  SetTargetGain(target_gain_);
}

void GainRamp::SetTargetGain(double gain) {
  target_gain_ = gain;
  if (snap_to_target_) current_gain_ = gain;
  const double distance = std::fabs(gain - current_gain_);
  step_per_frame_ = std::max(distance, kMinRampDistance) * 1000.0 /
                    (ramp_time_ms_ * sample_rate_);
}

void GainRamp::Process(float* data, size_t frames, size_t channels) {
  if (frames == 0) return;
  snap_to_target_ = false;

  if (current_gain_ == target_gain_) {
    ApplyConstantGain(data, frames * channels, current_gain_);
    return;
  }

  size_t frame = 0;
  if (current_gain_ < target_gain_) {
    do {
      ScaleFrame(data + frame * channels, channels,
                 static_cast<float>(current_gain_));
      current_gain_ += step_per_frame_;
      ++frame;
    } while (frame < frames && current_gain_ < target_gain_);
    if (current_gain_ > target_gain_) current_gain_ = target_gain_;
  } else {
    do {
      ScaleFrame(data + frame * channels, channels,
                 static_cast<float>(current_gain_));
      current_gain_ -= step_per_frame_;
      ++frame;
    } while (frame < frames && current_gain_ > target_gain_);
    if (current_gain_ < target_gain_) current_gain_ = target_gain_;
  }

  // The ramp has crossed (or reached) the target: the rest of the block is
  // multiplied by the now constant gain as one run. It is a multiplication
  // even at gain 0.0 or 1.0 (so -x * 0 stays -0.0 and infinities become NaN,
  // as frame by frame); only steady blocks take the clear and skip shortcuts.
  // ScaleSamples copes with any alignment; the products are the same.
  if (frame < frames) {
    ScaleSamples(data + frame * channels, (frames - frame) * channels,
                 static_cast<float>(current_gain_));
  }
}

}  // namespace post_processors
