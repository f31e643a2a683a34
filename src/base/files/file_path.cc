#include "base/files/file_path.h"

namespace base {

namespace {

std::string_view CutAtNul(std::string_view text) {
  size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

}  // namespace

FilePath::FilePath(std::string_view path) : path_(CutAtNul(path)) {}

// The rules are stated with the declaration in file_path.h.
FilePath FilePath::Append(std::string_view component) const {
  std::string_view appended = CutAtNul(component);
  if (path_ == ".") return FilePath(appended);
  std::string_view dir(path_);
  // Strip trailing separators, but keep a lone "/" so the root stays itself.
  while (dir.size() > 1 && dir.back() == '/') dir.remove_suffix(1);
  if (dir.empty()) return FilePath(appended);
  std::string result(dir);
  if (!appended.empty() && result.back() != '/') result += '/';
  result.append(appended);
  return FilePath(result);
}

FilePath FilePath::BaseName() const {
  size_t slash = path_.rfind('/');
  if (slash == std::string::npos) return *this;
  return FilePath(std::string_view(path_).substr(slash + 1));
}

FilePath FilePath::DirName() const {
  size_t slash = path_.rfind('/');
  if (slash == std::string::npos) return FilePath(".");
  if (slash == 0) return FilePath("/");
  return FilePath(std::string_view(path_).substr(0, slash));
}

}  // namespace base
