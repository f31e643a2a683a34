// ExternalFlag: a command-line flag that one of the package's services
// accepts, which vorn_cli tolerates on its own command line, lists in its
// usage text and passes on to the process manager.
//
//   vorn::ExternalFlag flag{"volume", "Initial volume.", "<0-100>"};
//   // usage text:   --volume=<0-100>
//   //                   Initial volume.

#ifndef VORN_VORN_PACKAGE_EXTERNAL_FLAG_H_
#define VORN_VORN_PACKAGE_EXTERNAL_FLAG_H_

#include <string>

namespace vorn {

struct ExternalFlag {
  std::string name;         // switch name without dashes; non-empty
  std::string description;  // one line of help; may be empty
  // Placeholder shown after "=" in the usage text; empty for a flag without
  // a value.
  std::string value_expression;

  // Flags are ordered by name alone.
  bool operator<(const ExternalFlag& other) const { return name < other.name; }
};

}  // namespace vorn

#endif  // VORN_VORN_PACKAGE_EXTERNAL_FLAG_H_
