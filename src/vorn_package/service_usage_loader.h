// Reads the services and their external flags from the package's
// process.json, which lies beside the vorn_cli executable, for the usage text.
//
//   std::vector<vorn::ServiceUsage> services;
//   if (vorn::LoadServiceUsage(&services)) ...
//
// Only what the usage text shows is read: each entry's "name" and its
// "external_flags" ({"name", "description", "value_expression"}).

#ifndef VORN_VORN_PACKAGE_SERVICE_USAGE_LOADER_H_
#define VORN_VORN_PACKAGE_SERVICE_USAGE_LOADER_H_

#include <string_view>
#include <vector>

#include "base/file_path.h"
#include "vorn_package/usage.h"

namespace vorn {

// process.json in the directory of the running executable; empty when that
// directory cannot be found.
base::FilePath GetProcessConfigPath();

// Parses a process.json text. All or nothing: on success `*services` is
// replaced and true returned; on failure it is left untouched. The top-level
// value must be a list of dictionaries, each with a non-empty string "name";
// each external flag needs a non-empty string "name", and a "description" or
// "value_expression" that is not a string counts as empty.
bool ParseServiceUsage(std::string_view json,
                       std::vector<ServiceUsage>* services);

// Reads GetProcessConfigPath() and parses it; false when it cannot be read or
// is not valid.
bool LoadServiceUsage(std::vector<ServiceUsage>* services);

}  // namespace vorn

#endif  // VORN_VORN_PACKAGE_SERVICE_USAGE_LOADER_H_
