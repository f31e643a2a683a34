// File-descriptor watches of the I/O pump, over socket pairs and pipes.

#include "base/task/message_pump_libevent.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/logging/eintr.h"
#include "base/logging/time.h"
#include "base/task/location.h"
#include "base/task/run_loop.h"
#include "base/task/single_thread_task_executor.h"
#include "base/task/single_thread_task_runner.h"
#include "tests/support/log_capture.h"

namespace base {
namespace {

using Controller = MessagePumpLibevent::FdWatchController;

// Records each callback as "r<fd>" or "w<fd>" and runs an optional action
// after it.
class RecordingWatcher : public MessagePumpLibevent::FdWatcher {
 public:
  void OnFileCanReadWithoutBlocking(int fd) override {
    calls.push_back("r" + std::to_string(fd));
    if (on_read) on_read(fd);
  }
  void OnFileCanWriteWithoutBlocking(int fd) override {
    calls.push_back("w" + std::to_string(fd));
    if (on_write) on_write(fd);
  }

  std::vector<std::string> calls;
  std::function<void(int)> on_read;
  std::function<void(int)> on_write;
};

class MessagePumpLibeventTest : public testing::Test {
 protected:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds), 0);
    a_ = fds[0];
    b_ = fds[1];
  }
  void TearDown() override {
    if (a_ >= 0) ::close(a_);
    if (b_ >= 0) ::close(b_);
  }

  bool Watch(int fd, bool persistent, MessagePumpLibevent::Mode mode,
             Controller* controller, RecordingWatcher* watcher) {
    return CurrentIOThread::Get().WatchFileDescriptor(fd, persistent, mode,
                                                      controller, watcher);
  }
  void WriteByte(int fd) {
    ASSERT_EQ(RetryOnEintr([&] { return ::write(fd, "x", 1); }), 1);
  }
  // Runs the loop until idle a few times over `duration`, so that every
  // readiness has its chance to be reported.
  void RunFor(TimeDelta duration) {
    RunLoop loop;
    ThreadTaskRunnerHandle::Get()->PostDelayedTask(
        FROM_HERE, loop.QuitClosure(), duration);
    loop.Run();
  }
  std::string S(const char* prefix, int fd) {
    return prefix + std::to_string(fd);
  }

  SingleThreadTaskExecutor executor_{MessagePumpType::IO};
  int a_ = -1;
  int b_ = -1;
};

TEST_F(MessagePumpLibeventTest, UsesTheEpollBackEnd) {
  EXPECT_STREQ(executor_.pump()->backend_method(), "epoll");
}

TEST_F(MessagePumpLibeventTest, WriteCallbackRunsBeforeReadCallback) {
  WriteByte(b_);  // a_ is now readable, and writable anyway
  RecordingWatcher watcher;
  Controller controller(FROM_HERE);
  RunLoop loop;
  watcher.on_read = [&](int) { loop.Quit(); };
  ASSERT_TRUE(Watch(a_, true, MessagePumpLibevent::WATCH_READ_WRITE,
                    &controller, &watcher));
  loop.Run();
  ASSERT_GE(watcher.calls.size(), 2u);
  EXPECT_EQ(watcher.calls[0], S("w", a_));
  EXPECT_EQ(watcher.calls[1], S("r", a_));
}

TEST_F(MessagePumpLibeventTest, NoReadCallbackAfterWriteCallbackDestroyedIt) {
  WriteByte(b_);
  RecordingWatcher watcher;
  auto controller = std::make_unique<Controller>(FROM_HERE);
  watcher.on_write = [&](int) { controller.reset(); };
  ASSERT_TRUE(Watch(a_, true, MessagePumpLibevent::WATCH_READ_WRITE,
                    controller.get(), &watcher));
  RunFor(TimeDelta::FromMilliseconds(20));
  EXPECT_EQ(watcher.calls, (std::vector<std::string>{S("w", a_)}));
}

