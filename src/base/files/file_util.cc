#include "base/files/file_util.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/files/scoped_fd.h"
#include "base/logging/eintr.h"

namespace base {

namespace {

// Size of the first read when the file does not tell its size, and of every
// later read.
constexpr size_t kUnknownSizeFirstRead = 65535;
constexpr size_t kFollowingReadSize = 65536;

// Reads from `fd` until end of file, appending to `*contents`, whose first
// read asks for `first_read` bytes and each later one for 65536. Stops with
// kTooLarge once more than `max_size` bytes were read (`*contents` then cut
// to `max_size`). `max_size` may be SIZE_MAX.
SmallFileStatus ReadDescriptor(int fd, size_t first_read, size_t max_size,
                               std::string* contents) {
  size_t total = 0;
  size_t chunk = first_read;
  for (;;) {
    if (chunk > contents->max_size() - total) return SmallFileStatus::kTooLarge;
    contents->resize(total + chunk);
    char* buffer = &(*contents)[total];
    ssize_t n = RetryOnEintr([&] { return read(fd, buffer, chunk); });
    if (n < 0) {
      contents->resize(total);
      return SmallFileStatus::kUnreadable;
    }
    if (n == 0) break;
    total += static_cast<size_t>(n);
    if (total > max_size) {
      contents->resize(max_size);
      return SmallFileStatus::kTooLarge;
    }
    chunk = kFollowingReadSize;
  }
  contents->resize(total);
  return SmallFileStatus::kOk;
}

bool Unlink(const std::string& path) {
  return RetryOnEintr([&] { return unlink(path.c_str()); }) == 0;
}

// `n` plus one, or SIZE_MAX when that would wrap.
size_t PlusOneSaturated(size_t n) { return n == SIZE_MAX ? n : n + 1; }

}  // namespace

bool PathHasParentReference(const FilePath& path) {
  std::string_view rest(path.value());
  while (!rest.empty()) {
    size_t slash = rest.find('/');
    std::string_view component = rest.substr(0, slash);
    if (component == "..") return true;
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return false;
}

bool ReadFileToString(const FilePath& path, std::string* contents) {
  return ReadFileToStringWithMaxSize(path, contents, SIZE_MAX);
}

bool ReadFileToStringWithMaxSize(const FilePath& path, std::string* contents,
                                 size_t max_size) {
  contents->clear();
  if (PathHasParentReference(path)) return false;
  ScopedFd fd(RetryOnEintr(
      [&] { return open(path.value().c_str(), O_RDONLY | O_CLOEXEC); }));
  if (fd.get() < 0) return false;

  // The first read takes the whole file when its size is known, and one byte
  // more so that the end is seen at once; 64 KiB when it is not (files under
  // /proc report 0). Never more than the limit plus one byte.
  size_t first_read = kUnknownSizeFirstRead;
  struct stat info;
  if (fstat(fd.get(), &info) == 0 && info.st_size > 0) {
    uint64_t size = static_cast<uint64_t>(info.st_size);
    first_read = size < SIZE_MAX ? static_cast<size_t>(size) : SIZE_MAX;
  }
  if (first_read > max_size) first_read = max_size;
  first_read = PlusOneSaturated(first_read);

  SmallFileStatus status =
      ReadDescriptor(fd.get(), first_read, max_size, contents);
  return status == SmallFileStatus::kOk;
}

SmallFileStatus ReadSmallRegularFile(const FilePath& path, size_t max_size,
                                     LinkPolicy links, std::string* contents,
                                     RegularFileInfo* info) {
  contents->clear();
  if (max_size == SIZE_MAX || PathHasParentReference(path)) {
    return SmallFileStatus::kUnreadable;
  }
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
  // writer. It changes nothing for the regular file read below.
  int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  if (links == LinkPolicy::kRefuse) flags |= O_NOFOLLOW;
  ScopedFd fd(RetryOnEintr([&] { return open(path.value().c_str(), flags); }));
  if (fd.get() < 0) return SmallFileStatus::kUnreadable;
  struct stat file_info;
  if (fstat(fd.get(), &file_info) != 0 || !S_ISREG(file_info.st_mode)) {
    return SmallFileStatus::kUnreadable;
  }
  SmallFileStatus status =
      ReadDescriptor(fd.get(), max_size + 1, max_size, contents);
  if (status != SmallFileStatus::kUnreadable && info != nullptr) {
    info->owner_uid = file_info.st_uid;
    info->mode = file_info.st_mode & 07777;
    info->links = file_info.st_nlink;
  }
  return status;
}

bool WriteFileDescriptor(int fd, const char* data, size_t size) {
  // A send first: it tells a socket from anything else (ENOTSOCK) without a
  // separate fstat, and only a send can decline the SIGPIPE.
  bool socket = true;
  while (size > 0) {
    ssize_t n = RetryOnEintr([&] {
      return socket ? send(fd, data, size, MSG_NOSIGNAL)
                    : write(fd, data, size);
    });
    if (n < 0 && socket && errno == ENOTSOCK) {
      socket = false;
      continue;
    }
    if (n < 0) return false;
    if (n == 0) {  // a zero-byte write of a non-empty buffer: no progress
      errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReadFromFileDescriptor(int fd, char* buffer, size_t size) {
  while (size > 0) {
    ssize_t n = RetryOnEintr([&] { return read(fd, buffer, size); });
    if (n <= 0) return false;
    buffer += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

int WriteFile(const FilePath& path, const char* data, int size) {
  if (size < 0) return -1;
  ScopedFd fd(RetryOnEintr([&] {
    return open(path.value().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                0666);
  }));
  if (fd.get() < 0) return -1;
  bool written = WriteFileDescriptor(fd.get(), data, static_cast<size_t>(size));
  bool closed = fd.Close();
  return written && closed ? size : -1;
}

int WriteFileByRename(const FilePath& path, const char* data, int size,
                      mode_t mode) {
  if (size < 0) return -1;
  // A name of this process's own beside `path`; O_EXCL refuses anything
  // already there, so a leftover or planted entry only moves on to the next
  // name.
  constexpr int kMaxAttempts = 100;
  std::string temporary;
  int raw_fd = -1;
  for (int attempt = 0; attempt < kMaxAttempts && raw_fd < 0; ++attempt) {
    temporary = path.value() + ".new." + std::to_string(getpid()) + "." +
                std::to_string(attempt);
    raw_fd = RetryOnEintr([&] {
      return open(temporary.c_str(),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    });
    if (raw_fd < 0 && errno != EEXIST) return -1;
  }
  if (raw_fd < 0) return -1;
  ScopedFd fd(raw_fd);
  bool ok = RetryOnEintr([&] { return fchmod(fd.get(), mode); }) == 0 &&
            WriteFileDescriptor(fd.get(), data, static_cast<size_t>(size));
  ok = fd.Close() && ok;
  ok = ok && RetryOnEintr([&] {
               return rename(temporary.c_str(), path.value().c_str());
             }) == 0;
  if (!ok) Unlink(temporary);
  return ok ? size : -1;
}

bool DeleteRegularFileOrLink(const FilePath& path) {
  const std::string& name = path.value();
  struct stat info;
  if (RetryOnEintr([&] { return lstat(name.c_str(), &info); }) != 0) {
    return errno == ENOENT || errno == ENOTDIR;
  }
  if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) return false;
  // unlink never removes a directory, even one swapped in since the lstat.
  return Unlink(name) || errno == ENOENT;
}

bool GetFileId(const FilePath& path, FileId* id) {
  struct stat info;
  if (RetryOnEintr([&] { return stat(path.value().c_str(), &info); }) != 0) {
    return false;
  }
  id->device = info.st_dev;
  id->inode = info.st_ino;
  return true;
}

bool PathExists(const FilePath& path) {
  return RetryOnEintr([&] { return access(path.value().c_str(), F_OK); }) == 0;
}

}  // namespace base
