// process.json as vorn_cli reads it: the input is the file's text. It goes
// through ParseProcessConfigs (which expands every command, "dirs" and
// "sockets" element with ExpandPathVariables), then ExpandPathVariables on
// the whole text, and, when a "process_manager" entry was read, into the
// process manager's command line with vorn_cli's switches passed on.
//
// Checked besides the sanitizers' own checks:
// - a refused text leaves the caller's records untouched; an accepted one
//   gives records with non-empty names, a program and non-empty flag names;
// - expansion leaves a text without variables unchanged, and no variable
//   survives it;
// - the process manager's command line starts with the entry's program,
//   carries "async" when asked, and every external flag vorn_cli was given.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/files/command_line.h"
#include "base/files/file_path.h"
#include "base/logging/logging.h"
#include "fuzz/fuzz_check.h"
#include "vorn_package/package_utils.h"

namespace {

using vorn::fuzz::Check;

bool HasVariable(const std::string& text) {
  return text.find("${DIR_EXE}") != std::string::npos ||
         text.find("${DIR_HOME}") != std::string::npos ||
         text.find("${DIR_TEMP}") != std::string::npos;
}

// Fixed directories, one in the root (its "//" collapses) and one with a
// trailing slash; the command line is set per input.
vorn::PackageContext g_context = [] {
  vorn::PackageContext context;
  context.exe_dir = base::FilePath("/");
  context.home_dir = base::FilePath("/home/fuzz/");
  context.temp_dir = base::FilePath("/tmp/fuzz");
  return context;
}();

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vorn::fuzz::SilenceLogging();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  std::vector<vorn::ProcessConfig> configs(1);
  configs[0].name = "sentinel";
  const bool ok = vorn::ParseProcessConfigs(g_context, text, &configs);
  if (!ok) {
    Check(configs.size() == 1 && configs[0].name == "sentinel");
    configs.clear();
  }
  base::StringVector own_argv = {"vorn_cli", "start", "vorn",
                                 "--vorn-package-env=fuzz",
                                 "--process-manager-pid-path=/tmp/fuzz/pm"};
  for (const vorn::ProcessConfig& config : configs) {
    Check(!config.name.empty());
    Check(!config.command_line.elements().empty());
    for (const vorn::ExternalFlag& flag : config.external_flags) {
      Check(!flag.name.empty());
      own_argv.push_back("--" + flag.name + "=x");
    }
  }

  const std::string expanded = vorn::ExpandPathVariables(g_context, text);
  if (!HasVariable(text)) Check(expanded == text);
  Check(!HasVariable(expanded));

  vorn::CheckProgramsExist(configs);

  g_context.command_line.ParseArgumentVector(own_argv);
  const base::ParsedCommandLine& own = g_context.command_line;
  for (const vorn::ProcessConfig& config : configs) {
    if (config.name != "process_manager") continue;
    for (bool async : {false, true}) {
      const base::ParsedCommandLine line = vorn::BuildProcessManagerCommandLine(
          g_context, config, configs, async);
      Check(line.elements()[0] == config.command_line.elements()[0]);
      if (async) Check(line.HasSwitchNamed("async"));
      for (const vorn::ProcessConfig& other : configs) {
        for (const vorn::ExternalFlag& flag : other.external_flags) {
          // Only flags that keep their own name both ways are checked: a
          // name such as "a=b" reads back as another switch, and one such as
          // "-x" or "--x" is added under the name without its dashes.
          base::ParsedCommandLine probe;
          probe.ParseArgumentVector({"p", "--" + flag.name + "=x"});
          base::ParsedCommandLine added;
          added.AddSwitch(flag.name, "x");
          if (probe.HasSwitchNamed(flag.name) &&
              added.HasSwitchNamed(flag.name) &&
              own.HasSwitchNamed(flag.name)) {
            Check(line.HasSwitchNamed(flag.name));
          }
        }
      }
      line.CommandLineText();
    }
  }
  return 0;
}
