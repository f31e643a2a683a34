// vorn_audio_host: runs audio post-processor plug-ins over a WAV file the way
// the media pipeline does. Each plug-in is loaded with dlopen, created
// through AudioPostProcessor2Shlib_Create with its configuration text and the
// file's channel count, configured with the file's sample rate, and driven
// block by block in place; the plug-ins run in the order given.
//
//   vorn_audio_host --input=in.wav --output=out.wav
//       --plugin=build/default/src/post_processors/libvorn_governor_2.0.so
//       --config='{"onset_volume": 0.5, "clamp_multiplier": 0.5}'
//       --plugin=libvorn_sound_meter_2.0.so --config='{"name": "out"}'
//
//   vorn_audio_host --generate-tone=440 --seconds=3 --output=tone.wav
//
// A --plugin with a "/" is a path; a bare name is looked up beside this
// program, then in the installed plug-in folder. The output is written to a
// temporary file beside it and renamed into place only when the run
// succeeds; an output that is the input file itself is refused.
//
// Exit status 0 on success, 1 with a message on standard error otherwise.

#include <dlfcn.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/logging/eintr.h"
#include "base/logging/string_number.h"
#include "post_processors/audio_post_processor2.h"
#include "vorn_audio_host/input_file.h"
#include "vorn_audio_host/output_file.h"

#ifndef VORN_PLUGIN_DIR_FROM_HOST
#define VORN_PLUGIN_DIR_FROM_HOST "../../../lib/vorn"
#endif

