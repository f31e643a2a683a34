#include "base/files/at_exit.h"

#include <string>

#include "base/files/file_path.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(AtExitTest, CallbacksRunLastRegisteredFirst) {
  std::string order;
  {
    AtExitManager outer;
    AtExitManager::RegisterCallback([&] { order += "a"; });
    {
      AtExitManager inner;
      AtExitManager::RegisterCallback([&] { order += "b"; });
      AtExitManager::RegisterCallback([&] {
        order += "c";
        AtExitManager::RegisterCallback([&] { order += "d"; });
      });
    }
    EXPECT_EQ("cdb", order);
    AtExitManager::RegisterCallback([&] { order += "e"; });
  }
  EXPECT_EQ("cdbea", order);
}

TEST(AtExitDeathTest, RegisteringWithoutAScopeIsACheckFailure) {
  EXPECT_DEATH(AtExitManager::RegisterCallback([] {}), "");
}

TEST(FilePathTest, AppendJoinsWithOneSeparator) {
  EXPECT_EQ("name", FilePath(".").Append("name").value());
  EXPECT_EQ("name", FilePath("").Append("name").value());
  EXPECT_EQ("/tmp/name", FilePath("/tmp/").Append("name").value());
  EXPECT_EQ("/tmp/name", FilePath("/tmp//").Append("name").value());
  EXPECT_EQ("/tmp/name", FilePath("/tmp").Append("name").value());
  EXPECT_EQ("/name", FilePath("/").Append("name").value());
  EXPECT_EQ("/tmp", FilePath("/tmp").Append("").value());
  EXPECT_EQ("/tmp/na",
            FilePath("/tmp").Append(std::string("na\0me", 5)).value());
}

TEST(FilePathTest, BaseAndDirectoryNames) {
  EXPECT_EQ("process.json",
            FilePath("/opt/vorn/process.json").BaseName().value());
  EXPECT_EQ("/opt/vorn", FilePath("/opt/vorn/process.json").DirName().value());
  EXPECT_EQ("plain", FilePath("plain").BaseName().value());
  EXPECT_EQ(".", FilePath("plain").DirName().value());
  EXPECT_EQ("/", FilePath("/root").DirName().value());
  EXPECT_EQ("a", FilePath(std::string("a\0b", 3)).value());
}

}  // namespace
}  // namespace base
