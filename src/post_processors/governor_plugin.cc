// The one export of libvorn_governor_2.0: the factory the host calls. Ownership
// of the processor passes to the host, which deletes it through the
// interface.

#include "post_processors/audio_post_processor2.h"
#include "post_processors/governor.h"

extern "C" AudioPostProcessor2* AudioPostProcessor2Shlib_Create(
    const std::string& config, int32_t channels) {
  return post_processors::Governor::Create(config, channels).release();
}
