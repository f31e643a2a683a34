#include "base/files/file_util.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "gtest/gtest.h"
#include "tests/support/child_process.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace base {
namespace {

using vorn::test::ScopedTempDir;

class FileUtilTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.valid()); }

  FilePath Path(const std::string& name) const {
    return FilePath(dir_.Path(name));
  }
  void Write(const std::string& name, const std::string& contents) {
    ASSERT_TRUE(vorn::test::WriteFile(dir_.Path(name), contents));
  }
  void MakeFifo(const std::string& name) {
    ASSERT_EQ(0, mkfifo(dir_.Path(name).c_str(), 0600));
  }
  mode_t Mode(const std::string& name) const {
    struct stat info;
    return stat(dir_.Path(name).c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
  }

  ScopedTempDir dir_;
};

TEST_F(FileUtilTest, ReadsWholeFiles) {
  std::string text = "stale";
  Write("empty", "");
  EXPECT_TRUE(ReadFileToString(Path("empty"), &text));
  EXPECT_EQ("", text);

  // Larger than the first read of a file of unknown size and than one
  // following read, with NULs inside.
  std::string big(200000, 'x');
  big[70000] = '\0';
  Write("big", big);
  EXPECT_TRUE(ReadFileToString(Path("big"), &text));
  EXPECT_EQ(big, text);
  EXPECT_TRUE(ReadFileToStringWithMaxSize(Path("big"), &text, SIZE_MAX));
  EXPECT_EQ(big, text);
}

TEST_F(FileUtilTest, ReadsProcFilesThatReportSizeZero) {
  // A child whose command line is far longer than one read of 64 KiB;
  // the shell ignores the arguments after its script.
  vorn::test::ChildProcess child;
  vorn::test::ChildOptions options;
  options.argv = {"/bin/sh", "-c", "sleep 30; exit 0", "sh"};
  std::string expected = std::string("/bin/sh") + '\0' + "-c" + '\0' +
                         "sleep 30; exit 0" + '\0' + "sh" + '\0';
  for (int i = 0; i < 100; ++i) {
    options.argv.push_back(std::string(1000, static_cast<char>('a' + i % 26)));
    expected += options.argv.back();
    expected += '\0';
  }
  ASSERT_TRUE(child.Start(options));
  std::string cmdline;
  FilePath path("/proc/" + std::to_string(child.pid()) + "/cmdline");
  // The child may still be between fork and exec for a moment.
  for (int i = 0; i < 200 && cmdline != expected; ++i) {
    EXPECT_TRUE(ReadFileToString(path, &cmdline));
    if (cmdline != expected) usleep(10000);
  }
  EXPECT_GT(expected.size(), 65536u);
  EXPECT_EQ(expected, cmdline);
}

TEST_F(FileUtilTest, MaxSizeCutsAndFails) {
  Write("ten", "0123456789");
  std::string text;
  EXPECT_TRUE(ReadFileToStringWithMaxSize(Path("ten"), &text, 10));
  EXPECT_EQ("0123456789", text);
  EXPECT_FALSE(ReadFileToStringWithMaxSize(Path("ten"), &text, 9));
  EXPECT_EQ("012345678", text);
  EXPECT_FALSE(ReadFileToStringWithMaxSize(Path("ten"), &text, 0));
  EXPECT_EQ("", text);
  // /proc reports size 0: the limit still holds.
  EXPECT_FALSE(
      ReadFileToStringWithMaxSize(FilePath("/proc/self/maps"), &text, 5));
  EXPECT_EQ(5u, text.size());
}

TEST_F(FileUtilTest, ParentReferencesAreRefusedWithoutLookingAtTheFile) {
  Write("file", "content");
  ASSERT_EQ(0, mkdir(dir_.Path("sub").c_str(), 0700));
  std::string text = "stale";
  EXPECT_FALSE(ReadFileToString(Path("sub/../file"), &text));
  EXPECT_EQ("", text);
  EXPECT_FALSE(ReadFileToString(FilePath(".."), &text));
  // Names that only contain dots are ordinary names.
  Write("..x", "dots");
  EXPECT_TRUE(ReadFileToString(Path("..x"), &text));
  EXPECT_EQ("dots", text);
  EXPECT_TRUE(PathHasParentReference(FilePath("a/../b")));
  EXPECT_TRUE(PathHasParentReference(FilePath("/a/..")));
  EXPECT_FALSE(PathHasParentReference(FilePath("/a/.../b")));
  EXPECT_FALSE(PathHasParentReference(FilePath("/a/b..")));
}

TEST_F(FileUtilTest, MissingFilesAndDirectoriesFailToRead) {
  std::string text = "stale";
  EXPECT_FALSE(ReadFileToString(Path("missing"), &text));
  EXPECT_EQ("", text);
  // A directory opens but cannot be read.
  EXPECT_FALSE(ReadFileToString(FilePath(dir_.path()), &text));
}

TEST_F(FileUtilTest, SmallRegularFileReadsWithinItsLimit) {
  Write("pid", "12345");
  std::string text;
  RegularFileInfo info;
  EXPECT_EQ(
      SmallFileStatus::kOk,
      ReadSmallRegularFile(Path("pid"), 11, LinkPolicy::kRefuse, &text, &info));
  EXPECT_EQ("12345", text);
  EXPECT_EQ(getuid(), info.owner_uid);
  EXPECT_EQ(Mode("pid"), info.mode);

  Write("exact", "12345678901");
  EXPECT_EQ(SmallFileStatus::kOk,
            ReadSmallRegularFile(Path("exact"), 11, LinkPolicy::kRefuse, &text,
                                 nullptr));
  Write("long", "123456789012");
  EXPECT_EQ(SmallFileStatus::kTooLarge,
            ReadSmallRegularFile(Path("long"), 11, LinkPolicy::kRefuse, &text,
                                 nullptr));
  EXPECT_EQ("12345678901", text);
}

