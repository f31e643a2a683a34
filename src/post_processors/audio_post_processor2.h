// The audio post-processor plug-in contract: the interface that the media
// pipeline drives, its two records, and the factory that each plug-in library
// exports with C linkage.
//
//   std::string config = R"({"delay_us": [0, 1000]})";
//   AudioPostProcessor2* p = AudioPostProcessor2Shlib_Create(config, 2);
//   ProcessorConfig rate{48000};
//   p->Configure(rate);
//   p->Process(interleaved, frames, volume);  // in place, once per block
//   int32_t latency = p->Status()->latency_frames;
//   delete p;
//
// Buffers are interleaved 32-bit floats: the sample of channel c in frame j is
// element j * channels + c, where channels is the count given to the factory.
// Counts are frames, not samples. Processing is in place.
//
// One caller at a time per processor; no call overlaps another on the same
// object, and the status record is read between calls.

#ifndef VORN_POST_PROCESSORS_AUDIO_POST_PROCESSOR2_H_
#define VORN_POST_PROCESSORS_AUDIO_POST_PROCESSOR2_H_

#include <cstdint>
#include <string>

// What the host hands to Configure. Processors read nothing beyond
// `sample_rate`.
struct ProcessorConfig {
  int32_t sample_rate;  // frames per second of the audio Process will receive
};

// The record each processor keeps inside itself. Its address, returned by
// Status(), is fixed for the processor's lifetime.
struct ProcessorStatus {
  int32_t sample_rate;      // -1 until the first Configure, then its rate
  int32_t output_channels;  // the factory's channel count; never changes
  int32_t latency_frames;   // delay added to every channel, in frames
  int32_t tail_frames;      // frames of output after the input has ended
  float* output_buffer;     // data of the latest Process; null before
};

// The processor interface. The order of the virtual operations is the order
// of the dispatch table that hosts rely on; do not reorder.
class AudioPostProcessor2 {
 public:
  virtual ~AudioPostProcessor2() = default;

  // Prepares the processor for `config.sample_rate` frames per second and
  // stores the rate in the status record. Called before the first Process and
  // again on a rate change. Returns false, with nothing changed, when the
  // rate is not positive or the processor cannot run at that rate.
  virtual bool Configure(const ProcessorConfig& config) = 0;

  // The status record; no copy, no side effect. Never null.
  virtual ProcessorStatus* Status() = 0;

  // Stores `data` in the status record's output_buffer, then processes
  // `frames` interleaved frames of `data` in place. `volume` is the host's
  // current volume for the stream (only the governor reads it). `frames` may
  // be 0; a negative count or a null `data` with frames > 0 processes nothing.
  virtual void Process(float* data, int32_t frames, float volume) = 0;

  // Offers a new configuration text while running; returns whether it was
  // applied. The text is read during the call only.
  virtual bool Reconfigure(const std::string& config_text) = 0;

  // Host notifications; every processor here ignores them.
  virtual void Notification1(int32_t value) = 0;
  virtual void Notification2(int32_t value) = 0;

 protected:
  AudioPostProcessor2() = default;
  AudioPostProcessor2(const AudioPostProcessor2&) = delete;
  AudioPostProcessor2& operator=(const AudioPostProcessor2&) = delete;
};

// Each plug-in library's one export. `config` holds one JSON text, read during
// the call only; `channels` is the interleaved channel count. Never returns
// null: an invalid configuration is logged as an ERROR and yields a processor
// that leaves every sample untouched. The caller owns the result and destroys
// it with delete through this interface.
#define VORN_PLUGIN_EXPORT __attribute__((visibility("default")))
extern "C" VORN_PLUGIN_EXPORT AudioPostProcessor2*
AudioPostProcessor2Shlib_Create(const std::string& config, int32_t channels);

#endif  // VORN_POST_PROCESSORS_AUDIO_POST_PROCESSOR2_H_
