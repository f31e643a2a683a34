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
//
// Threads: none of it is synchronised. The scopes form one process-wide
// stack that vorn_cli, being single-threaded, opens and closes on its main
// thread; register callbacks on that thread too, or while no other thread
// can touch the stack. Scopes must close in the reverse order of opening
// (a check failure otherwise). Callbacks run on the thread that closes the
// scope or calls ProcessCallbacksNow, and may register further callbacks,
// which then run in the same pass.

#ifndef VORN_BASE_FILES_AT_EXIT_H_
#define VORN_BASE_FILES_AT_EXIT_H_

#include <functional>
#include <vector>

namespace base {

class AtExitManager final {
 public:
  AtExitManager();
  ~AtExitManager();

  AtExitManager(const AtExitManager&) = delete;
  AtExitManager& operator=(const AtExitManager&) = delete;

  // Adds `callback` to the innermost open scope, which owns it until it has
  // run. It runs on the thread that closes the scope. A check failure when no
  // scope is open.
  static void RegisterCallback(std::function<void()> callback);
  // Runs and forgets the innermost scope's callbacks now, last first,
  // including those they register meanwhile. A check failure when no scope
  // is open.
  static void ProcessCallbacksNow();

 private:
  AtExitManager* next_;  // the enclosing scope, or null
  std::vector<std::function<void()>> callbacks_;  // in registration order
};

}  // namespace base

#endif  // VORN_BASE_FILES_AT_EXIT_H_
