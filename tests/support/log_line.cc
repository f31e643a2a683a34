#include "tests/support/log_line.h"

namespace vorn {
namespace test {

namespace {

bool IsDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// "MMDD/HHMMSS.uuuuuu".
bool IsTimeStamp(std::string_view field) {
  return field.size() == 18 && IsDigits(field.substr(0, 4)) &&
         field[4] == '/' && IsDigits(field.substr(5, 6)) && field[11] == '.' &&
         IsDigits(field.substr(12, 6));
}

bool IsSeverity(std::string_view name) {
  if (name == "INFO" || name == "WARNING" || name == "ERROR" ||
      name == "FATAL" || name == "UNKNOWN") {
    return true;
  }
  return name.substr(0, 7) == "VERBOSE" &&
         (name.size() == 7 || IsDigits(name.substr(7)) ||
          (name.size() > 8 && name[7] == '-' && IsDigits(name.substr(8))));
}

std::string Describe(const std::string& output) {
  return output.empty() ? std::string("(no output)") : "output was:\n" + output;
}

}  // namespace

std::optional<LogLine> ParseLogLine(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (line.empty() || line[0] != '[') return std::nullopt;
  // The prefix ends at the first ")] "; the file name cannot hold one.
  const size_t close = line.find(")] ");
  const size_t bare_close = line.find(")]");
  size_t end = close;
  if (end == std::string_view::npos) {
    // A message with empty text ends in ")]".
    if (bare_close == std::string_view::npos || bare_close + 2 != line.size()) {
      return std::nullopt;
    }
    end = bare_close;
  }
  std::string_view head = line.substr(1, end - 1);  // "...:SEV:file(NN"
  const size_t open = head.rfind('(');
  if (open == std::string_view::npos || !IsDigits(head.substr(open + 1))) {
    return std::nullopt;
  }
  const size_t file_colon = head.rfind(':', open);
  if (file_colon == std::string_view::npos) return std::nullopt;
  LogLine parsed;
  parsed.file = std::string(head.substr(file_colon + 1, open - file_colon - 1));
  std::string_view before = head.substr(0, file_colon);
  const size_t severity_colon = before.rfind(':');
  std::string_view severity = severity_colon == std::string_view::npos
                                  ? before
                                  : before.substr(severity_colon + 1);
  if (!IsSeverity(severity) || parsed.file.empty()) return std::nullopt;
  parsed.severity = std::string(severity);
  if (severity_colon != std::string_view::npos) {
    std::string_view prefix = before.substr(0, severity_colon);
    // The last prefix field is the time stamp whenever it holds a "/".
    const size_t last_colon = prefix.rfind(':');
    std::string_view last = last_colon == std::string_view::npos
                                ? prefix
                                : prefix.substr(last_colon + 1);
    if (last.find('/') != std::string_view::npos && !IsTimeStamp(last)) {
      return std::nullopt;
    }
    parsed.prefix = std::string(prefix);
  }
  parsed.line = std::stoi(std::string(head.substr(open + 1)));
  const size_t text_start = end + 3;
  if (text_start < line.size())
    parsed.text = std::string(line.substr(text_start));
  return parsed;
}

std::vector<LogLine> ParseLogLines(const std::string& output) {
  std::vector<LogLine> lines;
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::string_view raw(output.data() + start, end - start);
    if (std::optional<LogLine> parsed = ParseLogLine(raw)) {
      lines.push_back(*parsed);
    } else if (!lines.empty()) {
      lines.back().text += "\n";
      lines.back().text += std::string(raw);
    }
    start = end + 1;
  }
  return lines;
}

testing::AssertionResult HasLogLine(const std::string& output,
                                    const std::string& severity,
                                    const std::string& file,
                                    const std::string& text) {
  for (const LogLine& line : ParseLogLines(output)) {
    if (line.severity == severity && (file.empty() || line.file == file) &&
        line.text == text) {
      return testing::AssertionSuccess();
    }
  }
  return testing::AssertionFailure()
         << "no " << severity << " line " << (file.empty() ? "" : "of ") << file
         << " reading \"" << text << "\"; " << Describe(output);
}

testing::AssertionResult IsOnlyLogLine(const std::string& output,
                                       const std::string& severity,
                                       const std::string& file,
                                       const std::string& text) {
  std::optional<LogLine> line = ParseLogLine(output);
  const bool one_line = !output.empty() && output.back() == '\n' &&
                        output.find('\n') == output.size() - 1;
  if (one_line && line && line->severity == severity &&
      (file.empty() || line->file == file) && line->text == text) {
    return testing::AssertionSuccess();
  }
  return testing::AssertionFailure()
         << "expected only the " << severity << " line \"" << text << "\"; "
         << Describe(output);
}

int CountLogLines(const std::string& output, const std::string& severity,
                  const std::string& part) {
  int count = 0;
  for (const LogLine& line : ParseLogLines(output)) {
    if (line.severity == severity &&
        line.text.find(part) != std::string::npos) {
      ++count;
    }
  }
  return count;
}

}  // namespace test
}  // namespace vorn
