// Governor: a volume governor. While the host's volume for the stream is at
// or above "onset_volume" it scales the stream by "clamp_multiplier";
// below the onset it leaves the stream at unity gain. Gain changes move
// along a GainRamp (at most 100 ms) instead of stepping.
//
//   auto governor = post_processors::Governor::Create(
//       R"({"onset_volume": 0.8, "clamp_multiplier": 0.5})", 2);
//   governor->Configure({48000});
//   governor->Process(block, 256, 0.9f);  // volume >= onset: block * 0.5f
//
// The volume's unit is the host's; the governor only compares it with the
// onset.

#ifndef VORN_POST_PROCESSORS_GOVERNOR_H_
#define VORN_POST_PROCESSORS_GOVERNOR_H_

#include <cstdint>
#include <memory>
#include <string>

#include "post_processors/audio_post_processor2.h"
#include "post_processors/gain_ramp.h"

namespace post_processors {

class Governor final : public AudioPostProcessor2 {
 public:
  // The factory of libvorn_governor_2.0. Reads "onset_volume" and
  // "clamp_multiplier" (both required numbers) from `config`, logs the
  // creation line at INFO and returns the governor. On a contract violation
  // (not a JSON dictionary, a key missing or not a number, a multiplier
  // beyond the float range, channels below 1) it logs one ERROR line and
  // returns a PassThroughProcessor. Never null.
  static std::unique_ptr<AudioPostProcessor2> Create(const std::string& config,
                                                     int32_t channels);

  // `channels` >= 1; |clamp_multiplier| must fit a float.
  Governor(double onset_volume, double clamp_multiplier, int32_t channels);
  ~Governor() override;

  // Stores the rate and re-derives the ramp step. A rate of 0 or less is
  // logged as an ERROR and returns false with nothing changed.
  bool Configure(const ProcessorConfig& config) override;
  ProcessorStatus* Status() override;
  // Picks the target gain from `volume` (changes of at most 2^-23 are
  // ignored) and runs the ramp over the block in place. Allocates nothing.
  void Process(float* data, int32_t frames, float volume) override;
  // Returns false without reading the text; nothing changes.
  bool Reconfigure(const std::string& config_text) override;
  void Notification1(int32_t value) override;
  void Notification2(int32_t value) override;

  // The gain (linear) for `volume`: the multiplier, rounded to single
  // precision, when volume > onset_volume - 2^-23 in double; else 1.0.
  double GainForVolume(float volume) const;

  // Replaces both settings while the governor runs, for hosts whose controls
  // change between blocks; allocates and logs nothing. The values follow the
  // configuration's rules: returns false, keeping the settings, when
  // `onset_volume` is not finite or |clamp_multiplier| exceeds the float
  // range. When a value changes, the next Process takes its volume as a
  // change and re-chooses the target gain, so the gain ramps from where it
  // is to the new setting as it does on a volume change.
  bool SetSettings(double onset_volume, double clamp_multiplier);

  double onset_volume() const { return onset_volume_; }
  double clamp_multiplier() const { return clamp_multiplier_; }
  const GainRamp& ramp() const { return ramp_; }

 private:
  ProcessorStatus status_;  // latency_frames and tail_frames stay 0
  // The last volume taken as a change; NaN after SetSettings changed a value,
  // so that the next Process takes its volume whatever it is.
  float last_volume_ = -1.0f;
  double onset_volume_;      // finite
  double clamp_multiplier_;  // |clamp_multiplier_| <= FLT_MAX
  GainRamp ramp_;
};

}  // namespace post_processors

#endif  // VORN_POST_PROCESSORS_GOVERNOR_H_
