#include "base/files/path_service.h"

#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/logging/eintr.h"

namespace base {

namespace {

// Longest /proc/self/exe target read, in bytes.
constexpr size_t kMaxExecutablePathBuffer = 4096;

// Everything the path service keeps between calls.
struct PathData {
  std::mutex lock;
  std::map<int, FilePath> cache;  // guarded by lock; never empty paths
};

PathData& GetPathData() {
  static PathData* data = new PathData;  // never destroyed: used at exit
  return *data;
}

bool GetCurrentDirectory(FilePath* path) {
  std::vector<char> buffer(PATH_MAX + 1);
  if (getcwd(buffer.data(), buffer.size()) == nullptr) return false;
  *path = FilePath(buffer.data());
  return true;
}

bool GetExecutableFile(FilePath* path) {
  char buffer[kMaxExecutablePathBuffer];
  ssize_t length = RetryOnEintr(
      [&] { return readlink("/proc/self/exe", buffer, sizeof(buffer)); });
  // A result that fills the buffer may have been cut short.
  if (length <= 0 || static_cast<size_t>(length) >= sizeof(buffer)) {
    return false;
  }
  *path = FilePath(std::string_view(buffer, static_cast<size_t>(length)));
  return true;
}

// The answer for one of the keys of PathKey; false for any other key.
bool FindPath(int key, FilePath* path) {
  switch (key) {
    case FILE_EXE:
    case FILE_MODULE:
      return GetExecutableFile(path);
    case DIR_EXE:
    case DIR_MODULE:
    case DIR_ASSETS: {
      FilePath file;
      if (!PathService::Get(FILE_EXE, &file)) return false;
      *path = file.DirName();
      return true;
    }
    case DIR_TEMP: {
      // Set but empty counts as set: the answer is then empty, a failure.
      const char* tmpdir = getenv("TMPDIR");
      *path = FilePath(tmpdir != nullptr ? tmpdir : "/tmp");
      return true;
    }
    case DIR_HOME: {
      const char* home = getenv("HOME");
      if (home != nullptr && *home != '\0') {
        *path = FilePath(home);
        return true;
      }
      // An unusable temporary directory leaves an empty answer: a failure.
      FilePath temp;
      *path = PathService::Get(DIR_TEMP, &temp) ? temp : FilePath();
      return true;
    }
    default:
      return false;
  }
}

// `path` as an absolute path with links resolved; empty when it cannot be.
FilePath MakeAbsolute(const FilePath& path) {
  char* resolved = realpath(path.value().c_str(), nullptr);
  if (resolved == nullptr) return FilePath();
  FilePath result(resolved);
  free(resolved);
  return result;
}

}  // namespace

bool PathService::Get(int key, FilePath* path) {
  if (key == DIR_CURRENT) return GetCurrentDirectory(path);
  if (key <= PATH_START) return false;

  PathData& data = GetPathData();
  {
    std::lock_guard<std::mutex> hold(data.lock);
    auto cached = data.cache.find(key);
    if (cached != data.cache.end()) {
      *path = cached->second;
      return true;
    }
  }

  // Found without the lock: finding one key may ask for another.
  FilePath answer;
  if (!FindPath(key, &answer)) return false;
  if (PathHasParentReference(answer)) answer = MakeAbsolute(answer);
  if (answer.empty()) return false;

  std::lock_guard<std::mutex> hold(data.lock);
  data.cache[key] = answer;
  *path = answer;
  return true;
}

void PathService::ClearCacheForTesting() {
  PathData& data = GetPathData();
  std::lock_guard<std::mutex> hold(data.lock);
  data.cache.clear();
}

}  // namespace base
