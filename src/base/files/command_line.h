// ParsedCommandLine: a command line as an element list (program first), an
// ordered switch map and the index where the positional arguments begin.
//
//   base::ParsedCommandLine line;
//   line.ParseArgumentVector({"vorn_cli", "start", "--status-timeout=500",
//                             "vorn"});
//   line.SwitchValue("status-timeout");   // "500"
//   line.PositionalArguments();           // {"start", "vorn"}
//   line.elements();  // {"vorn_cli", "--status-timeout=500", "start", "vorn"}
//
// A switch is an element that begins with "--" or "-" and has something after
// the dashes; its name runs to the first "=", its value follows it. Every
// other element, and every element after a "--", is a positional argument.
// Parsing cannot fail.
//
// One process-wide instance holds the program's own arguments
// (InitProcessCommandLine, ProcessCommandLine).
//
// Threads. A ParsedCommandLine is a plain value: its const methods may run on
// several threads at once, its mutators need the only access. The
// process-wide instance is created by InitProcessCommandLine at the top of
// main, before any other thread starts, and never changes afterwards, so
// ProcessCommandLine() may then be read from any thread.

#ifndef VORN_BASE_FILES_COMMAND_LINE_H_
#define VORN_BASE_FILES_COMMAND_LINE_H_

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/files/file_path.h"
#include "base/logging/logging.h"

namespace base {

using StringVector = std::vector<std::string>;

class ParsedCommandLine {
 public:
  using SwitchMap = std::map<std::string, std::string, std::less<>>;

  // An empty program and nothing else.
  ParsedCommandLine();
  // `program` trimmed of whitespace at both ends, and nothing else.
  explicit ParsedCommandLine(const FilePath& program);

  // Replaces the whole content by the parse of `argv`; argv[0] is the program.
  // An empty list gives an empty program.
  void ParseArgumentVector(const StringVector& argv);

  bool HasSwitchNamed(std::string_view name) const;
  // The value, or "" when the switch is absent or has no value.
  std::string SwitchValue(std::string_view name) const;
  // As SwitchValue, but "" when the value holds a byte of 128 or more.
  std::string SwitchValueAscii(std::string_view name) const;
  FilePath SwitchValueAsPath(std::string_view name) const;

  // Adds or replaces one switch. `switch_text` may carry its dashes ("--x",
  // "-x") or not ("x"); the element stored keeps a given prefix and gets "--"
  // otherwise, followed by "=value" when `value` is not empty.
  void AddSwitch(std::string_view switch_text, std::string_view value);
  // Appends `argument` at the end of the elements, unchanged.
  void AddArgument(std::string_view argument);

  // The elements from the first positional argument on, with the first "--"
  // removed (only the first).
  StringVector PositionalArguments() const;
  FilePath ProgramPath() const { return FilePath(elements_[0]); }
  // The whole line as one text for log messages; nothing quoted or escaped.
  std::string CommandLineText() const;

  const StringVector& elements() const { return elements_; }
  const SwitchMap& switches() const { return switches_; }
  size_t first_argument_index() const { return first_argument_index_; }

 private:
  StringVector elements_;  // never empty; [0] is the program
  SwitchMap switches_;     // name -> value of the last occurrence
  // elements_[1, first_argument_index_) are switches, the rest arguments.
  size_t first_argument_index_;
};

// Splits one element into its switch text (dashes included) and value.
// False for an element that is not a switch ("-", "--", no leading dash).
bool SplitSwitch(std::string_view element, std::string* switch_text,
                 std::string* value);
// 2 for "--...", 1 for "-...", else 0.
size_t SwitchPrefixLength(std::string_view element);
// `text` without the tab, vertical tab, form feed, blank, line feed and
// carriage return characters at its ends.
std::string_view TrimWhitespace(std::string_view text);

// Builds the process-wide command line from argv (argc entries, copied; argv
// need not outlive the call). Returns false and changes nothing when it
// already exists. Not synchronised: call it once, before other threads start.
bool InitProcessCommandLine(int argc, const char* const* argv);
// The process-wide command line; InitProcessCommandLine must have run (a
// check failure otherwise). The reference stays valid for the life of the
// process.
const ParsedCommandLine& ProcessCommandLine();

// Warns about every switch of `command_line` that is neither one of
// `option_names` nor one of `external_flag_names` (the flags a package's
// services declare): one WARNING "Unknown flag specified: <name>" per switch in
// name order, then one summary WARNING. Returns whether all were accepted; the
// caller goes on either way. Safe on any thread, as logging is.
bool CheckAcceptedSwitches(const ParsedCommandLine& command_line,
                           const StringVector& option_names,
                           const StringVector& external_flag_names);

// Copies the "v" and "vmodule" switches of `command_line`, where present,
// into `settings` for logging::InitLogging; leaves the fields alone for an
// absent switch.
void AddVerbositySwitches(const ParsedCommandLine& command_line,
                          logging::LoggingSettings* settings);

}  // namespace base

#endif  // VORN_BASE_FILES_COMMAND_LINE_H_
