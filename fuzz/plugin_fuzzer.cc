// Drives one plug-in the way a careless host might: the factory with a
// configuration text and any channel count, then Configure, Process,
// Reconfigure and the notifications in any order, with any sample rate,
// volume (NaN and infinities included), block size and sample values. Built
// once per plug-in, linked with that plug-in's factory.
//
// Input: a channel byte (sometimes followed by a raw int32 count), the
// configuration text up to a NUL, a rate byte (sometimes a raw int32), then
// one operation per byte with its arguments.
//
// Checked besides the sanitizers' own checks:
// - the factory never returns null, and the status record starts as the
//   contract says and keeps its address and channel count;
// - Process touches nothing outside its block: each block sits between two
//   guard zones (poisoned under AddressSanitizer, so reads are caught too)
//   whose contents must survive;
// - Process with 0 or negative frames, or with null data, changes no sample;
// - Configure with a rate of 0 or less returns false and keeps the rate.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "base/logging/logging.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "post_processors/audio_post_processor2.h"

#if defined(__SANITIZE_ADDRESS__)
#define VORN_FUZZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORN_FUZZ_ASAN 1
#endif
#endif

#ifdef VORN_FUZZ_ASAN
#include <sanitizer/asan_interface.h>
#define VORN_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define VORN_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define VORN_POISON(p, n) ((void)(p), (void)(n))
#define VORN_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace {

using vorn::fuzz::Check;

using vorn::fuzz::FuzzInput;

// Guard zone on each side of a block, in floats. Its pattern is a NaN
// payload no processor computes.
constexpr size_t kGuardFloats = 64;
constexpr uint32_t kGuardBits = 0x7fc0beefu;
// The most samples one block may hold here, so that inputs stay fast.
constexpr int64_t kMaxBlockSamples = int64_t{1} << 16;
constexpr int kMaxOperations = 200;

// A block of samples between two guard zones.
class GuardedBlock {
 public:
  explicit GuardedBlock(size_t samples)
      : samples_(samples), storage_(samples + 2 * kGuardFloats) {
    for (size_t i = 0; i < kGuardFloats; ++i) {
      SetGuard(i);
      SetGuard(kGuardFloats + samples_ + i);
    }
    VORN_POISON(storage_.data(), kGuardFloats * sizeof(float));
    VORN_POISON(storage_.data() + kGuardFloats + samples_,
                kGuardFloats * sizeof(float));
  }
  ~GuardedBlock() {
    VORN_UNPOISON(storage_.data(), storage_.size() * sizeof(float));
  }
  GuardedBlock(const GuardedBlock&) = delete;
  GuardedBlock& operator=(const GuardedBlock&) = delete;

  float* data() { return storage_.data() + kGuardFloats; }
  size_t size() const { return samples_; }

  // True when both guard zones still hold their pattern.
  bool GuardsIntact() {
    VORN_UNPOISON(storage_.data(), storage_.size() * sizeof(float));
    bool intact = true;
    for (size_t i = 0; i < kGuardFloats; ++i) {
      intact = intact && IsGuard(i) && IsGuard(kGuardFloats + samples_ + i);
    }
    VORN_POISON(storage_.data(), kGuardFloats * sizeof(float));
    VORN_POISON(storage_.data() + kGuardFloats + samples_,
                kGuardFloats * sizeof(float));
    return intact;
  }

  // The block's bytes, for "changed nothing" checks.
  std::string Snapshot() const {
    return std::string(
        reinterpret_cast<const char*>(storage_.data() + kGuardFloats),
        samples_ * sizeof(float));
  }

 private:
  void SetGuard(size_t i) { std::memcpy(&storage_[i], &kGuardBits, 4); }
  bool IsGuard(size_t i) const {
    return std::memcmp(&storage_[i], &kGuardBits, 4) == 0;
  }

  size_t samples_;
  std::vector<float> storage_;  // guard, samples_ samples, guard
};

float TakeVolume(FuzzInput* in) {
  static const float kVolumes[] = {0.0f,
                                   1.0f,
                                   0.5f,
                                   0.8f,
                                   -1.0f,
                                   -0.0f,
                                   std::numeric_limits<float>::quiet_NaN(),
                                   std::numeric_limits<float>::infinity(),
                                   -std::numeric_limits<float>::infinity(),
                                   std::numeric_limits<float>::max(),
                                   std::numeric_limits<float>::lowest(),
                                   std::numeric_limits<float>::denorm_min(),
                                   std::numeric_limits<float>::min(),
                                   1e-30f,
                                   1e30f};
  const uint8_t choice = in->TakeByte();
  if (choice < 200) return kVolumes[choice % (sizeof(kVolumes) / 4)];
  return in->TakeFloat();
}

