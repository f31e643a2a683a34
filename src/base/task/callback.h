// OnceCallback: a callable that runs at most once, optionally guarded by a
// weak reference so that it does nothing once its receiver is gone.
//
//   base::OnceClosure done = [] { LOG(INFO) << "done"; };
//   std::move(done).Run();        // runs; `done` is null afterwards
//
//   base::OnceCallback<void(int)> on_read = base::BindWeak(
//       weak_factory_.GetWeakPtr(),
//       base::OnceCallback<void(int)>([this](int result) { OnRead(result); }));
//   std::move(on_read).Run(12);   // calls OnRead only if `this` still lives
//
// Any callable with a matching call signature converts, including move-only
// lambdas (one that captures a std::unique_ptr, for instance). Only void
// results are supported: a callback's outcome travels through its arguments
// or the receiver's state.
//
// RepeatingClosure is a plain copyable std::function<void()> for the few
// places that hand out a closure more than once (RunLoop::QuitClosure).
//
// Threads: a callback may be built on one thread and run on another; running
// a weakly bound callback checks its receiver, so it must run on the
// receiver's thread (see weak_ptr.h).

#ifndef VORN_BASE_TASK_CALLBACK_H_
#define VORN_BASE_TASK_CALLBACK_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "base/task/weak_ptr.h"

namespace base {

template <typename Signature>
class OnceCallback;

template <typename... Args>
class OnceCallback<void(Args...)> final {
 public:
  OnceCallback() = default;
  OnceCallback(std::nullptr_t) {}  // NOLINT: a null callback

  // Wraps any callable invocable with Args. Copyable callables are stored
  // directly; move-only ones are kept behind a shared holder, which only this
  // callback (and its moved-to successors) can reach.
  template <typename F, typename = std::enable_if_t<
                            !std::is_same_v<std::decay_t<F>, OnceCallback> &&
                            !std::is_same_v<std::decay_t<F>, std::nullptr_t> &&
                            std::is_invocable_v<std::decay_t<F>&, Args...>>>
  OnceCallback(F&& f)  // NOLINT: lambdas convert implicitly
      : fn_(Wrap(std::forward<F>(f))) {}

  OnceCallback(OnceCallback&&) noexcept = default;
  OnceCallback& operator=(OnceCallback&&) noexcept = default;
  OnceCallback(const OnceCallback&) = delete;
  OnceCallback& operator=(const OnceCallback&) = delete;

  bool is_null() const { return !fn_; }
  explicit operator bool() const { return static_cast<bool>(fn_); }

  // True when the callback is weakly bound and its receiver is gone; running
  // it would do nothing. Call on the receiver's thread.
  bool IsCancelled() const { return guard_ && !guard_(); }

  // Runs the callable unless the callback is cancelled, and leaves this
  // callback null either way. Running a null callback is a check failure.
  // The callable is moved out first, so it may destroy the object that held
  // this callback.
  void Run(Args... args) && {
    CHECK(fn_);
    std::function<void(Args...)> fn = std::move(fn_);
    std::function<bool()> guard = std::move(guard_);
    fn_ = nullptr;
    guard_ = nullptr;
    if (guard && !guard()) return;
    fn(std::forward<Args>(args)...);
  }

  // Drops the callable (and whatever it captured) without running it.
  void Reset() {
    fn_ = nullptr;
    guard_ = nullptr;
  }

 private:
  template <typename T, typename Signature>
  friend OnceCallback<Signature> BindWeak(const WeakPtr<T>& receiver,
                                          OnceCallback<Signature> callback);

  // Adapts a move-only callable to std::function, which needs copies.
  template <typename F>
  struct SharedHolder {
    std::shared_ptr<F> f;
    void operator()(Args... args) const { (*f)(std::forward<Args>(args)...); }
  };

  template <typename F>
  static std::function<void(Args...)> Wrap(F&& f) {
    using Stored = std::decay_t<F>;
    if constexpr (std::is_copy_constructible_v<Stored>) {
      return std::function<void(Args...)>(std::forward<F>(f));
    } else {
      return SharedHolder<Stored>{std::make_shared<Stored>(std::forward<F>(f))};
    }
  }

  std::function<void(Args...)> fn_;  // null once run, reset or moved from
  std::function<bool()> guard_;      // null: unguarded; else true while the
                                     // receiver lives
};

using OnceClosure = OnceCallback<void()>;
using RepeatingClosure = std::function<void()>;

// Returns `callback` guarded by `receiver`: once the receiver is gone the
// result does nothing when run, and IsCancelled() says so (a task queue then
// drops it without running it). A callback that is already guarded keeps its
// old guard too.
template <typename T, typename Signature>
OnceCallback<Signature> BindWeak(const WeakPtr<T>& receiver,
                                 OnceCallback<Signature> callback) {
  std::function<bool()> outer = std::move(callback.guard_);
  if (outer) {
    callback.guard_ = [receiver, outer] { return receiver && outer(); };
  } else {
    callback.guard_ = [receiver] { return static_cast<bool>(receiver); };
  }
  return callback;
}

// The same for a lambda that takes no arguments:
//   BindWeak(weak_factory_.GetWeakPtr(), [this] { DoReadLoop(bytes); })
template <typename T, typename F,
          typename = std::enable_if_t<std::is_invocable_v<std::decay_t<F>&>>>
OnceClosure BindWeak(const WeakPtr<T>& receiver, F&& f) {
  return BindWeak(receiver, OnceClosure(std::forward<F>(f)));
}

}  // namespace base

#endif  // VORN_BASE_TASK_CALLBACK_H_
