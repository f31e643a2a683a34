// The audio host's sound files on the reading side: libsndfile handles on
// descriptors we keep, the input file with its identity, and plain words for
// the WAV header faults that libsndfile reports in terms of its internals.

#ifndef VORN_TOOLS_VORN_AUDIO_HOST_INPUT_FILE_H_
#define VORN_TOOLS_VORN_AUDIO_HOST_INPUT_FILE_H_

#include <sndfile.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "base/files/scoped_fd.h"

namespace audio_host {

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

// A sound file on a duplicate of `fd`, which libsndfile owns: it closes the
// descriptor it is given when opening fails, whatever close_desc says, so
// `fd` itself stays ours to use and close. Null on failure (sf_strerror(null)
// tells why).
SndfilePtr OpenSndfile(int fd, int mode, SF_INFO* info);

// When the file on `fd` is a RIFF WAVE file whose format chunk gives no
// channels or no sample rate, says so in words; else "". libsndfile's own
// message for these ("SF_INFO struct incomplete") names its internals.
std::string DescribeWavFormatFault(int fd);

// The input file: the descriptor, its identity and the sound file read from
// it. Opened by OpenInput.
struct Input {
  base::ScopedFd fd;
  struct stat identity = {};  // fstat of fd: device and inode
  SF_INFO info = {};
  SndfilePtr file;
};

// Opens `path` for reading; false with *error set (naming the file) when it
// cannot be read as sound with at least one channel and a sample rate.
bool OpenInput(const std::string& path, Input* input, std::string* error);

// strerror(err) as a string.
std::string ErrnoText(int err);

}  // namespace audio_host

#endif  // VORN_TOOLS_VORN_AUDIO_HOST_INPUT_FILE_H_
