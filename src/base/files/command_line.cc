#include "base/files/command_line.h"

#include <algorithm>
#include <memory>

#include "base/logging/logging.h"

namespace base {

namespace {

constexpr std::string_view kWhitespace = "\t\v\f \n\r";
constexpr std::string_view kSwitchTerminator = "--";

std::unique_ptr<ParsedCommandLine>& ProcessInstance() {
  static std::unique_ptr<ParsedCommandLine>* instance =
      new std::unique_ptr<ParsedCommandLine>;
  return *instance;
}

}  // namespace

std::string_view TrimWhitespace(std::string_view text) {
  size_t begin = text.find_first_not_of(kWhitespace);
  if (begin == std::string_view::npos) return std::string_view();
  size_t end = text.find_last_not_of(kWhitespace);
  return text.substr(begin, end - begin + 1);
}

size_t SwitchPrefixLength(std::string_view element) {
  if (element.substr(0, 2) == "--") return 2;
  if (element.substr(0, 1) == "-") return 1;
  return 0;
}

bool SplitSwitch(std::string_view element, std::string* switch_text,
                 std::string* value) {
  size_t prefix = SwitchPrefixLength(element);
  if (prefix == 0 || prefix == element.size()) return false;
  size_t equals = element.find('=');
  if (equals == std::string_view::npos) {
    switch_text->assign(element);
    value->clear();
  } else {
    switch_text->assign(element.substr(0, equals));
    value->assign(element.substr(equals + 1));
  }
  return true;
}

ParsedCommandLine::ParsedCommandLine()
    : elements_(1), first_argument_index_(1) {}

ParsedCommandLine::ParsedCommandLine(const FilePath& program)
    : ParsedCommandLine() {
  elements_[0] = std::string(TrimWhitespace(program.value()));
}

void ParsedCommandLine::ParseArgumentVector(const StringVector& argv) {
  elements_.assign(1, std::string());
  switches_.clear();
  first_argument_index_ = 1;
  if (argv.empty()) return;
  elements_[0] = std::string(TrimWhitespace(argv[0]));

  bool parse_switches = true;
  std::string switch_text;
  std::string value;
  for (size_t i = 1; i < argv.size(); ++i) {
    std::string_view element = TrimWhitespace(argv[i]);
    if (element == kSwitchTerminator) parse_switches = false;
    if (parse_switches && SplitSwitch(element, &switch_text, &value)) {
      AddSwitch(switch_text, value);
    } else {
      AddArgument(element);
    }
  }
}

bool ParsedCommandLine::HasSwitchNamed(std::string_view name) const {
  return switches_.find(name) != switches_.end();
}

std::string ParsedCommandLine::SwitchValue(std::string_view name) const {
  auto it = switches_.find(name);
  return it == switches_.end() ? std::string() : it->second;
}

std::string ParsedCommandLine::SwitchValueAscii(std::string_view name) const {
  std::string value = SwitchValue(name);
  for (char c : value) {
    if (static_cast<unsigned char>(c) >= 128) return std::string();
  }
  return value;
}

FilePath ParsedCommandLine::SwitchValueAsPath(std::string_view name) const {
  return FilePath(SwitchValue(name));
}

void ParsedCommandLine::AddSwitch(std::string_view switch_text,
                                  std::string_view value) {
  size_t prefix = SwitchPrefixLength(switch_text);
  std::string name(switch_text.substr(prefix));
  switches_.insert_or_assign(name, std::string(value));

  std::string element;
  if (prefix == 0) element = "--";
  element.append(switch_text);
  if (!value.empty()) {
    element += '=';
    element.append(value);
  }
  elements_.insert(elements_.begin() + first_argument_index_,
                   std::move(element));
  ++first_argument_index_;
}

void ParsedCommandLine::AddArgument(std::string_view argument) {
  elements_.emplace_back(argument);
}

StringVector ParsedCommandLine::PositionalArguments() const {
  StringVector arguments(elements_.begin() + first_argument_index_,
                         elements_.end());
  auto terminator =
      std::find(arguments.begin(), arguments.end(), kSwitchTerminator);
  if (terminator != arguments.end()) arguments.erase(terminator);
  return arguments;
}

std::string ParsedCommandLine::CommandLineText() const {
  std::string arguments;
  bool parse_switches = true;
  std::string switch_text;
  std::string value;
  for (size_t i = 1; i < elements_.size(); ++i) {
    const std::string& element = elements_[i];
    if (element == kSwitchTerminator) parse_switches = false;
    if (i > 1) arguments += ' ';
    if (parse_switches && SplitSwitch(element, &switch_text, &value)) {
      arguments += switch_text;
      if (!value.empty()) {
        arguments += '=';
        arguments += value;
      }
    } else {
      arguments += element;
    }
  }
  std::string text = elements_[0];
  if (!arguments.empty()) {
    text += ' ';
    text += arguments;
  }
  return text;
}

bool InitProcessCommandLine(int argc, const char* const* argv) {
  std::unique_ptr<ParsedCommandLine>& instance = ProcessInstance();
  if (instance) return false;
  StringVector arguments;
  for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i]);
  instance = std::make_unique<ParsedCommandLine>();
  instance->ParseArgumentVector(arguments);
  return true;
}

const ParsedCommandLine& ProcessCommandLine() {
  CHECK(ProcessInstance());
  return *ProcessInstance();
}

bool CheckAcceptedSwitches(const ParsedCommandLine& command_line,
                           const StringVector& option_names,
                           const StringVector& external_flag_names) {
  bool all_accepted = true;
  for (const auto& [name, value] : command_line.switches()) {
    bool known =
        std::find(option_names.begin(), option_names.end(), name) !=
            option_names.end() ||
        std::find(external_flag_names.begin(), external_flag_names.end(),
                  name) != external_flag_names.end();
    if (!known) {
      LOG(WARNING) << "Unknown flag specified: " << name;
      all_accepted = false;
    }
  }
  if (!all_accepted) {
    LOG(WARNING) << "Some invalid flags were specified. Please check help or "
                 << "usage for more information on available flags";
  }
  return all_accepted;
}

void AddVerbositySwitches(const ParsedCommandLine& command_line,
                          logging::LoggingSettings* settings) {
  if (command_line.HasSwitchNamed("v")) {
    settings->v_switch = command_line.SwitchValue("v");
  }
  if (command_line.HasSwitchNamed("vmodule")) {
    settings->vmodule_switch = command_line.SwitchValue("vmodule");
  }
}

}  // namespace base
