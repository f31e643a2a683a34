#include "base/files/at_exit.h"

#include <utility>

#include "base/logging/logging.h"

namespace base {

namespace {
AtExitManager* g_top_manager = nullptr;
}  // namespace

AtExitManager::AtExitManager() : next_(g_top_manager) { g_top_manager = this; }

AtExitManager::~AtExitManager() {
  CHECK(g_top_manager == this);
  ProcessCallbacksNow();
  g_top_manager = next_;
}

void AtExitManager::RegisterCallback(std::function<void()> callback) {
  CHECK(g_top_manager != nullptr);
  g_top_manager->callbacks_.push_back(std::move(callback));
}

void AtExitManager::ProcessCallbacksNow() {
  CHECK(g_top_manager != nullptr);
  // A callback may register another one; keep going until none are left.
  std::vector<std::function<void()>>& callbacks = g_top_manager->callbacks_;
  while (!callbacks.empty()) {
    std::function<void()> callback = std::move(callbacks.back());
    callbacks.pop_back();
    callback();
  }
}

}  // namespace base
