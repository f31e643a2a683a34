// The audio host's output file and its temporary-file commit.

#ifndef VORN_TOOLS_VORN_AUDIO_HOST_OUTPUT_FILE_H_
#define VORN_TOOLS_VORN_AUDIO_HOST_OUTPUT_FILE_H_

#include <sndfile.h>
#include <sys/stat.h>

#include <string>

#include "base/files/scoped_fd.h"
#include "vorn_audio_host/input_file.h"

namespace audio_host {

// The folder part of `path` ("." when it has none).
std::string DirName(const std::string& path);

// Where the result goes. A regular file, new or existing, is written to a
// temporary file in the same folder and renamed over the destination only by
// Commit, so a failed run leaves what was there before; a symbolic link keeps
// pointing where it did and its target is replaced. A device or FIFO (such as
// /dev/null) is written directly.
class Output {
 public:
  Output() = default;
  // Removes the temporary file unless Commit succeeded.
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Opens `path` for a sound file of `info`'s format, channels and rate.
  // `input`, when not null, is the input file's identity: an output that is
  // the same file (same device and inode, whatever the names) is refused.
  // Returns false with *error set.
  bool Open(const std::string& path, const struct stat* input,
            const SF_INFO& info, std::string* error);

  SNDFILE* file() const { return file_.get(); }

  // Finishes the file and, for a regular file, moves it into place. Returns
  // false with *error set; the destination is then left as it was.
  bool Commit(std::string* error);

 private:
  // Creates the temporary file beside the destination, with the permission
  // bits of `existing` (an existing regular file) or of a new file.
  bool OpenTemporary(const struct stat* existing, std::string* error);

  std::string path_;        // as given
  std::string final_path_;  // what Commit renames onto (links resolved)
  std::string temp_path_;   // the temporary file; empty when none is left
  base::ScopedFd fd_;       // the file written
  SndfilePtr file_;         // writes to fd_; null after Commit
};
}  // namespace audio_host

#endif  // VORN_TOOLS_VORN_AUDIO_HOST_OUTPUT_FILE_H_
