// PathService: well-known directories and files by integer key, found once
// and cached for the life of the process.
//
//   base::FilePath temp;
//   if (base::PathService::Get(base::DIR_TEMP, &temp))
//     pid_path = temp.Append("process_manager.pid");   // e.g. /tmp/...
//
// Keys and how each is found:
//   DIR_CURRENT  1  the working directory (asked anew every time, never cached)
//   DIR_EXE      2  directory part of FILE_EXE
//   DIR_MODULE   3  directory part of FILE_MODULE
//   DIR_ASSETS   4  same as DIR_MODULE
//   DIR_TEMP     5  $TMPDIR when set (even when empty), else "/tmp"
//   DIR_HOME     6  $HOME when set and not empty, else DIR_TEMP
//   FILE_EXE     7  target of the link /proc/self/exe (at most 4095 bytes)
//   FILE_MODULE  8  same as FILE_EXE
// An answer with a ".." component is made absolute with links resolved; an
// empty answer is a failure (so TMPDIR="" makes DIR_TEMP fail). Thread-safe:
// one lock guards the cache.

#ifndef VORN_BASE_FILES_PATH_SERVICE_H_
#define VORN_BASE_FILES_PATH_SERVICE_H_

#include "base/files/file_path.h"

namespace base {

enum PathKey : int {
  PATH_START = 0,
  DIR_CURRENT = 1,
  DIR_EXE = 2,
  DIR_MODULE = 3,
  DIR_ASSETS = 4,
  DIR_TEMP = 5,
  DIR_HOME = 6,
  FILE_EXE = 7,
  FILE_MODULE = 8,
  PATH_END = 9,  // one past the last key
};

class PathService final {
 public:
  PathService() = delete;

  // Puts the path for `key` in `*path` and returns true, or returns false
  // and leaves `*path` unchanged when the key is unknown or the answer is
  // empty or cannot be made absolute. `path` must not be null.
  static bool Get(int key, FilePath* path);

  // Forgets every cached answer, so the next Get reads the environment
  // again.
  static void ClearCacheForTesting();
};

}  // namespace base

#endif  // VORN_BASE_FILES_PATH_SERVICE_H_
