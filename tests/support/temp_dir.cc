#include "tests/support/temp_dir.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace vorn {
namespace test {

ScopedTempDir::ScopedTempDir() {
  const char* base = getenv("TMPDIR");
  std::string pattern =
      std::string(base && *base ? base : "/tmp") + "/vorn_test.XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
}

ScopedTempDir::~ScopedTempDir() {
  if (valid()) RemoveTree(path_);
}

std::string ScopedTempDir::Path(const std::string& name) const {
  return path_ + "/" + name;
}

bool RemoveTree(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return errno == ENOENT;
  if (!S_ISDIR(info.st_mode)) return unlink(path.c_str()) == 0;
  // Make the directory readable and writable first: a test may have taken
  // permissions away to provoke an error.
  chmod(path.c_str(), 0700);
  if (DIR* dir = opendir(path.c_str())) {
    std::vector<std::string> names;
    while (struct dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    for (const std::string& name : names) RemoveTree(path + "/" + name);
  }
  return rmdir(path.c_str()) == 0;
}

}  // namespace test
}  // namespace vorn
