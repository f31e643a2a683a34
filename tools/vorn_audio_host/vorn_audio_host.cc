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
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/eintr.h"
#include "base/scoped_fd.h"
#include "base/string_number.h"
#include "post_processors/audio_post_processor2.h"

#ifndef VORN_PLUGIN_DIR_FROM_HOST
#define VORN_PLUGIN_DIR_FROM_HOST "../../../lib/vorn"
#endif

namespace {

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

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

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

std::string ErrnoText(int err) { return std::strerror(err); }

// The folder part of `path` ("." when it has none).
std::string DirName(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A sound file on a duplicate of `fd`, which libsndfile owns: it closes the
// descriptor it is given when opening fails, whatever close_desc says, so
// `fd` itself stays ours to use and close. Null on failure (sf_strerror(null)
// tells why).
SndfilePtr OpenSndfile(int fd, int mode, SF_INFO* info) {
  const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return nullptr;
  return SndfilePtr(sf_open_fd(copy, mode, info, SF_TRUE));
}

// --- Reading the input -----------------------------------------------------

uint32_t LittleEndian32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t LittleEndian16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// Reads exactly `size` bytes at `offset`; false on a short read or error.
bool ReadAt(int fd, int64_t offset, unsigned char* buffer, size_t size) {
  while (size > 0) {
    const ssize_t n = base::RetryOnEintr(
        [&] { return pread(fd, buffer, size, static_cast<off_t>(offset)); });
    if (n <= 0) return false;
    buffer += n;
    size -= static_cast<size_t>(n);
    offset += n;
  }
  return true;
}

// When the file on `fd` is a RIFF WAVE file whose format chunk gives no
// channels or no sample rate, says so in words; else "". libsndfile's own
// message for these ("SF_INFO struct incomplete") names its internals.
std::string DescribeWavFormatFault(int fd) {
  unsigned char header[12];
  if (!ReadAt(fd, 0, header, sizeof(header)) ||
      std::memcmp(header, "RIFF", 4) != 0 ||
      std::memcmp(header + 8, "WAVE", 4) != 0) {
    return "";
  }
  int64_t offset = 12;
  // Bounded walk: a file of chained empty chunks cannot keep us here.
  for (int chunk = 0; chunk < 4096; ++chunk) {
    unsigned char chunk_header[8];
    if (!ReadAt(fd, offset, chunk_header, sizeof(chunk_header))) return "";
    const uint32_t size = LittleEndian32(chunk_header + 4);
    if (std::memcmp(chunk_header, "fmt ", 4) == 0) {
      unsigned char format[8];
      if (size < sizeof(format) || !ReadAt(fd, offset + 8, format, 8)) {
        return "its WAV format chunk is too short";
      }
      const uint16_t channels = LittleEndian16(format + 2);
      const uint32_t rate = LittleEndian32(format + 4);
      if (channels == 0) return "its WAV header gives 0 channels";
      if (rate == 0) return "its WAV header gives a sample rate of 0 Hz";
      if (rate > static_cast<uint32_t>(INT32_MAX)) {
        return "its WAV header gives a sample rate of " + std::to_string(rate) +
               " Hz, beyond what a sample rate can hold";
      }
      return "";
    }
    offset += 8 + static_cast<int64_t>(size) + (size & 1);
  }
  return "";
}

// The input file: the descriptor, its identity and the sound file read from
// it. Opened by OpenInput.
struct Input {
  base::ScopedFd fd;
  struct stat identity = {};  // fstat of fd: device and inode
  SF_INFO info = {};
  SndfilePtr file;
};

bool OpenInput(const std::string& path, Input* input, std::string* error) {
  input->fd.reset(base::RetryOnEintr(
      [&] { return open(path.c_str(), O_RDONLY | O_CLOEXEC); }));
  if (!input->fd.valid()) {
    *error = "cannot read " + path + ": " + ErrnoText(errno);
    return false;
  }
  if (fstat(input->fd.get(), &input->identity) != 0) {
    *error = "cannot read " + path + ": " + ErrnoText(errno);
    return false;
  }
  if (S_ISDIR(input->identity.st_mode)) {
    *error = "cannot read " + path + ": it is a directory";
    return false;
  }
  input->file = OpenSndfile(input->fd.get(), SFM_READ, &input->info);
  if (!input->file) {
    const std::string libsndfile_text = sf_strerror(nullptr);
    std::string fault = DescribeWavFormatFault(input->fd.get());
    *error = "cannot read " + path + ": " +
             (fault.empty() ? libsndfile_text : fault);
    return false;
  }
  if (input->info.channels < 1 || input->info.samplerate < 1) {
    *error = path + " has no channels or no sample rate";
    return false;
  }
  return true;
}

// --- Writing the output ----------------------------------------------------

// Where the result goes. A regular file, new or existing, is written to a
// temporary file in the same folder and renamed over the destination only by
// Commit, so a failed run leaves what was there before; a symbolic link keeps
// pointing where it did and its target is replaced. A device or FIFO (such as
// /dev/null) is written directly.
class Output {
 public:
  Output() = default;
  // Removes the temporary file unless Commit succeeded.
  ~Output() {
    file_.reset();
    fd_.reset();
    if (!temp_path_.empty()) unlink(temp_path_.c_str());
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Opens `path` for a sound file of `info`'s format, channels and rate.
  // `input`, when not null, is the input file's identity: an output that is
  // the same file (same device and inode, whatever the names) is refused.
  // Returns false with *error set.
  bool Open(const std::string& path, const struct stat* input,
            const SF_INFO& info, std::string* error) {
    path_ = path;
    struct stat existing;
    const bool exists = stat(path.c_str(), &existing) == 0;
    if (exists && input != nullptr && existing.st_dev == input->st_dev &&
        existing.st_ino == input->st_ino) {
      *error = "--output=" + path +
               " is the input file itself; writing it would destroy the "
               "input before it is read (choose another output file)";
      return false;
    }
    if (exists && S_ISDIR(existing.st_mode)) {
      *error = "cannot write " + path + ": it is a directory";
      return false;
    }
    if (exists && !S_ISREG(existing.st_mode)) {
      fd_.reset(base::RetryOnEintr(
          [&] { return open(path.c_str(), O_WRONLY | O_CLOEXEC | O_TRUNC); }));
      if (!fd_.valid()) {
        *error = "cannot write " + path + ": " + ErrnoText(errno);
        return false;
      }
    } else if (!OpenTemporary(exists ? &existing : nullptr, error)) {
      return false;
    }
    SF_INFO out_info = info;
    out_info.frames = 0;
    file_ = OpenSndfile(fd_.get(), SFM_WRITE, &out_info);
    if (!file_) {
      *error = "cannot write " + path + ": " + sf_strerror(nullptr);
      return false;
    }
    return true;
  }

  SNDFILE* file() const { return file_.get(); }

  // Finishes the file and, for a regular file, moves it into place. Returns
  // false with *error set; the destination is then left as it was.
  bool Commit(std::string* error) {
    const int close_error = sf_close(file_.release());
    if (close_error != SF_ERR_NO_ERROR) {
      *error = "cannot finish " + path_ + ": " + sf_error_number(close_error);
      return false;
    }
    if (temp_path_.empty()) {
      fd_.reset();
      return true;
    }
    if (base::RetryOnEintr([&] { return fsync(fd_.get()); }) != 0 ||
        !fd_.Close()) {
      *error = "cannot write " + path_ + ": " + ErrnoText(errno);
      return false;
    }
    if (rename(temp_path_.c_str(), final_path_.c_str()) != 0) {
      *error = "cannot replace " + final_path_ + ": " + ErrnoText(errno);
      return false;
    }
    temp_path_.clear();
    return true;
  }

 private:
  // Creates the temporary file beside the destination, with the permission
  // bits of `existing` (an existing regular file) or of a new file.
  bool OpenTemporary(const struct stat* existing, std::string* error) {
    final_path_ = path_;
    struct stat link;
    if (lstat(path_.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
      char* resolved = realpath(path_.c_str(), nullptr);
      if (resolved != nullptr) {
        final_path_ = resolved;
        std::free(resolved);
      }
    }
    std::string pattern =
        DirName(final_path_) + "/." + BaseName(final_path_) + ".XXXXXX";
    fd_.reset(mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd_.valid()) {
      *error = "cannot write " + path_ +
               ": cannot create a temporary file in " + DirName(final_path_) +
               ": " + ErrnoText(errno);
      return false;
    }
    temp_path_ = pattern;
    mode_t mode;
    if (existing != nullptr) {
      mode = existing->st_mode & 07777;
    } else {
      const mode_t mask = umask(0);
      umask(mask);
      mode = 0666 & ~mask;
    }
    fchmod(fd_.get(), mode);
    return true;
  }

  std::string path_;        // as given
  std::string final_path_;  // what Commit renames onto (links resolved)
  std::string temp_path_;   // the temporary file; empty when none is left
  base::ScopedFd fd_;       // the file written
  SndfilePtr file_;         // writes to fd_; null after Commit
};

// --- Plug-ins ----------------------------------------------------------------

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

int Run(const Options& options) {
  if (options.input.empty()) return Fail("--input is required (see --help)");
  Input in;
  std::string error;
  if (!OpenInput(options.input, &in, &error)) return Fail(error);
  const int64_t channels = in.info.channels;
  const int64_t block_frames = options.block_frames;

  // The buffer's size is checked before anything is allocated.
  if (block_frames * channels > kMaxBlockSamples) {
    return Fail("a block of " + std::to_string(block_frames) + " frames of " +
                std::to_string(channels) + " channels needs " +
                std::to_string(block_frames * channels * 4 >> 20) +
                " MiB, more than the limit of " +
                std::to_string(kMaxBlockSamples * 4 >> 20) +
                " MiB; use a smaller --block-frames");
  }

  Output out;
  if (!options.output.empty() &&
      !out.Open(options.output, &in.identity, in.info, &error)) {
    return Fail(error);
  }

  std::vector<LoadedPlugin> plugins;
  if (!LoadPlugins(options, in.info.channels, in.info.samplerate, &plugins,
                   &error)) {
    return Fail(error);
  }

  // Delays in series add up: that much silence lets the last input out.
  int64_t tail = 0;
  if (options.tail) {
    for (const LoadedPlugin& p : plugins)
      tail += p.processor->Status()->tail_frames;
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
    return Fail("cannot allocate " +
                std::to_string(chunk_samples * sizeof(float) >> 20) +
                " MiB for the audio buffer; use a smaller --block-frames");
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
      return Fail("write error on " + options.output);
    }
  }
  if (sf_error(in.file.get()) != SF_ERR_NO_ERROR) {
    return Fail("read error on " + options.input + ": " +
                sf_strerror(in.file.get()));
  }
  plugins.clear();  // processors are deleted before their libraries close
  if (out.file() && !out.Commit(&error)) return Fail(error);
  return 0;
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
  return Run(options);
}