int32_t TakeRate(FuzzInput* in) {
  static const int32_t kRates[] = {48000,
                                   44100,
                                   8000,
                                   96000,
                                   192000,
                                   768000,
                                   1,
                                   2,
                                   0,
                                   -1,
                                   -48000,
                                   std::numeric_limits<int32_t>::max(),
                                   std::numeric_limits<int32_t>::min()};
  const uint8_t choice = in->TakeByte();
  if (choice < 224) return kRates[choice % (sizeof(kRates) / 4)];
  return in->TakeInt32();
}

int32_t TakeChannels(FuzzInput* in) {
  const uint8_t choice = in->TakeByte();
  if (choice < 240) return 1 + choice % 8;
  if (choice < 248) return -static_cast<int32_t>(choice % 8);  // 0 and below
  return in->TakeInt32();
}

// Fills the block from the input's bytes as raw floats while they last, then
// with a repeating ramp.
void FillSamples(FuzzInput* in, GuardedBlock* block) {
  const uint8_t style = in->TakeByte();
  float* data = block->data();
  for (size_t i = 0; i < block->size(); ++i) {
    if (style < 64 && in->remaining() >= 4) {
      data[i] = in->TakeFloat();
    } else {
      data[i] = static_cast<float>(static_cast<int>(i % 97) - 48) / 48.0f;
    }
  }
}

void ProcessBlock(FuzzInput* in, AudioPostProcessor2* processor,
                  int32_t channels) {
  if (channels < 1) {
    // No buffer can describe such a block: only the empty call is sound.
    processor->Process(nullptr, 0, TakeVolume(in));
    Check(processor->Status()->output_buffer == nullptr);
    return;
  }
  const int32_t max_frames = static_cast<int32_t>(
      std::min<int64_t>(4096, kMaxBlockSamples / channels));
  const int32_t frames = in->TakeInRange(0, max_frames);
  GuardedBlock block(static_cast<size_t>(frames) *
                     static_cast<size_t>(channels));
  FillSamples(in, &block);
  const float volume = TakeVolume(in);
  const std::string before = frames == 0 ? block.Snapshot() : std::string();
  processor->Process(block.data(), frames, volume);
  Check(processor->Status()->output_buffer == block.data());
  Check(block.GuardsIntact());
  if (frames == 0) Check(block.Snapshot() == before);
}

// Calls that break the rules of a block: they must process nothing.
void ProcessMalformedBlock(FuzzInput* in, AudioPostProcessor2* processor) {
  GuardedBlock block(16);
  FillSamples(in, &block);
  const std::string before = block.Snapshot();
  const float volume = TakeVolume(in);
  switch (in->TakeByte() % 4) {
    case 0:
      processor->Process(block.data(), -in->TakeInRange(1, 1 << 30), volume);
      break;
    case 1:
      processor->Process(block.data(), std::numeric_limits<int32_t>::min(),
                         volume);
      break;
    case 2:
      processor->Process(nullptr, in->TakeInRange(1, 1 << 30), volume);
      break;
    default:
      processor->Process(nullptr, std::numeric_limits<int32_t>::max(), volume);
      break;
  }
  Check(block.GuardsIntact());
  Check(block.Snapshot() == before);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Messages are still built (that code runs) but not written.
  vorn::fuzz::SilenceLogging();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const int32_t channels = TakeChannels(&in);
  const std::string config = in.TakeText();

  std::unique_ptr<AudioPostProcessor2> processor(
      AudioPostProcessor2Shlib_Create(config, channels));
  Check(processor != nullptr);
  ProcessorStatus* const status = processor->Status();
  Check(status != nullptr);
  Check(status->sample_rate == -1);
  Check(status->output_channels == channels);
  Check(status->latency_frames == 0 && status->tail_frames == 0);
  Check(status->output_buffer == nullptr);

  // Usually configured first, as the contract asks; sometimes not.
  if (in.TakeByte() < 240) processor->Configure(ProcessorConfig{TakeRate(&in)});

  for (int op = 0; op < kMaxOperations && !in.empty(); ++op) {
    switch (in.TakeByte() % 10) {
      case 0:
      case 1:
      case 2:
      case 3:
      case 4:
        ProcessBlock(&in, processor.get(), channels);
        break;
      case 5:
        ProcessMalformedBlock(&in, processor.get());
        break;
      case 6: {
        const int32_t before = status->sample_rate;
        const int32_t rate = TakeRate(&in);
        const bool ok = processor->Configure(ProcessorConfig{rate});
        if (rate <= 0) Check(!ok && status->sample_rate == before);
        if (ok) Check(status->sample_rate == rate);
        break;
      }
      case 7:
        processor->Reconfigure(in.TakeText());
        break;
      case 8:
        processor->Notification1(in.TakeInt32());
        processor->Notification2(in.TakeInt32());
        break;
      default:
        // Delays and tails are frame counts: never negative.
        Check(status->latency_frames >= 0 && status->tail_frames >= 0);
        Check(status->latency_frames <= status->tail_frames);
        break;
    }
    Check(processor->Status() == status);
    Check(status->output_channels == channels);
  }
  return 0;
}
