// Runs a fuzz target's entry point over files, without libFuzzer: the seed
// corpus and the saved crash inputs of each target are replayed this way by
// the test suite (under every build, the sanitizer and armhf ones included),
// so every input that once found a fault stays a regression test.
//
//   json_reader_replay fuzz/corpus/json_reader fuzz/regressions/json_reader
//
// Each argument is a file or a folder whose regular files are replayed in
// name order. A missing argument is skipped. Exits 0 after the last input,
// 1 when no input was found at all; a failing input traps or is reported by
// the sanitizers as it would be under the fuzzer.

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc,
                                                          char*** argv);

namespace {

bool ReadWholeFile(const std::string& path, std::string* contents) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char buffer[65536];
  size_t n;
  contents->clear();
  while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
    contents->append(buffer, n);
  }
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

// The regular files named by `path`: itself, or its folder's entries.
std::vector<std::string> InputsAt(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return {};
  if (!S_ISDIR(info.st_mode)) return {path};
  std::vector<std::string> files;
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return files;
  while (const struct dirent* entry = readdir(dir)) {
    const std::string file = path + "/" + entry->d_name;
    if (stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      files.push_back(file);
    }
  }
  closedir(dir);
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const std::string& file : InputsAt(argv[i])) {
      std::string contents;
      if (!ReadWholeFile(file, &contents)) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 1;
      }
      std::fprintf(stderr, "replay %s (%zu bytes)\n", file.c_str(),
                   contents.size());
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(contents.data()),
                             contents.size());
      ++replayed;
    }
  }
  std::fprintf(stderr, "replayed %d inputs\n", replayed);
  return replayed > 0 ? 0 : 1;
}
