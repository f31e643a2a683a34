// AtExitManager: the scope that runs clean-up callbacks registered by base
// services when it closes, last registered first.
//
//   int main(int argc, char** argv) {
//     base::AtExitManager exit_manager;
//     ...
//     base::AtExitManager::RegisterCallback(&FlushCaches);
//   }  // FlushCaches runs here
//
// Scopes nest: a callback belongs to the innermost open scope. Registering
// while no scope is open is a check failure.

#ifndef VORN_BASE_AT_EXIT_H_
#define VORN_BASE_AT_EXIT_H_

#include <functional>
#include <vector>

namespace base {

class AtExitManager final {
 public:
  AtExitManager();
  ~AtExitManager();

  AtExitManager(const AtExitManager&) = delete;
  AtExitManager& operator=(const AtExitManager&) = delete;

  // Adds `callback` to the innermost open scope. Runs on the thread that
  // closes the scope.
  static void RegisterCallback(std::function<void()> callback);
  // Runs and forgets the innermost scope's callbacks now, last first.
  static void ProcessCallbacksNow();

 private:
  AtExitManager* next_;  // the enclosing scope, or null
  std::vector<std::function<void()>> callbacks_;  // in registration order
};

}  // namespace base

#endif  // VORN_BASE_AT_EXIT_H_
