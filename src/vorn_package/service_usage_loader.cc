#include "vorn_package/service_usage_loader.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "base/json_reader.h"
#include "base/json_value.h"

namespace vorn {

namespace {

constexpr size_t kMaxExecutablePath = 4096;

// A string member of `dict`, or "" when it is absent or not a string.
std::string OptionalString(const base::JsonValue& dict, std::string_view key) {
  const base::JsonValue* value =
      dict.FindKeyOfType(key, base::JsonValue::Type::STRING);
  return value ? value->GetString() : std::string();
}

bool ParseFlags(const base::JsonValue& list, std::vector<ExternalFlag>* flags) {
  for (const base::JsonValue& item : list.GetList()) {
    if (!item.is_dict()) return false;
    ExternalFlag flag;
    flag.name = OptionalString(item, "name");
    if (flag.name.empty()) return false;
    flag.description = OptionalString(item, "description");
    flag.value_expression = OptionalString(item, "value_expression");
    flags->push_back(std::move(flag));
  }
  return true;
}

}  // namespace

base::FilePath GetProcessConfigPath() {
  char buffer[kMaxExecutablePath];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer));
  if (length <= 0 || static_cast<size_t>(length) >= sizeof(buffer)) {
    return base::FilePath();
  }
  base::FilePath executable(
      std::string_view(buffer, static_cast<size_t>(length)));
  return executable.DirName().Append("process.json");
}

bool ParseServiceUsage(std::string_view json,
                       std::vector<ServiceUsage>* services) {
  std::unique_ptr<base::JsonValue> root = base::ParseJson(json);
  if (!root || !root->is_list()) return false;
  std::vector<ServiceUsage> parsed;
  for (const base::JsonValue& entry : root->GetList()) {
    if (!entry.is_dict()) return false;
    ServiceUsage service;
    service.name = OptionalString(entry, "name");
    if (service.name.empty()) return false;
    const base::JsonValue* flags =
        entry.FindKeyOfType("external_flags", base::JsonValue::Type::LIST);
    if (flags && !ParseFlags(*flags, &service.external_flags)) return false;
    parsed.push_back(std::move(service));
  }
  *services = std::move(parsed);
  return true;
}

bool LoadServiceUsage(std::vector<ServiceUsage>* services) {
  base::FilePath path = GetProcessConfigPath();
  if (path.empty()) return false;
  std::ifstream file(path.value(), std::ios::binary);
  if (!file) return false;
  std::string text((std::istreambuf_iterator<char>(file)),
                   std::istreambuf_iterator<char>());
  if (file.bad()) return false;
  return ParseServiceUsage(text, services);
}

}  // namespace vorn