TEST_F(FileUtilTest, SmallRegularFileNeverWaitsOnAFifo) {
  MakeFifo("fifo");
  std::string text;
  int64_t start = vorn::test::MonotonicMilliseconds();
  EXPECT_EQ(SmallFileStatus::kUnreadable,
            ReadSmallRegularFile(Path("fifo"), 11, LinkPolicy::kFollow, &text,
                                 nullptr));
  EXPECT_LT(vorn::test::MonotonicMilliseconds() - start, 2000);
}

TEST_F(FileUtilTest, SmallRegularFileRefusesDevicesAndChosenLinks) {
  // A link to an endless device must not keep the reader reading.
  ASSERT_EQ(0, symlink("/dev/zero", dir_.Path("zero").c_str()));
  std::string text;
  EXPECT_EQ(SmallFileStatus::kUnreadable,
            ReadSmallRegularFile(Path("zero"), 11, LinkPolicy::kFollow, &text,
                                 nullptr));
  EXPECT_EQ("", text);

  Write("target", "42");
  ASSERT_EQ(0, symlink(dir_.Path("target").c_str(), dir_.Path("link").c_str()));
  EXPECT_EQ(SmallFileStatus::kUnreadable,
            ReadSmallRegularFile(Path("link"), 11, LinkPolicy::kRefuse, &text,
                                 nullptr));
  EXPECT_EQ(SmallFileStatus::kOk,
            ReadSmallRegularFile(Path("link"), 11, LinkPolicy::kFollow, &text,
                                 nullptr));
  EXPECT_EQ("42", text);
  EXPECT_EQ(SmallFileStatus::kUnreadable,
            ReadSmallRegularFile(Path("missing"), 11, LinkPolicy::kFollow,
                                 &text, nullptr));
  EXPECT_EQ(SmallFileStatus::kUnreadable,
            ReadSmallRegularFile(FilePath(dir_.path()), 11, LinkPolicy::kFollow,
                                 &text, nullptr));
}

TEST_F(FileUtilTest, WriteFileCreatesAndTruncates) {
  EXPECT_EQ(5, WriteFile(Path("out"), "hello", 5));
  EXPECT_EQ("hello", vorn::test::ReadFile(dir_.Path("out")));
  EXPECT_EQ(2, WriteFile(Path("out"), "hi", 2));
  EXPECT_EQ("hi", vorn::test::ReadFile(dir_.Path("out")));
  EXPECT_EQ(0, WriteFile(Path("out"), "", 0));
  EXPECT_EQ("", vorn::test::ReadFile(dir_.Path("out")));
  EXPECT_EQ(-1, WriteFile(Path("missing/out"), "x", 1));
  EXPECT_EQ(-1, WriteFile(Path("neg"), "x", -1));
}

TEST_F(FileUtilTest, WriteFileHonoursTheUmask) {
  mode_t old = umask(027);
  EXPECT_EQ(1, WriteFile(Path("masked"), "x", 1));
  umask(old);
  EXPECT_EQ(0640u, Mode("masked"));
}

TEST_F(FileUtilTest, PathExistsIgnoresPermissions) {
  Write("locked", "x");
  ASSERT_EQ(0, chmod(dir_.Path("locked").c_str(), 0));
  EXPECT_TRUE(PathExists(Path("locked")));
  EXPECT_FALSE(PathExists(Path("missing")));
  EXPECT_TRUE(PathExists(FilePath(dir_.path())));
  EXPECT_TRUE(PathExists(FilePath(".")));
}

// Descriptor writes: a pipe takes the plain write path, a socket whose peer
// has gone fails with EPIPE instead of raising SIGPIPE (default disposition
// here, so a SIGPIPE would end the test program), and an exact read stops at
// the end of the stream.
TEST_F(FileUtilTest, DescriptorWritesAndExactReads) {
  int pipe_fds[2];
  ASSERT_EQ(0, pipe(pipe_fds));
  const std::string text(3000, 'p');
  EXPECT_TRUE(WriteFileDescriptor(pipe_fds[1], text.data(), text.size()));
  close(pipe_fds[1]);
  std::string back(text.size(), '\0');
  EXPECT_TRUE(ReadFromFileDescriptor(pipe_fds[0], &back[0], back.size()));
  EXPECT_EQ(text, back);
  char extra;
  EXPECT_FALSE(ReadFromFileDescriptor(pipe_fds[0], &extra, 1));
  close(pipe_fds[0]);

  int socket_fds[2];
  ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, socket_fds));
  EXPECT_TRUE(WriteFileDescriptor(socket_fds[0], "abc", 3));
  char three[3];
  EXPECT_TRUE(ReadFromFileDescriptor(socket_fds[1], three, sizeof(three)));
  EXPECT_EQ("abc", std::string(three, sizeof(three)));
  close(socket_fds[1]);
  errno = 0;
  EXPECT_FALSE(WriteFileDescriptor(socket_fds[0], "abc", 3));
  EXPECT_EQ(EPIPE, errno);
  close(socket_fds[0]);

  EXPECT_FALSE(WriteFileDescriptor(-1, "abc", 3));
  EXPECT_EQ(EBADF, errno);
}

}  // namespace
}  // namespace base