namespace {

using audio_host::DirName;
using audio_host::Input;
using audio_host::Output;

constexpr char kUsage[] =
    "Usage: vorn_audio_host --input=IN.wav [--output=OUT.wav]\n"
    "           [--plugin=LIB.so [--config=JSON]]... [--block-frames=N]\n"
    "           [--volume=V] [--no-tail] [--verbose]\n"
    "       vorn_audio_host --generate-tone=HZ --output=OUT.wav [--seconds=S]\n"
    "           [--rate=R] [--channels=C] [--amplitude=A]\n"
    "\n"
    "Runs audio post-processor plug-ins over a WAV file, block by block, in\n"
    "the order given, as the media pipeline does.\n"
    "\n"
    "  --input=PATH          audio file to process (any format libsndfile "
    "reads)\n"
    "  --output=PATH         where to write the result, in the input's "
    "format;\n"
    "                        without it the result is discarded (metering "
    "only).\n"
    "                        Written to a temporary file beside PATH and\n"
    "                        renamed over it only on success; it may not be\n"
    "                        the input file\n"
    "  --plugin=LIB          plug-in library to load (repeatable): a path,\n"
    "                        or a bare file name looked up beside this\n"
    "                        program, then in the installed plug-in folder\n"
    "                        (" VORN_PLUGIN_DIR_FROM_HOST
    " from this program's folder)\n"
    "  --config=JSON         configuration text of the preceding --plugin\n"
    "                        (default {})\n"
    "  --block-frames=N      frames per Process call, 1..1048576 (default "
    "256);\n"
    "                        N times the channel count may not exceed "
    "16777216\n"
    "  --volume=V            volume handed to every Process call, a finite\n"
    "                        number within the float range (default 1.0)\n"
    "  --no-tail             do not append the plug-ins' tail frames of "
    "silence\n"
    "  --verbose             print each plug-in's status after Configure\n"
    "  --generate-tone=HZ    write a sine tone to --output instead (16-bit "
    "WAV)\n"
    "  --seconds=S           tone length (default 3)\n"
    "  --rate=R              tone sample rate (default 48000)\n"
    "  --channels=C          tone channels (default 2)\n"
    "  --amplitude=A         tone amplitude, linear (default 0.5)\n"
    "  --help                print this text\n"
    "\n"
    "The plug-ins' log lines (such as the sound meter's reports) go to\n"
    "standard error.\n";

constexpr int32_t kMaxBlockFrames = 1 << 20;
// The most samples (frames times channels) one block may hold: 64 MiB of
// floats. Larger blocks are refused before anything is allocated; on 32-bit
// ARM their size may not even fit a size_t.
constexpr int64_t kMaxBlockSamples = int64_t{1} << 24;
// Frames per libsndfile read and write, rounded down to whole blocks (and
// never below one block).
constexpr int64_t kChunkFrames = 1 << 16;

struct PluginRequest {
  std::string path;
  std::string config = "{}";
};

struct Options {
  std::string input;
  std::string output;
  std::vector<PluginRequest> plugins;
  int32_t block_frames = 256;
  float volume = 1.0f;
  bool tail = true;
  bool verbose = false;
  bool help = false;
  double tone_hz = 0.0;  // > 0: generate mode
  double seconds = 3.0;
  int32_t rate = 48000;
  int32_t channels = 2;
  double amplitude = 0.5;
};

int Fail(const std::string& message) {
  std::fprintf(stderr, "vorn_audio_host: %s\n", message.c_str());
  return 1;
}

bool ParseDouble(const std::string& text, double* out) {
  return base::StringToDouble(text, out);
}

bool ParseInt(const std::string& text, int32_t low, int32_t high,
              int32_t* out) {
  int32_t value = 0;
  if (!base::StringToInt32(text, &value) || value < low || value > high) {
    return false;
  }
  *out = value;
  return true;
}

bool IsValueOption(const std::string& name) {
  for (const char* option :
       {"--input", "--output", "--plugin", "--config", "--block-frames",
        "--volume", "--generate-tone", "--seconds", "--rate", "--channels",
        "--amplitude"}) {
    if (name == option) return true;
  }
  return false;
}

// Fills *options from argv; returns false with *error set on a bad option.
bool ParseOptions(int argc, char** argv, Options* options, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const bool has_value = equals != std::string::npos;
    const std::string value = has_value ? arg.substr(equals + 1) : "";
    bool ok = true;
    if (name == "--help" && !has_value) {
      options->help = true;
    } else if (name == "--no-tail" && !has_value) {
      options->tail = false;
    } else if (name == "--verbose" && !has_value) {
      options->verbose = true;
    } else if (!has_value) {
      *error = (IsValueOption(name) ? "option " + arg + " needs a value"
                                    : "unknown option " + arg) +
               " (see --help)";
      return false;
    } else if (name == "--input") {
      options->input = value;
      ok = !value.empty();
    } else if (name == "--output") {
      options->output = value;
      ok = !value.empty();
    } else if (name == "--plugin") {
      options->plugins.push_back(PluginRequest{value});
      ok = !value.empty();
    } else if (name == "--config") {
      if (options->plugins.empty()) {
        *error = "--config must follow the --plugin it configures";
        return false;
      }
      options->plugins.back().config = value;
    } else if (name == "--block-frames") {
      ok = ParseInt(value, 1, kMaxBlockFrames, &options->block_frames);
    } else if (name == "--volume") {
      // Converting a double outside the float range to float is undefined.
      double volume = 0.0;
      if (!ParseDouble(value, &volume) || !std::isfinite(volume) ||
          std::fabs(volume) > static_cast<double>(FLT_MAX)) {
        *error = "bad option " + arg +
                 ": the volume must be a finite number within the float "
                 "range (magnitude at most 3.40282e+38)";
        return false;
      }
      options->volume = static_cast<float>(volume);
    } else if (name == "--generate-tone") {
      ok = ParseDouble(value, &options->tone_hz) && options->tone_hz > 0.0 &&
           std::isfinite(options->tone_hz);
    } else if (name == "--seconds") {
      ok = ParseDouble(value, &options->seconds) && options->seconds > 0.0 &&
           options->seconds <= 86400.0;
    } else if (name == "--rate") {
      ok = ParseInt(value, 1, 768000, &options->rate);
    } else if (name == "--channels") {
      ok = ParseInt(value, 1, 64, &options->channels);
    } else if (name == "--amplitude") {
      ok = ParseDouble(value, &options->amplitude) &&
           std::fabs(options->amplitude) <= 1.0;
    } else {
      *error = "unknown option " + arg + " (see --help)";
      return false;
    }
    if (!ok) {
      *error = "bad option " + arg + " (see --help)";
      return false;
    }
  }
  return true;
}

struct LibraryCloser {
  void operator()(void* handle) const { dlclose(handle); }
};
using LibraryPtr = std::unique_ptr<void, LibraryCloser>;

struct ProcessorDeleter {
  void operator()(AudioPostProcessor2* p) const { delete p; }
};

struct FreeDeleter {
  void operator()(float* p) const { std::free(p); }
};

// One loaded plug-in. The processor is declared after the library so that it
// is destroyed first, while its code is still mapped.
struct LoadedPlugin {
  LibraryPtr library;
  std::unique_ptr<AudioPostProcessor2, ProcessorDeleter> processor;
};

