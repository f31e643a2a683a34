// The plug-ins of the vorn.lv2 bundle: the governor, the delay and the sound
// meter of this folder, each in a mono and a stereo variant, behind LV2's
// port model. Each Lv2Plugin owns one processor (the same class the media
// pipeline loads) and maps the host's ports onto it:
//
//   ports [0, n)       audio inputs, one per channel
//   ports [n, 2n)      audio outputs, one per channel
//   ports 2n and up    controls, per kind:
//     governor     onset_volume, clamp_multiplier, volume (inputs)
//     delay        delay_us per channel (inputs), latency (output, frames)
//     sound meter  power_db per channel, then peak per channel (outputs)
//
// The Turtle descriptions (vorn.ttl) list the same ports in the same order.
//
//   const Lv2PluginType* type = FindLv2PluginType("urn:vorn:lv2:delay-stereo");
//   std::unique_ptr<Lv2Plugin> p = CreateLv2Plugin(*type, 48000.0, 1024);
//   p->ConnectPort(0, left_in);   // ... every port
//   p->Activate();
//   p->Run(256);                  // real-time safe
//
// Real-time rules of Run: no allocation, no lock, no log line, time bounded
// by the frame count. A control change is applied between blocks through the
// processors' allocation-free setters.

#ifndef VORN_POST_PROCESSORS_LV2_LV2_PLUGINS_H_
#define VORN_POST_PROCESSORS_LV2_LV2_PLUGINS_H_

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>

namespace post_processors {
namespace lv2 {

enum class Lv2Kind { kGovernor, kDelay, kSoundMeter };

struct Lv2PluginType {
  const char* uri;  // urn:vorn:lv2:<kind>-<mono|stereo>
  Lv2Kind kind;
  int32_t channels;  // 1 or 2
};

// The bundle's plug-ins, in the order lv2_descriptor lists them.
inline constexpr Lv2PluginType kLv2PluginTypes[] = {
    {"urn:vorn:lv2:governor-mono", Lv2Kind::kGovernor, 1},
    {"urn:vorn:lv2:governor-stereo", Lv2Kind::kGovernor, 2},
    {"urn:vorn:lv2:delay-mono", Lv2Kind::kDelay, 1},
    {"urn:vorn:lv2:delay-stereo", Lv2Kind::kDelay, 2},
    {"urn:vorn:lv2:sound-meter-mono", Lv2Kind::kSoundMeter, 1},
    {"urn:vorn:lv2:sound-meter-stereo", Lv2Kind::kSoundMeter, 2},
};
inline constexpr size_t kLv2PluginTypeCount = std::size(kLv2PluginTypes);

// Control ranges and defaults, as vorn.ttl declares them.
constexpr float kDefaultOnsetVolume = 0.8f;
constexpr float kDefaultClampMultiplier = 0.5f;
constexpr float kDefaultVolume = 1.0f;
// The longest delay a "delay_us" port takes: one second. The delay lines are
// sized for it at instantiation; larger values are taken as this maximum.
constexpr float kMaxDelayUs = 1000000.0f;
// What a power_db port shows for a silent channel (whose mean power is
// -inf dB) and for anything quieter: the port's lower bound.
constexpr float kPowerFloorDb = -200.0f;
// The block length used when the host states no maximum block length, and
// the largest accepted from a host.
constexpr uint32_t kDefaultBlockFrames = 4096;
constexpr uint32_t kMaxBlockFrames = 1u << 20;

// The type with `uri`, or null.
const Lv2PluginType* FindLv2PluginType(const char* uri);

// One instance, as an LV2 host drives it. Unknown port indices are ignored.
class Lv2Plugin {
 public:
  virtual ~Lv2Plugin();
  Lv2Plugin(const Lv2Plugin&) = delete;
  Lv2Plugin& operator=(const Lv2Plugin&) = delete;

  // Stores the host's buffer for `port` (audio: frames of float; control:
  // one float). The buffer stays the host's; it must be valid for each Run.
  virtual void ConnectPort(uint32_t port, void* data) = 0;
  // Puts the processor back into its state after instantiation (silence in
  // the delay lines, no gain ramp, no meter interval in progress). May
  // allocate; never called concurrently with Run.
  virtual void Activate() = 0;
  // Applies changed controls, processes `frames` frames from the inputs to
  // the outputs and writes the output controls. Real-time safe.
  virtual void Run(uint32_t frames) = 0;

 protected:
  Lv2Plugin() = default;
};

// An instance of `type` at `sample_rate` frames per second, with blocks of
// at most `block_frames` frames handed to the processor (longer runs are
// processed in chunks). Returns null when the rate is not a positive
// 32-bit count of frames, `block_frames` is outside [1, kMaxBlockFrames],
// or the delay lines cannot be allocated.
std::unique_ptr<Lv2Plugin> CreateLv2Plugin(const Lv2PluginType& type,
                                           double sample_rate,
                                           uint32_t block_frames);

}  // namespace lv2
}  // namespace post_processors

#endif  // VORN_POST_PROCESSORS_LV2_LV2_PLUGINS_H_
