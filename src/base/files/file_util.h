// Whole-file helpers: read, write, delete and test for existence, on the
// calling thread, with every system call retried on EINTR.
//
//   std::string text;
//   if (base::ReadFileToString(base::FilePath("/proc/self/cmdline"), &text))
//     ...                                       // the whole content
//   base::WriteFile(base::FilePath("/tmp/x"), "42", 2);   // 2, or -1
//   base::WriteFileDescriptor(socket_fd, frame.data(), frame.size());
//
//   // A small file in a shared directory (a pid file, a socket-path file):
//   std::string pid_text;
//   base::ReadSmallRegularFile(path, 11, base::LinkPolicy::kRefuse,
//                              &pid_text, nullptr);
//
// None of these throws or writes a log line; failures are return values.

#ifndef VORN_BASE_FILES_FILE_UTIL_H_
#define VORN_BASE_FILES_FILE_UTIL_H_

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "base/files/file_path.h"

namespace base {

// True when some component of `path` is "..".
bool PathHasParentReference(const FilePath& path);

// Reads the whole of `path` into `*contents`, which is cleared first. Returns
// false for a path with a ".." component (without touching the file system),
// when the file cannot be opened, or on a read error. Files that report size 0
// (those under /proc) are read to their end. `contents` must not be null.
bool ReadFileToString(const FilePath& path, std::string* contents);

// As ReadFileToString, but fails once more than `max_size` bytes were read;
// `*contents` then holds the first `max_size` bytes. SIZE_MAX means no limit
// (never wraps, also where size_t is 32 bits).
bool ReadFileToStringWithMaxSize(const FilePath& path, std::string* contents,
                                 size_t max_size);

// What happens to a symbolic link at the last component of a path.
enum class LinkPolicy {
  kFollow,  // the file the link names is used
  kRefuse,  // the call fails
};

// Result of ReadSmallRegularFile.
enum class SmallFileStatus {
  kOk,          // `*contents` holds the whole file
  kUnreadable,  // missing, not a regular file, a refused link, an open or
                // read error, or a path with a ".." component
  kTooLarge,    // more than `max_size` bytes; `*contents` holds the first
                // `max_size` of them
};

// Owner, permission bits and link count of the file that ReadSmallRegularFile
// read (after following a link, when links are followed).
struct RegularFileInfo {
  uid_t owner_uid = 0;
  mode_t mode = 0;  // permission bits only (mode & 07777)
  nlink_t links = 0;
};

// Reads a small file that lies in a directory others may write to. The open
// never blocks (a FIFO there is refused instead of waiting for a writer),
// only a regular file is read, and at most `max_size` + 1 bytes are read, so a
// link to /dev/zero or a growing file cannot keep the caller reading.
// `*contents` is cleared first; `info`, when not null, is filled on kOk and
// kTooLarge. `max_size` must be below SIZE_MAX.
SmallFileStatus ReadSmallRegularFile(const FilePath& path, size_t max_size,
                                     LinkPolicy links, std::string* contents,
                                     RegularFileInfo* info);

// Creates or truncates `path` (permission bits 0666 less the umask) and writes
// `size` bytes of `data` to it. Returns `size`, or -1 when the create, a write
// or the close failed (a negative `size` fails too). An interrupted close
// counts as success.
int WriteFile(const FilePath& path, const char* data, int size);

// As WriteFile, but the bytes go to a new file in the directory of `path`
// (created exclusively, never through a link, with exactly the permission
// bits `mode` whatever the umask), which is then renamed over `path`. Whatever
// was at `path` (a file, a hard link to another file, a symbolic link) is
// replaced and never written to; a directory there makes it fail. Returns
// `size`, or -1 with `path` unchanged and the new file removed.
int WriteFileByRename(const FilePath& path, const char* data, int size,
                      mode_t mode);

// Unlinks `path` when it is a regular file or a symbolic link (which is not
// followed). True also when nothing is there; false, leaving it in place,
// for anything else (a directory, a FIFO, a socket, a device) and when the
// unlink fails.
bool DeleteRegularFileOrLink(const FilePath& path);

// A file as the file system knows it: two paths name the same file exactly
// when their FileIds are equal.
struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileId& other) const {
    return device == other.device && inode == other.inode;
  }
};

// The FileId of the file `path` names, links followed; false when it cannot
// be examined.
bool GetFileId(const FilePath& path, FileId* id);

// True when `path` exists (no permission test); a relative path is taken
// against the current directory.
bool PathExists(const FilePath& path);

// Writes all `size` bytes of `data` to the open descriptor `fd`, continuing
// after short writes. On a socket it sends with MSG_NOSIGNAL, so a peer that
// has gone is a failure (EPIPE in errno) instead of a SIGPIPE. False on the
// first error, with errno set.
bool WriteFileDescriptor(int fd, const char* data, size_t size);

// Reads exactly `size` bytes from the open descriptor `fd` into `buffer`,
// continuing after short reads. False when the end of the stream comes first
// (errno untouched) or on an error (errno set); what was read stays in
// `buffer`.
bool ReadFromFileDescriptor(int fd, char* buffer, size_t size);

}  // namespace base

#endif  // VORN_BASE_FILES_FILE_UTIL_H_