using CreateFunction = AudioPostProcessor2* (*)(const std::string&, int32_t);

// The folder holding this program, from /proc/self/exe; "" when unknown.
std::string ProgramFolder() {
  std::vector<char> buffer(4096);
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return "";
  return DirName(std::string(buffer.data(), static_cast<size_t>(n)));
}

bool IsFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// What to hand dlopen for `name`: `name` itself when it holds a "/", else the
// first of <program folder>/name and <program folder>/<installed plug-in
// folder>/name that exists. Returns "" with *error set when a bare name is in
// neither (dlopen would search the system's library path instead, and never
// the current folder).
std::string FindPlugin(const std::string& name, std::string* error) {
  if (name.find('/') != std::string::npos) return name;
  const std::string folder = ProgramFolder();
  if (!folder.empty()) {
    for (const std::string& candidate :
         {folder + "/" + name,
          folder + "/" VORN_PLUGIN_DIR_FROM_HOST "/" + name}) {
      if (IsFile(candidate)) return candidate;
    }
  }
  *error = "cannot find plug-in " + name + " beside this program (" + folder +
           ") or in " + folder + "/" VORN_PLUGIN_DIR_FROM_HOST +
           "; give its path, such as ./" + name;
  return "";
}

int GenerateTone(const Options& options) {
  if (options.output.empty()) return Fail("--generate-tone needs --output");
  SF_INFO info = {};
  info.samplerate = options.rate;
  info.channels = options.channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  Output out;
  std::string error;
  if (!out.Open(options.output, nullptr, info, &error)) return Fail(error);
  const int64_t total =
      static_cast<int64_t>(std::llround(options.seconds * options.rate));
  const size_t channels = static_cast<size_t>(options.channels);
  std::vector<float> block(4096 * channels);
  const double step = 2.0 * M_PI * options.tone_hz / options.rate;
  for (int64_t frame = 0; frame < total;) {
    const int64_t count = std::min<int64_t>(4096, total - frame);
    for (int64_t j = 0; j < count; ++j) {
      const float s = static_cast<float>(
          options.amplitude * std::sin(step * static_cast<double>(frame + j)));
      for (size_t c = 0; c < channels; ++c) block[j * channels + c] = s;
    }
    if (sf_writef_float(out.file(), block.data(), count) != count) {
      return Fail("write error on " + options.output);
    }
    frame += count;
  }
  if (!out.Commit(&error)) return Fail(error);
  return 0;
}

