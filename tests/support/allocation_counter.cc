#include "tests/support/allocation_counter.h"

#include <cstdlib>
#include <new>

namespace {
size_t g_allocations = 0;
}  // namespace

void* operator new(size_t size) {
  ++g_allocations;
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) std::abort();
  return p;
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace vorn {
namespace test {

size_t AllocationCount() { return g_allocations; }

}  // namespace test
}  // namespace vorn
