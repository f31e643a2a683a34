// The usage texts of vorn_cli, laid out from three fixed tables: the
// commands, the options (switches) and the status sub-commands.
//
//   vorn::PrintUsage(context, argv[0]);  // "help" and unknown commands
//   vorn::PrintStatusUsage(argv[0]);     // "status help"
//   base::TimeDelta t = vorn::ParseStatusTimeout(context.command_line);
//
// Everything is printed on standard output; nothing here logs except the
// warning of ParseStatusTimeout.

#ifndef VORN_VORN_PACKAGE_USAGE_H_
#define VORN_VORN_PACKAGE_USAGE_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/files/command_line.h"
#include "base/logging/time.h"
#include "vorn_package/external_flag.h"
#include "vorn_package/package_utils.h"

namespace vorn {

// One row of a usage table.
struct UsageEntry {
  const char* name;         // command, option name without dashes, or
                            // status sub-command (may be "")
  const char* placeholder;  // value or argument placeholder; null if none
  const char* description;  // wrapped when printed
};

// The tables, in print order.
extern const UsageEntry kCommandUsage[];
extern const size_t kCommandUsageCount;
extern const UsageEntry kOptionUsage[];
extern const size_t kOptionUsageCount;
extern const UsageEntry kStatusCommandUsage[];
extern const size_t kStatusCommandUsageCount;
// Switches vorn_cli reads although its usage text does not list them (the
// manual page and the shell completion do). Not part of
// AcceptedOptionNames(): start warns about them unless process.json names
// them as external flags.
extern const UsageEntry kUnlistedOptionUsage[];
extern const size_t kUnlistedOptionUsageCount;

// The option names of kOptionUsage, the switches vorn_cli itself accepts.
base::StringVector AcceptedOptionNames();

// `text` indented by six blanks and wrapped: a line breaks at the last blank
// within its first 74 characters (the blank is dropped), or after 74
// characters when there is none. Ends without a line feed unless the text ran
// out exactly at a break.
std::string WrapHelpText(std::string_view text);

// Prints the usage text for `program_name`. `configs` are the package's
// records from process.json, or null when process.json could not be loaded;
// then the per-service sections are left out. Each record with external
// flags gets a section, in file order. Returns 0 when records were given,
// else 1.
int PrintUsageWithConfigs(const std::string& program_name,
                          const std::vector<ProcessConfig>* configs);

// Loads the records from the context's process.json (GetProcessConfigPath;
// logging what is wrong with it) and prints the usage text. Returns 0 when
// process.json could be loaded, else 1.
int PrintUsage(const PackageContext& context, const std::string& program_name);

// Prints the list of status sub-commands for `program_name`.
void PrintStatusUsage(const std::string& program_name);

// The "status-timeout" switch of `command_line` in milliseconds; zero when
// absent, not positive, or invalid (which logs a WARNING).
base::TimeDelta ParseStatusTimeout(const base::ParsedCommandLine& command_line);

}  // namespace vorn

#endif  // VORN_VORN_PACKAGE_USAGE_H_
