// Reads the log lines a program wrote to standard error:
//
//   [1208/043344.123456:ERROR:package_utils.cc(217)] Invalid pid: pid=12
//
// into their parts, so a test checks the severity, the file, the line and the
// text instead of matching a regular expression of its own.
//
//   EXPECT_TRUE(HasLogLine(result.err, "ERROR", "package_utils.cc",
//                          "Invalid pid: pid=12"));

#ifndef VORN_TESTS_SUPPORT_LOG_LINE_H_
#define VORN_TESTS_SUPPORT_LOG_LINE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gtest/gtest.h"

namespace vorn {
namespace test {

struct LogLine {
  std::string prefix;    // the fields before the severity ("1208/043344.1")
  std::string severity;  // "INFO", "WARNING", "ERROR", "FATAL", "VERBOSE1", ...
  std::string file;      // the source file's base name
  int line = 0;          // the source line
  std::string text;      // what follows "] ", without the line feed
};

// The parts of one line (with or without its line feed); nullopt when it is
// not a log line. A time stamp, when present, must have the
// "MMDD/HHMMSS.uuuuuu" form.
std::optional<LogLine> ParseLogLine(std::string_view line);

// Every line of `output`; a line that is not a log line (the continuation of a
// multi-line message, say) is appended to the text of the line before it, after
// a line feed.
std::vector<LogLine> ParseLogLines(const std::string& output);

// Success when `output` holds a log line of `severity` from `file` whose text
// is exactly `text`. An empty `file` matches any file. On failure the message
// lists the lines that were there.
testing::AssertionResult HasLogLine(const std::string& output,
                                    const std::string& severity,
                                    const std::string& file,
                                    const std::string& text);

// Success when `output` holds exactly one log line and nothing else, of
// `severity` from `file` with the text `text`.
testing::AssertionResult IsOnlyLogLine(const std::string& output,
                                       const std::string& severity,
                                       const std::string& file,
                                       const std::string& text);

// The number of lines of `output` of `severity` whose text contains `part`.
int CountLogLines(const std::string& output, const std::string& severity,
                  const std::string& part);

}  // namespace test
}  // namespace vorn

#endif  // VORN_TESTS_SUPPORT_LOG_LINE_H_
