// FilePath: a path as a byte string, with "/" as the only separator.
//
//   base::FilePath dir("/tmp/");
//   base::FilePath pid = dir.Append("process_manager.pid");
//   pid.value();             // "/tmp/process_manager.pid"
//   pid.BaseName().value();  // "process_manager.pid"
//
// A path built from text is cut at its first NUL byte. Nothing here touches
// the file system, and "." and ".." are never resolved. A FilePath is a plain
// value, safe to read from several threads at once.

#ifndef VORN_BASE_FILES_FILE_PATH_H_
#define VORN_BASE_FILES_FILE_PATH_H_

#include <string>
#include <string_view>

namespace base {

class FilePath {
 public:
  FilePath() = default;
  explicit FilePath(std::string_view path);

  const std::string& value() const { return path_; }
  bool empty() const { return path_.empty(); }

  // This path followed by `component` (cut at its first NUL byte):
  //  - when this path is empty or ".", the result is `component` alone:
  //    FilePath(".").Append("a") is "a";
  //  - otherwise the trailing "/" of this path are dropped, except that the
  //    root "/" stays itself, and one "/" joins the two: "/tmp//" and "x"
  //    give "/tmp/x", "/" and "x" give "/x";
  //  - an empty `component` adds nothing: "/tmp/" and "" give "/tmp";
  //  - `component` is taken as it is: "a" and "/b" give "a//b", "a" and
  //    "../b" give "a/../b".
  FilePath Append(std::string_view component) const;
  // The text after the last "/" (the whole path when it has none).
  FilePath BaseName() const;
  // The text before the last "/"; "." when there is none, "/" for the root.
  FilePath DirName() const;

  bool operator==(const FilePath& other) const { return path_ == other.path_; }
  bool operator!=(const FilePath& other) const { return path_ != other.path_; }

 private:
  std::string path_;  // never holds a NUL byte
};

}  // namespace base

#endif  // VORN_BASE_FILES_FILE_PATH_H_
