// The one export of the vorn.lv2 bundle's library: lv2_descriptor, through
// which an LV2 host finds the six plug-ins of lv2_plugins.h. Each instance
// handle is an Lv2Plugin that the host owns between instantiate and cleanup.
//
//   const LV2_Descriptor* d = lv2_descriptor(1);  // governor-stereo
//   LV2_Handle h = d->instantiate(d, 48000.0, bundle_path, features);
//   d->connect_port(h, 0, left_in);  // ... every port, then
//   d->activate(h);
//   d->run(h, 256);
//   d->cleanup(h);
//
// The host's maximum block length (bufsz:maxBlockLength, through the
// options and URID map features) sizes the scratch block; without it, runs
// are processed in chunks of kDefaultBlockFrames.
//
// The library logs warnings and errors only: the processors' INFO lines
// describe their creation settings, which the ports replace at once. The
// library has its own copy of the logging state, so the host's is untouched.

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/core/lv2_util.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <iterator>
#include <memory>

#include "base/logging/logging.h"
#include "post_processors/lv2/lv2_plugins.h"

namespace {

using post_processors::lv2::Lv2Plugin;

// The host's maximum block length when its features state one within
// [1, kMaxBlockFrames]; otherwise kDefaultBlockFrames.
uint32_t BlockFrames(const LV2_Feature* const* features) {
  const LV2_URID_Map* map = nullptr;
  const LV2_Options_Option* options = nullptr;
  if (lv2_features_query(features, LV2_URID__map, &map, true,
                         LV2_OPTIONS__options, &options, true,
                         nullptr) != nullptr ||
      map == nullptr || options == nullptr) {
    return post_processors::lv2::kDefaultBlockFrames;
  }
  const LV2_URID max_block =
      map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
  const LV2_URID atom_int = map->map(map->handle, LV2_ATOM__Int);
  for (; options->key != 0; ++options) {
    if (options->key != max_block || options->type != atom_int ||
        options->size != sizeof(int32_t) || options->value == nullptr) {
      continue;
    }
    const int32_t frames = *static_cast<const int32_t*>(options->value);
    if (frames >= 1 && static_cast<uint32_t>(frames) <=
                           post_processors::lv2::kMaxBlockFrames) {
      return static_cast<uint32_t>(frames);
    }
  }
  return post_processors::lv2::kDefaultBlockFrames;
}

LV2_Handle Instantiate(const LV2_Descriptor* descriptor, double sample_rate,
                       const char* bundle_path,
                       const LV2_Feature* const* features) {
  const post_processors::lv2::Lv2PluginType* type =
      post_processors::lv2::FindLv2PluginType(descriptor->URI);
  if (type == nullptr) return nullptr;
  static const bool quiet = [] {
    logging::SetMinLogLevel(logging::LOG_WARNING);
    return true;
  }();
  (void)quiet;
  // Ownership passes to the host until Cleanup.
  return post_processors::lv2::CreateLv2Plugin(*type, sample_rate,
                                               BlockFrames(features))
      .release();
}

Lv2Plugin* AsPlugin(LV2_Handle handle) {
  return static_cast<Lv2Plugin*>(handle);
}

void ConnectPort(LV2_Handle handle, uint32_t port, void* data) {
  AsPlugin(handle)->ConnectPort(port, data);
}

void Activate(LV2_Handle handle) { AsPlugin(handle)->Activate(); }

void Run(LV2_Handle handle, uint32_t frames) { AsPlugin(handle)->Run(frames); }

void Deactivate(LV2_Handle handle) {}

void Cleanup(LV2_Handle handle) {
  std::unique_ptr<Lv2Plugin> owned(AsPlugin(handle));
}

const void* ExtensionData(const char* uri) { return nullptr; }

constexpr LV2_Descriptor MakeDescriptor(const char* uri) {
  return LV2_Descriptor{uri, Instantiate, ConnectPort, Activate,
                        Run, Deactivate,  Cleanup,     ExtensionData};
}

constexpr LV2_Descriptor kDescriptors[] = {
    MakeDescriptor(post_processors::lv2::kLv2PluginTypes[0].uri),
    MakeDescriptor(post_processors::lv2::kLv2PluginTypes[1].uri),
    MakeDescriptor(post_processors::lv2::kLv2PluginTypes[2].uri),
    MakeDescriptor(post_processors::lv2::kLv2PluginTypes[3].uri),
    MakeDescriptor(post_processors::lv2::kLv2PluginTypes[4].uri),
    MakeDescriptor(post_processors::lv2::kLv2PluginTypes[5].uri),
};
static_assert(std::size(kDescriptors) ==
                  post_processors::lv2::kLv2PluginTypeCount,
              "one descriptor per plug-in type");

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  if (index >= std::size(kDescriptors)) return nullptr;
  return &kDescriptors[index];
}