TEST_F(MessagePumpLibeventTest, NoReadCallbackAfterWriteCallbackStoppedIt) {
  WriteByte(b_);
  RecordingWatcher watcher;
  Controller controller(FROM_HERE);
  watcher.on_write = [&](int) { controller.StopWatchingFileDescriptor(); };
  ASSERT_TRUE(Watch(a_, true, MessagePumpLibevent::WATCH_READ_WRITE,
                    &controller, &watcher));
  RunFor(TimeDelta::FromMilliseconds(20));
  EXPECT_EQ(watcher.calls, (std::vector<std::string>{S("w", a_)}));
  EXPECT_FALSE(controller.is_watching());
}

TEST_F(MessagePumpLibeventTest, OneShotReadWatchFiresOnce) {
  WriteByte(b_);  // stays unread: the descriptor stays readable
  RecordingWatcher watcher;
  Controller controller(FROM_HERE);
  ASSERT_TRUE(
      Watch(a_, false, MessagePumpLibevent::WATCH_READ, &controller, &watcher));
  EXPECT_TRUE(controller.is_watching());
  RunFor(TimeDelta::FromMilliseconds(30));
  EXPECT_EQ(watcher.calls, (std::vector<std::string>{S("r", a_)}));
  EXPECT_FALSE(controller.is_watching());

  // Armed again, it fires once more.
  ASSERT_TRUE(
      Watch(a_, false, MessagePumpLibevent::WATCH_READ, &controller, &watcher));
  RunFor(TimeDelta::FromMilliseconds(30));
  EXPECT_EQ(watcher.calls, (std::vector<std::string>{S("r", a_), S("r", a_)}));
}

TEST_F(MessagePumpLibeventTest, PersistentReadWatchFiresUntilDrained) {
  RecordingWatcher watcher;
  Controller controller(FROM_HERE);
  int reads = 0;
  watcher.on_read = [&](int fd) {
    char c;
    // Consume the byte every second time: two callbacks per byte.
    if (++reads % 2 == 0) {
      ASSERT_EQ(RetryOnEintr([&] { return ::read(fd, &c, 1); }), 1);
    }
  };
  ASSERT_TRUE(
      Watch(a_, true, MessagePumpLibevent::WATCH_READ, &controller, &watcher));
  WriteByte(b_);
  RunFor(TimeDelta::FromMilliseconds(30));
  EXPECT_EQ(reads, 2);
  EXPECT_TRUE(controller.is_watching());
  WriteByte(b_);
  RunFor(TimeDelta::FromMilliseconds(30));
  EXPECT_EQ(reads, 4);
}

TEST_F(MessagePumpLibeventTest, RearmingTheSameDescriptorAddsToTheMode) {
  RecordingWatcher watcher;
  Controller controller(FROM_HERE);
  // Read only, nothing to read: silent.
  ASSERT_TRUE(
      Watch(a_, true, MessagePumpLibevent::WATCH_READ, &controller, &watcher));
  RunFor(TimeDelta::FromMilliseconds(10));
  EXPECT_TRUE(watcher.calls.empty());
  // Adding a one-shot write keeps the read and persistence.
  RunLoop loop;
  watcher.on_read = [&](int) { loop.Quit(); };
  ASSERT_TRUE(Watch(a_, false, MessagePumpLibevent::WATCH_WRITE, &controller,
                    &watcher));
  WriteByte(b_);
  loop.Run();
  ASSERT_GE(watcher.calls.size(), 2u);
  EXPECT_EQ(watcher.calls[0], S("w", a_));
  EXPECT_EQ(watcher.calls[1], S("r", a_));
  EXPECT_TRUE(controller.is_watching());
}

TEST_F(MessagePumpLibeventTest, ControllerCannotWatchASecondDescriptor) {
  RecordingWatcher watcher;
  Controller controller(FROM_HERE);
  ASSERT_TRUE(
      Watch(a_, true, MessagePumpLibevent::WATCH_READ, &controller, &watcher));
  EXPECT_FALSE(
      Watch(b_, true, MessagePumpLibevent::WATCH_READ, &controller, &watcher));
  EXPECT_FALSE(
      Watch(-1, true, MessagePumpLibevent::WATCH_READ, &controller, &watcher));
}

