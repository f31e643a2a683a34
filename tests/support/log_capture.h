// ScopedLogCapture: collects the log messages of this process while it lives,
// through the logging module's message handler, so a test can check what a
// function logged without touching standard error.
//
//   ScopedLogCapture capture;
//   ParseProcessConfigs(text, &configs);
//   EXPECT_TRUE(capture.Has(logging::LOG_ERROR, "Invalid JSON: ..."));
//
// Only messages that are created reach the handler: the minimum level and
// the "v" switch still apply. Captures do not nest. Thread-safe: messages
// logged on any thread are collected.

#ifndef VORN_TESTS_SUPPORT_LOG_CAPTURE_H_
#define VORN_TESTS_SUPPORT_LOG_CAPTURE_H_

#include <string>
#include <vector>

#include "base/logging/logging.h"

namespace vorn {
namespace test {

struct CapturedMessage {
  logging::LogSeverity severity;
  std::string file;  // base name of the issuing source file
  int line;
  std::string text;       // the message, without prefix and line feed
  std::string full_line;  // the whole line as it would have been written
};

class ScopedLogCapture {
 public:
  // `pass_through`: also write the messages as usual (to standard error).
  explicit ScopedLogCapture(bool pass_through = false);
  ~ScopedLogCapture();

  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

  // Every message so far, in order.
  std::vector<CapturedMessage> messages() const;
  // The messages' texts, each followed by a line feed.
  std::string Texts() const;
  // True when a message of `severity` reads exactly `text`.
  bool Has(logging::LogSeverity severity, const std::string& text) const;
  // The number of messages of `severity` whose text contains `part`.
  int Count(logging::LogSeverity severity, const std::string& part) const;
  void Clear();

 private:
  logging::LogMessageHandlerFunction previous_;
};

}  // namespace test
}  // namespace vorn

#endif  // VORN_TESTS_SUPPORT_LOG_CAPTURE_H_
