// AudioPorts: the audio side of one LV2 plug-in instance. LV2 hosts hand a
// plug-in one buffer per channel and port; the processors of this folder
// work in place on interleaved blocks. AudioPorts keeps the host's buffers
// and a scratch block sized once, at instantiation, and runs a processor
// between them: interleave the inputs into the scratch block, Process it in
// place, write the channels out.
//
//   AudioPorts audio(2, 4096);           // stereo, blocks of <= 4096 frames
//   audio.ConnectInput(0, left_in);      // from the host's connect_port
//   audio.ConnectOutput(1, right_out);
//   audio.Run(&governor, 256, volume);   // from the host's run
//
// Inputs and outputs may be the same buffers (LV2 allows processing in
// place): a chunk's inputs are all read before its outputs are written.

#ifndef VORN_POST_PROCESSORS_LV2_AUDIO_PORTS_H_
#define VORN_POST_PROCESSORS_LV2_AUDIO_PORTS_H_

#include <cstdint>
#include <vector>

#include "post_processors/audio_post_processor2.h"

namespace post_processors {
namespace lv2 {

class AudioPorts final {
 public:
  // `channels` >= 1; `block_frames` >= 1 is the longest block handed to a
  // processor at once. Allocates the scratch block (channels * block_frames
  // floats) here, never later.
  AudioPorts(int32_t channels, uint32_t block_frames);
  ~AudioPorts();
  AudioPorts(const AudioPorts&) = delete;
  AudioPorts& operator=(const AudioPorts&) = delete;

  // Store the host's buffer of `channel` (in [0, channels())); the buffer
  // belongs to the host and must hold every frame of each later Run. Other
  // channel indices are ignored.
  void ConnectInput(int32_t channel, const float* data);
  void ConnectOutput(int32_t channel, float* data);

  // Runs `processor` over `frames` frames of the connected buffers, in
  // chunks of at most block_frames(), each one Process call with `volume`.
  // A run of 0 frames still makes one Process call of 0 frames (the
  // governor takes note of the volume). Allocates, locks and logs nothing.
  // When a buffer is not connected nothing is processed or written.
  void Run(AudioPostProcessor2* processor, uint32_t frames, float volume);

  int32_t channels() const { return channels_; }
  uint32_t block_frames() const { return block_frames_; }

 private:
  const int32_t channels_;
  const uint32_t block_frames_;
  std::vector<const float*> inputs_;  // channels_ entries, host-owned
  std::vector<float*> outputs_;       // channels_ entries, host-owned
  std::vector<float> scratch_;        // channels_ * block_frames_ floats
};

}  // namespace lv2
}  // namespace post_processors

#endif  // VORN_POST_PROCESSORS_LV2_AUDIO_PORTS_H_
