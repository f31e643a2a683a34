// ScopedEnv: sets (or, given nullptr, unsets) one environment variable for
// the life of the object and restores the old value after.
//
//   vorn::test::ScopedEnv home("HOME", "/home/op");

#ifndef VORN_TESTS_SUPPORT_SCOPED_ENV_H_
#define VORN_TESTS_SUPPORT_SCOPED_ENV_H_

#include <cstdlib>
#include <optional>
#include <string>

namespace vorn {
namespace test {

class ScopedEnv final {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(old_ ? old_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const char* value) {
    if (value) {
      setenv(name_, value, 1);
    } else {
      unsetenv(name_);
    }
  }

  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace test
}  // namespace vorn

#endif  // VORN_TESTS_SUPPORT_SCOPED_ENV_H_
