// Location: where a task was posted from (function, file, line). Kept with
// every posted task for tracing and debugging; it never changes behaviour.
//
//   task_runner->PostTask(FROM_HERE, std::move(task));
//   // posted_from.ToString() == "DoReadLoop@v2_ssl_socket.cc:212"
//
// A location can also be named by hand when the posting site wants a tag of
// its own: base::Location("OnConnect", __FILE__, __LINE__).

#ifndef VORN_BASE_TASK_LOCATION_H_
#define VORN_BASE_TASK_LOCATION_H_

#include <string>

namespace base {

class Location final {
 public:
  constexpr Location() = default;
  // The pointers must be string literals (or otherwise outlive every copy).
  constexpr Location(const char* function_name, const char* file_name, int line)
      : function_name_(function_name), file_name_(file_name), line_(line) {}

  // Never null: "" for a default-constructed location.
  const char* function_name() const { return function_name_; }
  const char* file_name() const { return file_name_; }
  int line() const { return line_; }

  // "function@base_name:line", e.g. "DoReadLoop@v2_ssl_socket.cc:212";
  // "unknown" for a default-constructed location.
  std::string ToString() const {
    if (line_ == 0 && *function_name_ == '\0') return "unknown";
    const char* base = file_name_;
    for (const char* p = file_name_; *p != '\0'; ++p) {
      if (*p == '/') base = p + 1;
    }
    return std::string(function_name_) + "@" + base + ":" +
           std::to_string(line_);
  }

 private:
  const char* function_name_ = "";  // string literal
  const char* file_name_ = "";      // string literal, as __FILE__ gives it
  int line_ = 0;                    // 0 when unknown
};

}  // namespace base

// The location of the statement that uses it.
#define FROM_HERE ::base::Location(__func__, __FILE__, __LINE__)

#endif  // VORN_BASE_TASK_LOCATION_H_
