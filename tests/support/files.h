// Whole-file helpers for tests: read what a program wrote, lay out its inputs.
//
//   ASSERT_TRUE(WriteFile(dir.Path("pid"), "1234"));
//   EXPECT_EQ("1234", ReadFile(dir.Path("pid")));

#ifndef VORN_TESTS_SUPPORT_FILES_H_
#define VORN_TESTS_SUPPORT_FILES_H_

#include <sys/types.h>

#include <string>

namespace vorn {
namespace test {

// The whole content of `path`; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// Replaces the content of `path` with `contents`, creating it with `mode`
// (subject to the umask) when it does not exist. False on any failure.
bool WriteFile(const std::string& path, const std::string& contents,
               mode_t mode = 0644);

// Copies the regular file `from` to `to` with the same permission bits (for
// example a program copied into a package folder). False on any failure.
bool CopyFile(const std::string& from, const std::string& to);

}  // namespace test
}  // namespace vorn

#endif  // VORN_TESTS_SUPPORT_FILES_H_
