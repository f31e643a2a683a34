// ScopedTempDir: a fresh directory for one test, removed with everything in it
// when the object goes away.
//
//   vorn::test::ScopedTempDir dir;
//   ASSERT_TRUE(dir.valid());
//   WriteFile(dir.Path("process.json"), "[]");
//
// The directory is made under $TMPDIR (or /tmp when it is unset or empty)
// with mkdtemp, so parallel tests never share one.

#ifndef VORN_TESTS_SUPPORT_TEMP_DIR_H_
#define VORN_TESTS_SUPPORT_TEMP_DIR_H_

#include <string>

namespace vorn {
namespace test {

class ScopedTempDir {
 public:
  // Creates the directory; valid() tells whether that worked.
  ScopedTempDir();
  // Removes the directory tree, following no symbolic link.
  ~ScopedTempDir();

  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  bool valid() const { return !path_.empty(); }
  // The absolute directory path, without a trailing "/".
  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string Path(const std::string& name) const;

 private:
  std::string path_;  // empty when mkdtemp failed
};

// Removes `path` and, for a directory, everything below it; symbolic links are
// removed, never followed. True when nothing is left at `path`.
bool RemoveTree(const std::string& path);

}  // namespace test
}  // namespace vorn

#endif  // VORN_TESTS_SUPPORT_TEMP_DIR_H_
