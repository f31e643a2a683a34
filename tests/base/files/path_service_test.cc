#include "base/files/path_service.h"

#include <stdlib.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "gtest/gtest.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace base {
namespace {

using vorn::test::ScopedEnv;

class PathServiceTest : public testing::Test {
 protected:
  void SetUp() override { PathService::ClearCacheForTesting(); }
  void TearDown() override { PathService::ClearCacheForTesting(); }

  // The answer for `key`, or "<failed>".
  std::string Get(int key) {
    FilePath path("<failed>");
    return PathService::Get(key, &path) ? path.value() : "<failed>";
  }
};

TEST_F(PathServiceTest, TemporaryDirectoryComesFromTmpdir) {
  ScopedEnv tmpdir("TMPDIR", "/var/tmp/x");
  EXPECT_EQ("/var/tmp/x", Get(DIR_TEMP));
  ScopedEnv unset("TMPDIR", nullptr);
  PathService::ClearCacheForTesting();
  EXPECT_EQ("/tmp", Get(DIR_TEMP));
}

TEST_F(PathServiceTest, EmptyTmpdirFailsAndSoDoesAHomeThatFallsBackToIt) {
  ScopedEnv tmpdir("TMPDIR", "");
  ScopedEnv home("HOME", nullptr);
  FilePath path("unchanged");
  EXPECT_FALSE(PathService::Get(DIR_TEMP, &path));
  EXPECT_EQ("unchanged", path.value());
  EXPECT_FALSE(PathService::Get(DIR_HOME, &path));
  ScopedEnv empty_home("HOME", "");
  EXPECT_FALSE(PathService::Get(DIR_HOME, &path));
  EXPECT_EQ("unchanged", path.value());
}

TEST_F(PathServiceTest, HomeFallsBackToTheTemporaryDirectory) {
  ScopedEnv tmpdir("TMPDIR", "/scratch");
  {
    ScopedEnv home("HOME", nullptr);
    EXPECT_EQ("/scratch", Get(DIR_HOME));
  }
  PathService::ClearCacheForTesting();
  {
    ScopedEnv home("HOME", "");
    EXPECT_EQ("/scratch", Get(DIR_HOME));
  }
  PathService::ClearCacheForTesting();
  ScopedEnv home("HOME", "/home/op");
  EXPECT_EQ("/home/op", Get(DIR_HOME));
}

TEST_F(PathServiceTest, AnswersAreCachedUntilCleared) {
  ScopedEnv tmpdir("TMPDIR", "/first");
  EXPECT_EQ("/first", Get(DIR_TEMP));
  setenv("TMPDIR", "/second", 1);
  EXPECT_EQ("/first", Get(DIR_TEMP));
  PathService::ClearCacheForTesting();
  EXPECT_EQ("/second", Get(DIR_TEMP));
}

TEST_F(PathServiceTest, ParentReferencesAreResolved) {
  vorn::test::ScopedTempDir dir;
  ASSERT_TRUE(dir.valid());
  ASSERT_EQ(0, mkdir(dir.Path("sub").c_str(), 0700));
  ASSERT_EQ(0, symlink(dir.Path("sub").c_str(), dir.Path("link").c_str()));
  char* real = realpath(dir.path().c_str(), nullptr);
  ASSERT_NE(nullptr, real);
  std::string expected = std::string(real) + "/sub";
  free(real);
  // The link is resolved before ".." applies: link/../sub is dir/sub.
  std::string tmpdir_value = dir.Path("link/../sub");
  ScopedEnv tmpdir("TMPDIR", tmpdir_value.c_str());
  EXPECT_EQ(expected, Get(DIR_TEMP));
  // One that cannot be resolved fails.
  PathService::ClearCacheForTesting();
  std::string missing = dir.Path("missing/..");
  setenv("TMPDIR", missing.c_str(), 1);
  EXPECT_EQ("<failed>", Get(DIR_TEMP));
}

TEST_F(PathServiceTest, ExecutableKeys) {
  std::string exe = Get(FILE_EXE);
  ASSERT_NE("<failed>", exe);
  EXPECT_EQ("path_service_test", FilePath(exe).BaseName().value());
  EXPECT_EQ(exe, Get(FILE_MODULE));
  std::string dir = FilePath(exe).DirName().value();
  EXPECT_EQ(dir, Get(DIR_EXE));
  EXPECT_EQ(dir, Get(DIR_MODULE));
  EXPECT_EQ(dir, Get(DIR_ASSETS));
}

TEST_F(PathServiceTest, CurrentDirectoryIsNeverCached) {
  vorn::test::ScopedTempDir dir;
  ASSERT_TRUE(dir.valid());
  std::string before = Get(DIR_CURRENT);
  ASSERT_EQ(0, chdir(dir.path().c_str()));
  char* real = realpath(dir.path().c_str(), nullptr);
  EXPECT_EQ(real, Get(DIR_CURRENT));
  free(real);
  ASSERT_EQ(0, chdir(before.c_str()));
  EXPECT_EQ(before, Get(DIR_CURRENT));
}

TEST_F(PathServiceTest, KeysBelowOneFail) {
  EXPECT_EQ("<failed>", Get(0));
  EXPECT_EQ("<failed>", Get(-3));
}

}  // namespace
}  // namespace base
