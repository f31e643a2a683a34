#include "vorn_audio_host/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "base/logging/eintr.h"

namespace audio_host {

namespace {

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string DirName(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

Output::~Output() {
  file_.reset();
  fd_.reset();
  if (!temp_path_.empty()) unlink(temp_path_.c_str());
}

bool Output::Open(const std::string& path, const struct stat* input,
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

bool Output::Commit(std::string* error) {
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

bool Output::OpenTemporary(const struct stat* existing, std::string* error) {
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
    *error = "cannot write " + path_ + ": cannot create a temporary file in " +
             DirName(final_path_) + ": " + ErrnoText(errno);
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

}  // namespace audio_host