TEST_F(MessagePumpLibeventTest, RegularFileCannotBeWatched) {
  char path[] = "/tmp/vorn_pump_test_XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::unlink(path);
  RecordingWatcher watcher;
  Controller controller(FROM_HERE);
  EXPECT_FALSE(
      Watch(fd, true, MessagePumpLibevent::WATCH_READ, &controller, &watcher));
  EXPECT_FALSE(controller.is_watching());
  ::close(fd);
}

TEST_F(MessagePumpLibeventTest, StoppedWatchDeliversNothing) {
  RecordingWatcher watcher;
  Controller controller(FROM_HERE);
  ASSERT_TRUE(
      Watch(a_, true, MessagePumpLibevent::WATCH_READ, &controller, &watcher));
  EXPECT_TRUE(controller.StopWatchingFileDescriptor());
  WriteByte(b_);
  RunFor(TimeDelta::FromMilliseconds(20));
  EXPECT_TRUE(watcher.calls.empty());
}

TEST_F(MessagePumpLibeventTest, ControllerOutlivingThePumpIsReleased) {
  auto controller = std::make_unique<Controller>(FROM_HERE);
  RecordingWatcher watcher;
  {
    // A loop of its own on another thread, destroyed before the controller.
    std::thread other([&] {
      SingleThreadTaskExecutor executor(MessagePumpType::IO);
      ASSERT_TRUE(CurrentIOThread::Get().WatchFileDescriptor(
          a_, true, MessagePumpLibevent::WATCH_READ, controller.get(),
          &watcher));
    });
    other.join();
  }
  EXPECT_FALSE(controller->is_watching());
  controller.reset();  // must not touch the freed pump
}

TEST_F(MessagePumpLibeventTest, NestedLoopInsideACallback) {
  WriteByte(b_);
  RecordingWatcher watcher;
  Controller controller(FROM_HERE);
  bool nested_task_ran = false;
  RunLoop outer;
  watcher.on_read = [&](int fd) {
    char c;
    ASSERT_EQ(RetryOnEintr([&] { return ::read(fd, &c, 1); }), 1);
    RunLoop nested(RunLoop::Type::kNestableTasksAllowed);
    ThreadTaskRunnerHandle::Get()->PostTask(FROM_HERE, [&] {
      nested_task_ran = true;
      nested.Quit();
    });
    nested.Run();
    outer.Quit();
  };
  ASSERT_TRUE(
      Watch(a_, true, MessagePumpLibevent::WATCH_READ, &controller, &watcher));
  outer.Run();
  EXPECT_TRUE(nested_task_ran);
}

TEST(SingleThreadTaskExecutorTest, CreateFailsCleanlyWithoutDescriptors) {
  // With the descriptor limit at the lowest free number, the pump can open
  // neither its epoll instance nor its wake-up pipe. Run on a thread of its
  // own so that no executor exists there yet.
  const int lowest_free = ::dup(0);
  ASSERT_GE(lowest_free, 0);
  ::close(lowest_free);
  struct rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  struct rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(lowest_free);

  vorn::test::ScopedLogCapture capture;
  bool created = true;
  bool handle_set = true;
  std::thread other([&] {
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    created = SingleThreadTaskExecutor::Create(MessagePumpType::IO) != nullptr;
    ::setrlimit(RLIMIT_NOFILE, &saved);
    handle_set = ThreadTaskRunnerHandle::IsSet() || CurrentIOThread::IsSet();
    // The thread can still get a loop once descriptors are available.
    EXPECT_NE(SingleThreadTaskExecutor::Create(MessagePumpType::IO), nullptr);
  });
  other.join();
  EXPECT_FALSE(created);
  EXPECT_FALSE(handle_set);
  EXPECT_GE(capture.Count(logging::LOG_ERROR, "failed"), 1) << capture.Texts();
  // libevent's own complaint arrives as one of our log lines too.
  EXPECT_GE(capture.Count(logging::LOG_WARNING, "libevent: "), 1)
      << capture.Texts();
}

}  // namespace
}  // namespace base
