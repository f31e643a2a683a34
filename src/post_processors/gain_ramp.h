// GainRamp: a linear gain smoother for interleaved float blocks. A new target
// gain is reached along a straight line within ramp_time_ms (100 ms) for a
// change of 0.1 or more, proportionally faster for smaller changes. The very
// first target, set before any frame was processed, is taken at once.
//
//   GainRamp ramp;
//   ramp.SetSampleRate(48000.0);
//   ramp.SetTargetGain(0.5);           // before any frame: no ramp
//   ramp.Process(block, frames, 2);    // every sample * 0.5f
//   ramp.SetTargetGain(1.0);           // 4800 frames from 0.5 up to 1.0
//
// Gains are doubles; each sample is multiplied by the current gain converted
// to single precision, and the product is single precision.

#ifndef VORN_POST_PROCESSORS_GAIN_RAMP_H_
#define VORN_POST_PROCESSORS_GAIN_RAMP_H_

#include <cstddef>

namespace post_processors {

class GainRamp final {
 public:
  GainRamp() = default;
  GainRamp(const GainRamp&) = delete;
  GainRamp& operator=(const GainRamp&) = delete;

  // Sets the rate used for the step, in frames per second; `rate` must be
  // positive (callers check). Re-applies the present target, which recomputes
  // the step (and snaps the current gain while no frame was processed yet).
  void SetSampleRate(double rate);

  // Makes `gain` (linear) the target. Snaps to it while no frame was processed
  // yet; otherwise restarts the ramp timing from the current gain.
  void SetTargetGain(double gain);

  // Applies the gain to `frames` frames of `channels` interleaved samples at
  // `data`, in place, ramping frame by frame while the current gain differs
  // from the target. frames * channels must not overflow size_t and `data`
  // must hold that many samples. A call with 0 frames changes nothing.
  void Process(float* data, size_t frames, size_t channels);

  double sample_rate() const { return sample_rate_; }
  double target_gain() const { return target_gain_; }
  double current_gain() const { return current_gain_; }
  double step_per_frame() const { return step_per_frame_; }
  bool snap_to_target() const { return snap_to_target_; }

 private:
  static constexpr double kMinRampDistance = 0.1;

  double sample_rate_ = 44100.0;  // > 0
  double target_gain_ = 1.0;
  double current_gain_ = 1.0;  // gain of the next frame
  double ramp_time_ms_ = 100.0;
  // max(|target - current at the last SetTargetGain|, 0.1) * 1000 /
  // (ramp_time_ms_ * sample_rate_)
  double step_per_frame_ = 1000.0 / (100.0 * 44100.0);
  bool snap_to_target_ = true;  // cleared by the first non-empty block
};

}  // namespace post_processors

#endif  // VORN_POST_PROCESSORS_GAIN_RAMP_H_
