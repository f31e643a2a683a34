#include "vorn_package/package_utils.h"

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <utility>

#include "base/files/file_util.h"
#include "base/files/path_service.h"
#include "base/json/json_reader.h"
#include "base/json/json_value.h"
#include "base/logging/logging.h"

namespace vorn {

namespace {

using base::JsonValue;

constexpr char kProcessConfigFileName[] = "process.json";
constexpr char kPidFileName[] = "process_manager.pid";
constexpr char kSocketPathFileName[] = "vorn-cli-socket.path";
constexpr char kDefaultLoggingWrapperPath[] = "/bin/logshim";

constexpr char kPidPathSwitch[] = "process-manager-pid-path";
constexpr char kSocketPathFileSwitch[] = "vorn-cli-socket-file-path";
constexpr char kLoggingWrapperSwitch[] = "log-wrapper-path";
constexpr char kPackageEnvSwitch[] = "vorn-package-env";
constexpr char kDontPropagateSwitch[] = "dont-propagate-command-line";
constexpr char kAsyncSwitch[] = "async";

constexpr char kNameKey[] = "name";
constexpr char kCommandKey[] = "command";
constexpr char kServiceTypeKey[] = "service_type";
constexpr char kDirsKey[] = "dirs";
constexpr char kSocketsKey[] = "sockets";
constexpr char kExternalFlagsKey[] = "external_flags";
constexpr char kDescriptionKey[] = "description";
constexpr char kValueExpressionKey[] = "value_expression";

// The path variables, in the order they are expanded, with the path key and
// the context's field of their directories.
struct PathVariable {
  const char* text;
  int dir_key;
  base::FilePath PackageContext::*dir;
};
constexpr PathVariable kPathVariables[] = {
    {"${DIR_EXE}", base::DIR_EXE, &PackageContext::exe_dir},
    {"${DIR_HOME}", base::DIR_HOME, &PackageContext::home_dir},
    {"${DIR_TEMP}", base::DIR_TEMP, &PackageContext::temp_dir},
};

struct ServiceTypeName {
  const char* text;
  ServiceType type;
};
constexpr ServiceTypeName kServiceTypeNames[] = {
    {"default", ServiceType::kDefault},
    {"oneshot", ServiceType::kOneshot},
    {"critical", ServiceType::kCritical},
};

// `text` with every occurrence of `from` replaced by `to`, found left to
// right without overlap in one pass. `from` must not be empty.
std::string ReplaceAll(std::string_view text, std::string_view from,
                       std::string_view to) {
  std::string result;
  size_t start = 0;
  for (;;) {
    size_t found = text.find(from, start);
    if (found == std::string_view::npos) break;
    result.append(text.substr(start, found - start));
    result.append(to);
    start = found + from.size();
  }
  result.append(text.substr(start));
  return result;
}

enum class StringListResult {
  kOk,         // `*items` holds the non-empty strings, in order
  kMissing,    // the key is absent or not a list; nothing logged
  kNotString,  // an element is not a string; logged as ERROR
};

// Reads `dict[key]` as a list of strings, dropping empty ones.
StringListResult ReadStringList(const JsonValue& dict, const char* key,
                                std::vector<std::string>* items) {
  items->clear();
  const JsonValue* list = dict.FindKeyOfType(key, JsonValue::Type::LIST);
  if (list == nullptr) return StringListResult::kMissing;
  for (const JsonValue& item : list->GetList()) {
    if (!item.is_string()) {
      LOG(ERROR) << "Not string in array of " << key;
      items->clear();
      return StringListResult::kNotString;
    }
    if (!item.GetString().empty()) items->push_back(item.GetString());
  }
  return StringListResult::kOk;
}

// The expanded paths of `dict[key]` ("dirs", "sockets"); empty when the key
// is absent or invalid.
std::vector<base::FilePath> ReadPathList(const PackageContext& context,
                                         const JsonValue& dict,
                                         const char* key) {
  std::vector<std::string> items;
  std::vector<base::FilePath> paths;
  if (ReadStringList(dict, key, &items) != StringListResult::kOk) return paths;
  for (const std::string& item : items) {
    paths.emplace_back(ExpandPathVariables(context, item));
  }
  return paths;
}

// A string member of `dict`, or "" when it is absent or not a string.
std::string OptionalString(const JsonValue& dict, const char* key) {
  const JsonValue* value = dict.FindKeyOfType(key, JsonValue::Type::STRING);
  return value != nullptr ? value->GetString() : std::string();
}

// The entry's "external_flags"; bad elements are logged and skipped.
std::vector<ExternalFlag> ReadExternalFlags(const JsonValue& dict) {
  std::vector<ExternalFlag> flags;
  const JsonValue* list =
      dict.FindKeyOfType(kExternalFlagsKey, JsonValue::Type::LIST);
  if (list == nullptr) return flags;
  for (const JsonValue& item : list->GetList()) {
    if (!item.is_dict()) {
      LOG(ERROR) << "External flag entry in array '" << kExternalFlagsKey
                 << "' must be a dictionary";
      continue;
    }
    ExternalFlag flag;
    flag.name = OptionalString(item, kNameKey);
    if (flag.name.empty()) {
      LOG(ERROR) << "Invalid flag entry in array '" << kExternalFlagsKey
                 << "' missing required key: " << kNameKey;
      continue;
    }
    flag.description = OptionalString(item, kDescriptionKey);
    flag.value_expression = OptionalString(item, kValueExpressionKey);
    flags.push_back(std::move(flag));
  }
  return flags;
}

// The entry's "service_type"; an unknown text is warned about and gives the
// default, a value that is not a string counts as absent.
ServiceType ReadServiceType(const JsonValue& dict, const std::string& name) {
  const JsonValue* value =
      dict.FindKeyOfType(kServiceTypeKey, JsonValue::Type::STRING);
  if (value == nullptr) return ServiceType::kDefault;
  for (const ServiceTypeName& known : kServiceTypeNames) {
    if (value->GetString() == known.text) return known.type;
  }
  LOG(WARNING) << "Unknown service type in config: service=" << name
               << ", type=" << value->GetString();
  return ServiceType::kDefault;
}

// Turns element `index` of the top-level list into `*config`. False, after an
// ERROR naming the fault, when the entry refuses the whole file.
bool ParseProcessConfig(const PackageContext& context, const JsonValue& entry,
                        size_t index, std::string_view json,
                        ProcessConfig* config) {
  if (!entry.is_dict()) {
    LOG(ERROR) << "Invalid non-dictionary json for process config: "
               << "index=" << index << ", str=" << json;
    return false;
  }
  config->name = OptionalString(entry, kNameKey);
  if (config->name.empty()) {
    LOG(ERROR) << "Mandatory field missing: field=" << kNameKey
               << ", index=" << index << ", str=" << json;
    return false;
  }
  std::vector<std::string> command;
  if (ReadStringList(entry, kCommandKey, &command) != StringListResult::kOk) {
    LOG(ERROR) << "Mandatory field missing or not a string array: field="
               << kCommandKey << ", index=" << index << ", str=" << json;
    return false;
  }
  if (command.empty()) {
    LOG(ERROR) << "Empty command: index=" << index << ", str=" << json;
    return false;
  }
  for (std::string& element : command) {
    element = ExpandPathVariables(context, element);
  }
  config->command_line.ParseArgumentVector(command);
  config->service_type = ReadServiceType(entry, config->name);
  config->dirs = ReadPathList(context, entry, kDirsKey);
  config->sockets = ReadPathList(context, entry, kSocketsKey);
  config->external_flags = ReadExternalFlags(entry);
  return true;
}

}  // namespace

PackageContext MakePackageContext(const base::ParsedCommandLine& own) {
  PackageContext context;
  context.command_line = own;
  // A failed lookup leaves the directory empty; an answer never is.
  for (const PathVariable& variable : kPathVariables) {
    base::PathService::Get(variable.dir_key, &(context.*variable.dir));
  }
  return context;
}

base::FilePath GetProcessConfigPath(const PackageContext& context) {
  return GetPathFromSwitchOrDefault(context, "", base::DIR_EXE,
                                    kProcessConfigFileName);
}

std::string ExpandPathVariables(const PackageContext& context,
                                std::string_view text) {
  std::string result(text);
  for (const PathVariable& variable : kPathVariables) {
    // A missing directory is reported for every element, named in it or not.
    const base::FilePath& dir = context.*variable.dir;
    if (dir.empty()) LOG(ERROR) << "Cannot get dir for " << variable.text;
    result = ReplaceAll(result, variable.text, dir.value());
    // A directory that ends in "/" (the root, say) followed by the "/" after
    // the variable leaves "//". Texts the expansion did not change keep
    // theirs.
    if (result != text) result = ReplaceAll(result, "//", "/");
  }
  return result;
}

bool ParseProcessConfigs(const PackageContext& context, std::string_view json,
                         std::vector<ProcessConfig>* configs) {
  std::unique_ptr<JsonValue> root = base::ParseJson(json);
  if (!root) {
    LOG(ERROR) << "Invalid json string for process config: " << json;
    return false;
  }
  if (!root->is_list()) {
    LOG(ERROR) << "Invalid non-list json for process config: " << json;
    return false;
  }
  std::vector<ProcessConfig> parsed;
  parsed.reserve(root->ListSize());
  size_t index = 0;
  for (const JsonValue& entry : root->GetList()) {
    ProcessConfig config;
    if (!ParseProcessConfig(context, entry, index, json, &config)) return false;
    parsed.push_back(std::move(config));
    ++index;
  }
  *configs = std::move(parsed);
  return true;
}

bool LoadProcessConfigs(const PackageContext& context,
                        const base::FilePath& path,
                        std::vector<ProcessConfig>* configs) {
  std::string json;
  if (!base::ReadFileToString(path, &json)) return false;
  return ParseProcessConfigs(context, json, configs);
}

bool CheckProgramsExist(const std::vector<ProcessConfig>& configs) {
  for (const ProcessConfig& config : configs) {
    if (!base::PathExists(config.command_line.ProgramPath())) return false;
  }
  return true;
}

base::FilePath GetPathFromSwitchOrDefault(const PackageContext& context,
                                          std::string_view switch_name,
                                          int dir_key,
                                          std::string_view file_name) {
  if (!switch_name.empty()) {
    std::string value = context.command_line.SwitchValue(switch_name);
    if (!value.empty()) return base::FilePath(value);
  }
  base::FilePath dir;
  for (const PathVariable& variable : kPathVariables) {
    if (variable.dir_key == dir_key) dir = context.*variable.dir;
  }
  if (dir.empty()) LOG(ERROR) << "Cannot get default dir: " << dir_key;
  return dir.Append(file_name);
}

base::FilePath GetPidFilePath(const PackageContext& context) {
  return GetPathFromSwitchOrDefault(context, kPidPathSwitch, base::DIR_TEMP,
                                    kPidFileName);
}

base::FilePath GetSocketPathFilePath(const PackageContext& context) {
  return GetPathFromSwitchOrDefault(context, kSocketPathFileSwitch,
                                    base::DIR_TEMP, kSocketPathFileName);
}

base::FilePath ReadSocketPath(const PackageContext& context,
                              std::string* refusal) {
  if (refusal != nullptr) refusal->clear();
  const base::FilePath file = GetSocketPathFilePath(context);
  std::string content;
  base::RegularFileInfo info;
  base::SmallFileStatus status = base::ReadSmallRegularFile(
      file, kMaxSocketPathFileSize, base::LinkPolicy::kRefuse, &content, &info);
  std::string why;
  if (status == base::SmallFileStatus::kUnreadable) {
    // The read does not say why; a link or a non-file is a refusal worth
    // reporting, a missing or unreadable file just means no receiver yet.
    struct stat link_info;
    if (lstat(file.value().c_str(), &link_info) != 0) return base::FilePath();
    if (S_ISLNK(link_info.st_mode)) {
      why = "it is a symbolic link";
    } else if (!S_ISREG(link_info.st_mode)) {
      why = "it is not a regular file";
    } else {
      return base::FilePath();
    }
  } else if (status == base::SmallFileStatus::kTooLarge) {
    why = "it holds more than " + std::to_string(kMaxSocketPathFileSize) +
          " bytes";
  } else if (geteuid() == 0 && (info.mode & (S_IWGRP | S_IWOTH)) != 0) {
    // Root connects wherever the file points; only its writer may say where.
    why = "group or others may write it";
  }
  if (!why.empty()) {
    if (refusal != nullptr) *refusal = why;
    return base::FilePath();
  }
  return base::FilePath(content);
}

base::FilePath GetLoggingWrapperPath(const PackageContext& context) {
  const base::ParsedCommandLine& own = context.command_line;
  if (own.HasSwitchNamed(kLoggingWrapperSwitch)) {
    return own.SwitchValueAsPath(kLoggingWrapperSwitch);
  }
  return base::FilePath(kDefaultLoggingWrapperPath);
}

void PropagateExternalFlags(const PackageContext& context,
                            const std::vector<ProcessConfig>& configs,
                            base::ParsedCommandLine* child) {
  const base::ParsedCommandLine& own = context.command_line;
  // Ordered by name; insert keeps the first declaration of a name.
  std::set<ExternalFlag> flags;
  for (const ProcessConfig& config : configs) {
    for (const ExternalFlag& flag : config.external_flags) flags.insert(flag);
  }
  for (const ExternalFlag& flag : flags) {
    if (!own.HasSwitchNamed(flag.name)) continue;
    std::string value = own.SwitchValue(flag.name);
    if (!flag.value_expression.empty() && value.empty()) {
      LOG(WARNING) << "Current process command line flag '" << flag.name
                   << "' should not be empty when passing as external flag";
    }
    child->AddSwitch(flag.name, value);
  }
}

base::ParsedCommandLine BuildProcessManagerCommandLine(
    const PackageContext& context, const ProcessConfig& process_manager,
    const std::vector<ProcessConfig>& configs, bool async) {
  base::ParsedCommandLine line = process_manager.command_line;
  if (async && !line.HasSwitchNamed(kAsyncSwitch)) {
    line.AddSwitch(kAsyncSwitch, "");
  }
  const base::ParsedCommandLine& own = context.command_line;
  if (own.HasSwitchNamed(kDontPropagateSwitch)) return line;
  PropagateExternalFlags(context, configs, &line);
  if (own.HasSwitchNamed(kPackageEnvSwitch)) {
    line.AddSwitch(kPackageEnvSwitch, own.SwitchValue(kPackageEnvSwitch));
  }
  if (own.HasSwitchNamed(kPidPathSwitch)) {
    line.AddSwitch(kPidPathSwitch, GetPidFilePath(context).value());
  }
  return line;
}

}  // namespace vorn
