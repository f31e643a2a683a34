// The command line as vorn_cli reads it, from arbitrary bytes: the input,
// split at NUL bytes, is an argument vector. It is parsed into a
// ParsedCommandLine, written back with CommandLineText, checked against the
// accepted switches, and read for the "status-timeout" switch. Its last part is
// also read as a process.json text whose services and flags go into the usage
// text.
//
// Checked besides the sanitizers' own checks:
// - parsing the parsed elements again gives the same command line (see
//   CheckCommandLine for the one lossy case);
// - CommandLineText is the elements joined by blanks;
// - every switch can be found by name and its value read back;
// - no usage-description line is wider than 80 bytes.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/files/command_line.h"
#include "base/logging/logging.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "vorn_package/package_utils.h"
#include "vorn_package/usage.h"

namespace {

using vorn::fuzz::Check;

void CheckCommandLine(const base::ParsedCommandLine& line) {
  const base::StringVector& elements = line.elements();
  Check(!elements.empty());
  Check(line.first_argument_index() >= 1);
  Check(line.first_argument_index() <= elements.size());

  // Parsing the elements again gives the same command line. The exceptions
  // are switches given with "=" and an empty value whose stored element, the
  // switch text alone, reads differently: "-=" and "--=" are stored as "-"
  // and "--" (positional arguments when read again), and "-x\t=" as "-x\t"
  // (trimmed to "-x" when read again). From then on the parse is stable.
  base::ParsedCommandLine again;
  again.ParseArgumentVector(elements);
  base::ParsedCommandLine third;
  third.ParseArgumentVector(again.elements());
  Check(third.elements() == again.elements());
  Check(third.switches() == again.switches());
  Check(third.first_argument_index() == again.first_argument_index());
  bool lossy = false;
  for (size_t i = 1; i < line.first_argument_index(); ++i) {
    lossy = lossy || elements[i] == "-" || elements[i] == "--" ||
            base::TrimWhitespace(elements[i]) != elements[i];
  }
  if (!lossy) {
    Check(again.elements() == elements);
    Check(again.switches() == line.switches());
    Check(again.first_argument_index() == line.first_argument_index());
  }

  // The program, then the rest joined by blanks after one more blank, unless
  // the rest joins to nothing.
  std::string rest;
  for (size_t i = 1; i < elements.size(); ++i) {
    if (i > 1) rest += ' ';
    rest += elements[i];
  }
  Check(line.CommandLineText() ==
        (rest.empty() ? elements[0] : elements[0] + ' ' + rest));

  for (const auto& entry : line.switches()) {
    Check(line.HasSwitchNamed(entry.first));
    Check(line.SwitchValue(entry.first) == entry.second);
    const std::string ascii = line.SwitchValueAscii(entry.first);
    for (char c : ascii) Check(static_cast<unsigned char>(c) < 128);
    // A path ends at the first NUL byte, as the system's calls would read it.
    Check(line.SwitchValueAsPath(entry.first).value() ==
          entry.second.substr(0, entry.second.find('\0')));
  }
  const base::StringVector positional = line.PositionalArguments();
  Check(positional.size() <= elements.size() - line.first_argument_index());
}

void CheckWrap(const std::string& text) {
  const std::string wrapped = vorn::WrapHelpText(text);
  size_t start = 0;
  while (start <= wrapped.size()) {
    size_t end = wrapped.find('\n', start);
    if (end == std::string::npos) end = wrapped.size();
    Check(end - start <= 80);
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vorn::fuzz::SilenceLogging();
  // The usage text is printed; nobody needs to see it.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) __builtin_trap();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const base::StringVector argv = vorn::fuzz::SplitAtNul(input, 512);

  base::ParsedCommandLine line;
  line.ParseArgumentVector(argv);
  CheckCommandLine(line);

  // Switches added by name, with and without dashes, as the start command
  // adds its own.
  base::ParsedCommandLine extended = line;
  for (size_t i = 1; i + 1 < argv.size() && i < 8; i += 2) {
    extended.AddSwitch(argv[i], argv[i + 1]);
    extended.AddArgument(argv[i]);
  }
  extended.CommandLineText();
  extended.PositionalArguments();

  // The last part as a process.json text: its services' flags are accepted
  // switches, and they appear in the usage text.
  std::vector<vorn::ProcessConfig> configs;
  const bool loaded = vorn::ParseProcessConfigs(vorn::MakePackageContext(line),
                                                argv.back(), &configs);
  base::StringVector flag_names;
  for (const vorn::ProcessConfig& config : configs) {
    Check(!config.name.empty());
    for (const vorn::ExternalFlag& flag : config.external_flags) {
      Check(!flag.name.empty());
      flag_names.push_back(flag.name);
      CheckWrap(flag.description);
    }
  }
  base::CheckAcceptedSwitches(line, vorn::AcceptedOptionNames(), flag_names);
  vorn::PrintUsageWithConfigs(argv[0], loaded ? &configs : nullptr);
  for (const std::string& part : argv) CheckWrap(part);

  vorn::ParseStatusTimeout(line);
  return 0;
}
