#include "vorn_package/child_launch.h"

#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/logging/logging.h"

namespace vorn {

namespace {

// The argument vector as one text: elements joined by single blanks, nothing
// quoted.
std::string JoinArguments(const base::StringVector& elements) {
  std::string text;
  for (size_t i = 0; i < elements.size(); ++i) {
    if (i > 0) text += ' ';
    text += elements[i];
  }
  return text;
}

}  // namespace

base::ParsedCommandLine ApplyLoggingWrapper(
    const base::ParsedCommandLine& command_line, const base::FilePath& wrapper,
    bool* wrapped) {
  *wrapped = false;
  if (wrapper.empty()) return command_line;
  // The existence test looks at the path as given; the trimmed path is what
  // runs.
  if (!base::PathExists(wrapper)) {
    LOG(ERROR) << "Log wrapper executable not valid. Ignoring it: "
               << wrapper.value();
    return command_line;
  }
  base::StringVector elements;
  elements.reserve(command_line.elements().size() + 1);
  elements.emplace_back(base::TrimWhitespace(wrapper.value()));
  for (const std::string& element : command_line.elements()) {
    elements.push_back(element);
  }
  // The wrapped program's switches are the wrapper's arguments: keep the
  // vector exactly as it is instead of parsing it again.
  base::ParsedCommandLine result{base::FilePath(elements[0])};
  for (size_t i = 1; i < elements.size(); ++i) result.AddArgument(elements[i]);
  *wrapped = true;
  return result;
}

base::ProcessHandle LaunchChild(std::string_view name,
                                const base::ParsedCommandLine& command_line,
                                const base::FilePath& wrapper) {
  bool wrapped = false;
  return LaunchChild(name, command_line, wrapper, &wrapped);
}

base::ProcessHandle LaunchChild(std::string_view name,
                                const base::ParsedCommandLine& command_line,
                                const base::FilePath& wrapper, bool* wrapped) {
  *wrapped = false;
  base::ParsedCommandLine to_run =
      ApplyLoggingWrapper(command_line, wrapper, wrapped);
  const base::StringVector& elements = to_run.elements();
  LOG(INFO) << "Run " << name << ": " << JoinArguments(elements);

  // Everything the child needs is built before the fork, so that the child
  // does nothing between fork and exec but the exec itself.
  std::vector<char*> argv;
  argv.reserve(elements.size() + 1);
  for (const std::string& element : elements) {
    argv.push_back(const_cast<char*>(element.c_str()));
  }
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid < 0) {
    PLOG(ERROR) << "Unable to fork child process '" << name << "'";
    return base::ProcessHandle();
  }
  if (pid == 0) {
    execvp(argv[0], argv.data());
    PLOG(ERROR) << "Unable to execvp child '" << name << "'";
    _exit(127);
  }
  return base::ProcessHandle(pid);
}

}  // namespace vorn
