// Checks the facts about the target's data model that the rest of the code
// relies on and that differ between the build machine (x86_64) and the
// device (armhf: 32-bit ARM, hard float). Each fact is asserted with the
// value expected on that architecture, so running this suite natively and
// under qemu-arm tells which model the binaries were really built for.

#include <sys/types.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <type_traits>

#include "gtest/gtest.h"

#ifndef VORN_EXPECT_NEON
#define VORN_EXPECT_NEON 0
#endif

namespace {

// What one architecture promises.
struct DataModel {
  const char* name;
  size_t pointer_bytes;  // also size_t, ptrdiff_t, ssize_t and long
  size_t time_t_bytes;   // time_t and timespec::tv_sec
  bool char_is_signed;   // plain char
  long long long_max;    // LONG_MAX
};

#if defined(__arm__)
constexpr DataModel kExpected = {"armhf", 4, 4, false, 2147483647LL};
#define VORN_KNOWN_DATA_MODEL 1
#elif defined(__x86_64__)
constexpr DataModel kExpected = {"x86_64", 8, 8, true, 9223372036854775807LL};
#define VORN_KNOWN_DATA_MODEL 1
#else
#define VORN_KNOWN_DATA_MODEL 0
#endif

#if VORN_KNOWN_DATA_MODEL

TEST(Platform32BitTest, WordSizedTypesMatchTheTarget) {
  SCOPED_TRACE(kExpected.name);
  EXPECT_EQ(kExpected.pointer_bytes, sizeof(void*));
  EXPECT_EQ(kExpected.pointer_bytes, sizeof(size_t));
  EXPECT_EQ(kExpected.pointer_bytes, sizeof(ptrdiff_t));
  EXPECT_EQ(kExpected.pointer_bytes, sizeof(ssize_t));
  EXPECT_EQ(kExpected.pointer_bytes, sizeof(long));
  EXPECT_EQ(static_cast<unsigned long long>(kExpected.long_max),
            static_cast<unsigned long long>(LONG_MAX));
  EXPECT_EQ(
      kExpected.pointer_bytes == 4 ? 0xffffffffULL : 0xffffffffffffffffULL,
      static_cast<unsigned long long>(SIZE_MAX));
}

TEST(Platform32BitTest, FixedWidthTypesAreTheSameEverywhere) {
  // pids, socket results and JSON integers are 32 bits on both targets;
  // durations are 64-bit microsecond counts.
  EXPECT_EQ(4u, sizeof(int));
  EXPECT_EQ(4u, sizeof(pid_t));
  EXPECT_EQ(8u, sizeof(long long));
  EXPECT_EQ(8u, sizeof(int64_t));
  EXPECT_EQ(8u, alignof(int64_t));
  EXPECT_EQ(8u, sizeof(double));
  EXPECT_EQ(4u, sizeof(float));
}

TEST(Platform32BitTest, TimeTMatchesTheTarget) {
  SCOPED_TRACE(kExpected.name);
  EXPECT_EQ(kExpected.time_t_bytes, sizeof(time_t));
  timespec now{};
  EXPECT_EQ(kExpected.time_t_bytes, sizeof(now.tv_sec));
  ASSERT_EQ(0, clock_gettime(CLOCK_MONOTONIC, &now));
  EXPECT_GE(now.tv_nsec, 0);
  EXPECT_LT(now.tv_nsec, 1000000000L);
}

TEST(Platform32BitTest, PlainCharSignednessMatchesTheTarget) {
  SCOPED_TRACE(kExpected.name);
  EXPECT_EQ(kExpected.char_is_signed, std::is_signed<char>::value);
  const char high = static_cast<char>(0xe9);  // first byte of a UTF-8 pair
  EXPECT_EQ(kExpected.char_is_signed, high < 0);
  // Reading bytes through unsigned char gives the same value everywhere.
  EXPECT_EQ(0xe9, static_cast<unsigned char>(high));
}

TEST(Platform32BitTest, StrtolSaturatesAtTheTargetsLongRange) {
  SCOPED_TRACE(kExpected.name);
  // One past INT32_MAX: representable in a 64-bit long only.
  errno = 0;
  const long value = std::strtol("2147483648", nullptr, 10);
  if (kExpected.pointer_bytes == 4) {
    EXPECT_EQ(ERANGE, errno);
    EXPECT_EQ(LONG_MAX, value);
  } else {
    EXPECT_EQ(0, errno);
    EXPECT_EQ(2147483648LL, static_cast<long long>(value));
  }
}

TEST(Platform32BitTest, ByteOrderIsLittleEndian) {
  const uint32_t word = 0x01020304u;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&word);
  EXPECT_EQ(0x04, bytes[0]);
  EXPECT_EQ(0x01, bytes[3]);
}

#if defined(__arm__)
TEST(Platform32BitTest, ArmhfUsesTheHardFloatAbi) {
#if defined(__ARM_PCS_VFP)
  const bool hard_float = true;
#else
  const bool hard_float = false;
#endif
  EXPECT_TRUE(hard_float);
  EXPECT_GE(__ARM_ARCH, 7);
}

TEST(Platform32BitTest, NeonIsUsedExactlyWhenConfigured) {
#if defined(__ARM_NEON)
  const bool neon = true;
#else
  const bool neon = false;
#endif
  EXPECT_EQ(VORN_EXPECT_NEON != 0, neon);
}
#endif  // __arm__

#else  // !VORN_KNOWN_DATA_MODEL

TEST(Platform32BitTest, ArchitectureHasRecordedExpectations) {
  FAIL() << "no data model recorded for this architecture; add one above";
}

#endif  // VORN_KNOWN_DATA_MODEL

}  // namespace
