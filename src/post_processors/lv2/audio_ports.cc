#include "post_processors/lv2/audio_ports.h"

#include <algorithm>
#include <cstring>

namespace post_processors {
namespace lv2 {

namespace {

// Stereo has loops of its own with a fixed stride and size_t indices (no
// 32-bit wrap-around to rule out), which compilers turn into vector
// shuffles; the general loops below step by a run-time stride. The scratch
// block never overlaps the host's buffers.
void Interleave2(const float* __restrict left, const float* __restrict right,
                 size_t frames, float* __restrict block) {
  for (size_t j = 0; j < frames; ++j) {
    block[2 * j] = left[j];
    block[2 * j + 1] = right[j];
  }
}

void Deinterleave2(const float* __restrict block, size_t frames, float* left,
                   float* right) {
  for (size_t j = 0; j < frames; ++j) {
    left[j] = block[2 * j];
    right[j] = block[2 * j + 1];
  }
}

}  // namespace

AudioPorts::AudioPorts(int32_t channels, uint32_t block_frames)
    : channels_(channels),
      block_frames_(block_frames),
      inputs_(static_cast<size_t>(channels), nullptr),
      outputs_(static_cast<size_t>(channels), nullptr),
      scratch_(static_cast<size_t>(channels) * block_frames, 0.0f) {}

AudioPorts::~AudioPorts() = default;

void AudioPorts::ConnectInput(int32_t channel, const float* data) {
  if (channel >= 0 && channel < channels_) {
    inputs_[static_cast<size_t>(channel)] = data;
  }
}

void AudioPorts::ConnectOutput(int32_t channel, float* data) {
  if (channel >= 0 && channel < channels_) {
    outputs_[static_cast<size_t>(channel)] = data;
  }
}

void AudioPorts::Run(AudioPostProcessor2* processor, uint32_t frames,
                     float volume) {
  for (size_t c = 0; c < inputs_.size(); ++c) {
    if (inputs_[c] == nullptr || outputs_[c] == nullptr) return;
  }
  float* block = scratch_.data();
  if (frames == 0) {
    processor->Process(block, 0, volume);
    return;
  }
  const size_t channels = static_cast<size_t>(channels_);
  for (uint32_t start = 0; start < frames;) {
    const uint32_t count = std::min(block_frames_, frames - start);
    if (channels == 1) {
      // Nothing to interleave: the output buffer is the block.
      float* out = outputs_[0] + start;
      const float* in = inputs_[0] + start;
      if (out != in) std::memmove(out, in, count * sizeof(float));
      processor->Process(out, static_cast<int32_t>(count), volume);
    } else if (channels == 2) {
      Interleave2(inputs_[0] + start, inputs_[1] + start, count, block);
      processor->Process(block, static_cast<int32_t>(count), volume);
      Deinterleave2(block, count, outputs_[0] + start, outputs_[1] + start);
    } else {
      for (size_t c = 0; c < channels; ++c) {
        const float* in = inputs_[c] + start;
        float* sample = block + c;
        for (uint32_t j = 0; j < count; ++j, sample += channels) {
          *sample = in[j];
        }
      }
      processor->Process(block, static_cast<int32_t>(count), volume);
      for (size_t c = 0; c < channels; ++c) {
        float* out = outputs_[c] + start;
        const float* sample = block + c;
        for (uint32_t j = 0; j < count; ++j, sample += channels) {
          out[j] = *sample;
        }
      }
    }
    start += count;
  }
}

}  // namespace lv2
}  // namespace post_processors