bool LoadPlugins(const Options& options, int32_t channels, int32_t rate,
                 std::vector<LoadedPlugin>* plugins, std::string* error) {
  for (const PluginRequest& request : options.plugins) {
    const std::string path = FindPlugin(request.path, error);
    if (path.empty()) return false;
    LoadedPlugin plugin;
    // RTLD_NODELETE: the library's process-wide state (its logging settings)
    // stays mapped after dlclose, as in a host that never unloads plug-ins.
    plugin.library.reset(
        dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
    if (!plugin.library) {
      *error = std::string("cannot load plug-in: ") + dlerror();
      return false;
    }
    auto create = reinterpret_cast<CreateFunction>(
        dlsym(plugin.library.get(), "AudioPostProcessor2Shlib_Create"));
    if (create == nullptr) {
      *error = path + " has no AudioPostProcessor2Shlib_Create";
      return false;
    }
    plugin.processor.reset(create(request.config, channels));
    if (!plugin.processor) {
      *error = path + ": the factory returned null";
      return false;
    }
    if (!plugin.processor->Configure(ProcessorConfig{rate})) {
      *error = path + ": Configure(" + std::to_string(rate) + ") failed";
      return false;
    }
    if (options.verbose) {
      const ProcessorStatus* status = plugin.processor->Status();
      std::fprintf(stderr,
                   "vorn_audio_host: %s: sample_rate=%d output_channels=%d "
                   "latency_frames=%d tail_frames=%d\n",
                   path.c_str(), status->sample_rate, status->output_channels,
                   status->latency_frames, status->tail_frames);
    }
    plugins->push_back(std::move(plugin));
  }
  return true;
}

// A run's three stages. Load opens the input and the output and loads the
// plug-ins; Process streams the input through the plug-ins into the output;
// Finish unloads the plug-ins and commits the output. Each returns false
// with *error set.
struct Run {
  explicit Run(const Options& run_options) : options(run_options) {}

  const Options& options;
  Input in;
  Output out;
  std::vector<LoadedPlugin> plugins;

  bool Load(std::string* error);
  bool Process(std::string* error);
  bool Finish(std::string* error);
};

bool Run::Load(std::string* error) {
  if (options.input.empty()) {
    *error = "--input is required (see --help)";
    return false;
  }
  if (!OpenInput(options.input, &in, error)) return false;
  const int64_t channels = in.info.channels;
  const int64_t block_frames = options.block_frames;
  // The buffer's size is checked before anything is allocated.
  if (block_frames * channels > kMaxBlockSamples) {
    *error = "a block of " + std::to_string(block_frames) + " frames of " +
             std::to_string(channels) + " channels needs " +
             std::to_string(block_frames * channels * 4 >> 20) +
             " MiB, more than the limit of " +
             std::to_string(kMaxBlockSamples * 4 >> 20) +
             " MiB; use a smaller --block-frames";
    return false;
  }
  if (!options.output.empty() &&
      !out.Open(options.output, &in.identity, in.info, error)) {
    return false;
  }
  return LoadPlugins(options, in.info.channels, in.info.samplerate, &plugins,
                     error);
}

bool Run::Process(std::string* error) {
  const int64_t channels = in.info.channels;
  const int64_t block_frames = options.block_frames;
  // Delays in series add up: that much silence lets the last input out.
  int64_t tail = 0;
  if (options.tail) {
    for (const LoadedPlugin& p : plugins) {
      tail += p.processor->Status()->tail_frames;
    }
  }
  // The file is read and written in chunks of whole blocks (libsndfile's
  // per-call cost dominates at small block sizes), and each chunk is handed
  // to the plug-ins block by block. Block boundaries stay where reading one
  // block at a time would put them: every chunk but the last is a whole
  // number of blocks, so only the stream's final block can be short. A chunk
  // holds at most kMaxBlockSamples samples unless one block alone is that
  // large.
  const int64_t chunk_target =
      std::min<int64_t>(kChunkFrames, kMaxBlockSamples / channels);
  const int64_t chunk_frames =
      std::max<int64_t>(chunk_target / block_frames, 1) * block_frames;
  const size_t chunk_samples = static_cast<size_t>(chunk_frames * channels);
  std::unique_ptr<float, FreeDeleter> buffer(
      static_cast<float*>(std::calloc(chunk_samples, sizeof(float))));
  if (!buffer) {
    *error = "cannot allocate " +
             std::to_string(chunk_samples * sizeof(float) >> 20) +
             " MiB for the audio buffer; use a smaller --block-frames";
    return false;
  }
  float* const chunk = buffer.get();
  bool input_done = false;
  while (true) {
    int64_t frames = 0;
    if (!input_done) {
      frames = sf_readf_float(in.file.get(), chunk, chunk_frames);
      if (frames < chunk_frames) input_done = true;
    }
    if (input_done && frames < chunk_frames && tail > 0) {
      const int64_t fill = std::min<int64_t>(chunk_frames - frames, tail);
      std::fill(chunk + frames * channels, chunk + (frames + fill) * channels,
                0.0f);
      frames += fill;
      tail -= fill;
    }
    if (frames == 0) break;
    for (int64_t start = 0; start < frames; start += block_frames) {
      float* block = chunk + start * channels;
      const int64_t count = std::min(block_frames, frames - start);
      for (LoadedPlugin& p : plugins) {
        p.processor->Process(block, static_cast<int32_t>(count),
                             options.volume);
      }
    }
    if (out.file() && sf_writef_float(out.file(), chunk, frames) != frames) {
      *error = "write error on " + options.output;
      return false;
    }
  }
  if (sf_error(in.file.get()) != SF_ERR_NO_ERROR) {
    *error =
        "read error on " + options.input + ": " + sf_strerror(in.file.get());
    return false;
  }
  return true;
}

bool Run::Finish(std::string* error) {
  plugins.clear();  // processors are deleted before their libraries close
  return !out.file() || out.Commit(error);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error;
  if (!ParseOptions(argc, argv, &options, &error)) return Fail(error);
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (options.tone_hz > 0.0) return GenerateTone(options);
  Run run(options);
  if (!run.Load(&error) || !run.Process(&error) || !run.Finish(&error)) {
    return Fail(error);
  }
  return 0;
}
