// DelayPostProcessor: delays each channel of an interleaved stream by its own
// fixed time. "delay_us" lists one delay per channel in microseconds; each
// Configure turns them into whole frames (halves rounded away from zero) and
// restarts the delayed channels with silence. Channels of 0 frames pass
// through untouched.
//
//   auto delay = post_processors::DelayPostProcessor::Create(
//       R"({"delay_us": [0, 1000]})", 2);
//   delay->Configure({48000});     // channel 1: 48 frames; tail_frames 48
//   delay->Process(block, 256, 1.0f);
//
// MultiChannelDelay is the signal path: one ring of floats per delayed
// channel, sized in Configure, never on the processing path.

#ifndef VORN_POST_PROCESSORS_DELAY_POST_PROCESSOR_H_
#define VORN_POST_PROCESSORS_DELAY_POST_PROCESSOR_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "post_processors/audio_post_processor2.h"

namespace post_processors {

// Per-channel delay lines over interleaved blocks.
//
//   MultiChannelDelay d(2);
//   d.SetDelays({0, 3});   // channel 1 three frames late, silence first
//   d.Process(block, 256);
class MultiChannelDelay final {
 public:
  // `channels` >= 1. Every channel starts with a delay of 0 frames.
  explicit MultiChannelDelay(int32_t channels);
  ~MultiChannelDelay();
  MultiChannelDelay(const MultiChannelDelay&) = delete;
  MultiChannelDelay& operator=(const MultiChannelDelay&) = delete;

  // Takes one delay in frames (>= 0) per channel. Each channel with a delay
  // other than 0 gets a fresh ring of that many 0.0 samples; channels of 0
  // frames are bypassed. Returns false, with nothing changed, when the list
  // length differs from the channel count, a delay is negative, or a ring
  // cannot be allocated.
  bool SetDelays(const std::vector<int32_t>& delay_frames);

  // Gives every channel room for delays up to `max_frames` (>= 0) frames, so
  // that SetChannelDelay up to that length never allocates. The delays in
  // force and the samples in flight are kept. Returns false, with nothing
  // changed, for a negative count or when memory runs out. SetDelays drops
  // the room again (its rings are exactly as long as their delays).
  bool Reserve(int32_t max_frames);

  // Changes the delay of `channel` (in [0, channels())) to `frames` frames
  // without allocating. When the length changes, that channel restarts with
  // `frames` samples of silence, as every channel does after SetDelays; the
  // other channels go on undisturbed. Returns false, with nothing changed,
  // for a channel out of range, a negative count or one beyond the room the
  // channel has (see Reserve).
  bool SetChannelDelay(int32_t channel, int32_t frames);

  // Delays `frames` frames at `data` in place. `data` must hold
  // frames * channels samples (the caller checks the count). Allocates
  // nothing.
  void Process(float* data, size_t frames);

  int32_t channels() const { return channels_; }
  // The delay of `channel` in frames; `channel` in [0, channels()).
  int32_t delay_frames(int32_t channel) const;
  // The longest delay of `channel` that SetChannelDelay takes, in frames.
  int32_t capacity_frames(int32_t channel) const;

 private:
  struct FreeDeleter {
    void operator()(float* p) const { std::free(p); }
  };
  struct ChannelRing {
    std::unique_ptr<float, FreeDeleter> samples;  // [0, length) in flight
    int32_t length = 0;    // the channel's delay in frames, <= capacity
    int32_t position = 0;  // next sample to leave, in [0, length)
    int32_t capacity = 0;  // floats at samples
  };

  const int32_t channels_;
  std::vector<ChannelRing> rings_;  // channels_ entries
};

class DelayPostProcessor final : public AudioPostProcessor2 {
 public:
  // The factory of libvorn_delay_2.0. "delay_us" must be a list of exactly
  // `channels` numbers, each finite and not negative. On a contract
  // violation it logs one ERROR line and returns a PassThroughProcessor.
  // Never null.
  static std::unique_ptr<AudioPostProcessor2> Create(const std::string& config,
                                                     int32_t channels);

  // One delay per channel in microseconds; at least one, each >= 0.
  explicit DelayPostProcessor(std::vector<double> delays_us);
  ~DelayPostProcessor() override;

  // Converts the delays to frames at the new rate, logs one INFO line per
  // channel, sets latency_frames (smallest delay) and tail_frames (largest)
  // and restarts every delayed channel with silence. A rate of 0 or less is
  // logged as an ERROR and returns false with nothing changed. A delay too
  // long for a signed 32-bit frame count, or a ring that cannot be
  // allocated, is logged as an ERROR, leaves the processor passing audio
  // through unchanged (latency and tail 0) and returns false.
  bool Configure(const ProcessorConfig& config) override;
  ProcessorStatus* Status() override;
  // Delays the block in place; `volume` is ignored. Allocates nothing.
  void Process(float* data, int32_t frames, float volume) override;
  // Returns false without reading the text; nothing changes.
  bool Reconfigure(const std::string& config_text) override;
  void Notification1(int32_t value) override;
  void Notification2(int32_t value) override;

  // Sizes the delay lines for delays up to `max_delay_us` microseconds at
  // the configured rate, so that SetChannelDelayUs up to it never
  // allocates; the samples in flight are kept. Call after Configure, which
  // drops the room again. Returns false, with nothing changed, before the
  // first Configure, for a maximum that is negative, not finite or too many
  // frames, or when memory runs out.
  bool ReserveDelayUs(double max_delay_us);

  // Changes the delay of `channel` to `delay_us` microseconds while the
  // processor runs, for hosts whose controls change between blocks. The
  // frames are derived as Configure derives them; when their count changes,
  // that channel restarts with silence (as every delayed channel does on
  // Configure) and latency_frames and tail_frames follow. Allocates and
  // logs nothing. Returns false, with nothing changed, before the first
  // Configure, for a channel out of range, a delay that is negative or not
  // finite, or one beyond what ReserveDelayUs made room for.
  bool SetChannelDelayUs(int32_t channel, double delay_us);

  const std::vector<double>& delays_us() const { return delays_us_; }
  const MultiChannelDelay& delay_set() const { return delay_set_; }

 private:
  // Drops every ring and zeroes latency and tail.
  void Bypass();

  ProcessorStatus status_;
  // Frames for `delay_us` at the configured rate (halves away from zero);
  // false when the delay is negative, not finite or too many frames.
  bool FramesFor(double delay_us, int32_t* frames) const;

  std::vector<double> delays_us_;  // microseconds, one per channel
  MultiChannelDelay delay_set_;
};

}  // namespace post_processors

#endif  // VORN_POST_PROCESSORS_DELAY_POST_PROCESSOR_H_
