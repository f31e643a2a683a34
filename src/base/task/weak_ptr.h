// WeakPtr and WeakPtrFactory: references that become null when the object
// they point to is destroyed, so that posted tasks and callbacks can outlive
// their receiver safely.
//
//   class Client {
//    public:
//     void Start() {
//       base::ThreadTaskRunnerHandle::Get()->PostTask(
//           FROM_HERE, base::BindWeak(weak_factory_.GetWeakPtr(),
//                                     [this] { OnStarted(); }));
//     }
//    private:
//     void OnStarted();
//     base::WeakPtrFactory<Client> weak_factory_{this};  // last member
//   };
//
// If the Client is destroyed before the task runs, the task is dropped.
//
// Ownership and threads: a WeakPtr never owns its object. The object's owner
// destroys it on its own thread; WeakPtrs may be copied and passed to other
// threads, but may be dereferenced (get, ->, *, bool) only on the object's
// thread, since only there can the object not be destroyed concurrently.
// Declare the factory as the last member, so that weak pointers are
// invalidated before any other member is destroyed.

#ifndef VORN_BASE_TASK_WEAK_PTR_H_
#define VORN_BASE_TASK_WEAK_PTR_H_

#include <cstddef>
#include <memory>
#include <type_traits>

#include "base/logging/logging.h"

namespace base {

template <typename T>
class WeakPtrFactory;

template <typename T>
class WeakPtr final {
 public:
  WeakPtr() = default;
  WeakPtr(std::nullptr_t) {}  // NOLINT: converts like a raw pointer

  // A WeakPtr<Derived> converts to a WeakPtr<Base>.
  template <typename U,
            typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  WeakPtr(const WeakPtr<U>& other)  // NOLINT: converts like a raw pointer
      : alive_(other.alive_), ptr_(other.ptr_) {}

  // The object, or null once it is gone (or for a null WeakPtr).
  T* get() const { return alive_.expired() ? nullptr : ptr_; }
  // Dereferencing a WeakPtr whose object is gone is a check failure.
  T* operator->() const {
    T* object = get();
    CHECK(object != nullptr);
    return object;
  }
  T& operator*() const { return *operator->(); }
  explicit operator bool() const { return get() != nullptr; }

  // Makes this WeakPtr null.
  void reset() {
    alive_.reset();
    ptr_ = nullptr;
  }

 private:
  template <typename U>
  friend class WeakPtr;
  friend class WeakPtrFactory<T>;

  WeakPtr(std::weak_ptr<const bool> alive, T* ptr)
      : alive_(std::move(alive)), ptr_(ptr) {}

  std::weak_ptr<const bool> alive_;  // expired once the factory invalidated
  T* ptr_ = nullptr;                 // meaningful only while alive_ holds
};

template <typename T>
class WeakPtrFactory final {
 public:
  // `ptr` is the object this factory hands out references to; usually the
  // object that has the factory as its last member.
  explicit WeakPtrFactory(T* ptr) : ptr_(ptr) {}
  ~WeakPtrFactory() = default;  // releasing alive_ invalidates every WeakPtr

  WeakPtrFactory(const WeakPtrFactory&) = delete;
  WeakPtrFactory& operator=(const WeakPtrFactory&) = delete;

  // A new reference to the object; valid until InvalidateWeakPtrs or the
  // factory's destruction.
  WeakPtr<T> GetWeakPtr() {
    if (!alive_) alive_ = std::make_shared<const bool>(true);
    return WeakPtr<T>(alive_, ptr_);
  }

  // Makes every WeakPtr handed out so far null. Later GetWeakPtr calls hand
  // out fresh, valid references.
  void InvalidateWeakPtrs() { alive_.reset(); }

 private:
  T* const ptr_;
  std::shared_ptr<const bool> alive_;  // null until the first GetWeakPtr
};

}  // namespace base

#endif  // VORN_BASE_TASK_WEAK_PTR_H_
