// A count of the program's calls to the global operator new (plain and
// array forms), for tests that prove a code path allocates nothing:
//
//   const size_t before = vorn::test::AllocationCount();
//   processor->Process(block, frames, volume);
//   EXPECT_EQ(before, vorn::test::AllocationCount());
//
// The counting allocation functions live in allocation_counter.cc, which a
// test program compiles as one of its own sources: replacing the global
// allocation functions is a decision of the whole program, so it must not
// come in through a library that other tests link. Not thread-safe; count on
// one thread.

#ifndef VORN_TESTS_SUPPORT_ALLOCATION_COUNTER_H_
#define VORN_TESTS_SUPPORT_ALLOCATION_COUNTER_H_

#include <cstddef>

namespace vorn {
namespace test {

// The number of operator new and operator new[] calls so far.
size_t AllocationCount();

}  // namespace test
}  // namespace vorn

#endif  // VORN_TESTS_SUPPORT_ALLOCATION_COUNTER_H_
