#include "base/files/file_path.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

std::string Append(const char* dir, std::string_view name) {
  return FilePath(dir).Append(name).value();
}

TEST(FilePathTest, AppendJoinsWithOneSeparator) {
  EXPECT_EQ("/tmp/process_manager.pid", Append("/tmp", "process_manager.pid"));
  EXPECT_EQ("/tmp/x", Append("/tmp/", "x"));
  EXPECT_EQ("/tmp/x", Append("/tmp///", "x"));
  EXPECT_EQ("a/b", Append("a", "b"));
}

TEST(FilePathTest, AppendToDotOrEmptyGivesTheComponentAlone) {
  EXPECT_EQ("x", Append(".", "x"));
  EXPECT_EQ("x", Append("", "x"));
}

TEST(FilePathTest, AppendToTheRootKeepsOneSlash) {
  EXPECT_EQ("/name", Append("/", "name"));
  EXPECT_EQ("/name", Append("//", "name"));
}

TEST(FilePathTest, TextIsCutAtTheFirstNul) {
  std::string with_nul("ab\0cd", 5);
  EXPECT_EQ("ab", FilePath(with_nul).value());
  EXPECT_EQ("/d/ab", Append("/d", with_nul));
}

TEST(FilePathTest, BaseAndDirectoryNames) {
  EXPECT_EQ("vorn_cli", FilePath("/opt/vorn/vorn_cli").BaseName().value());
  EXPECT_EQ("/opt/vorn", FilePath("/opt/vorn/vorn_cli").DirName().value());
  EXPECT_EQ("x", FilePath("x").BaseName().value());
  EXPECT_EQ(".", FilePath("x").DirName().value());
  // In the root directory the directory is "/" itself.
  EXPECT_EQ("/", FilePath("/x").DirName().value());
  EXPECT_EQ("x", FilePath("/x").BaseName().value());
  // A trailing "/" leaves an empty base name.
  EXPECT_EQ("", FilePath("/opt/vorn/").BaseName().value());
}

}  // namespace
}  // namespace base
