#include "base/logging/string_number.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(StringToInt32Test, ReadsTheWholeRangeWithOptionalSign) {
  int32_t value = 0;
  EXPECT_TRUE(StringToInt32("0", &value));
  EXPECT_EQ(0, value);
  EXPECT_TRUE(StringToInt32("+17", &value));
  EXPECT_EQ(17, value);
  EXPECT_TRUE(StringToInt32("-007", &value));
  EXPECT_EQ(-7, value);
  EXPECT_TRUE(StringToInt32("2147483647", &value));
  EXPECT_EQ(INT32_MAX, value);
  EXPECT_TRUE(StringToInt32("-2147483648", &value));
  EXPECT_EQ(INT32_MIN, value);
}

TEST(StringToInt32Test, RefusesAnythingButAWholeInRangeNumber) {
  for (const char* text :
       {"", "+", "-", " 1", "1 ", "1\n", "1.0", "0x10", "1e3", "--1", "+-1",
        "2147483648", "-2147483649", "99999999999999999999999"}) {
    int32_t value = 42;
    EXPECT_FALSE(StringToInt32(text, &value)) << text;
    EXPECT_EQ(42, value) << "output changed for " << text;
  }
}

TEST(StringToInt64Test, ReachesBothEndsWithoutOverflow) {
  int64_t value = 0;
  EXPECT_TRUE(StringToInt64("9223372036854775807", &value));
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), value);
  EXPECT_TRUE(StringToInt64("-9223372036854775808", &value));
  EXPECT_EQ(std::numeric_limits<int64_t>::min(), value);
  EXPECT_FALSE(StringToInt64("9223372036854775808", &value));
  EXPECT_FALSE(StringToInt64("-9223372036854775809", &value));
}

TEST(StringToDoubleTest, ReadsDecimalTextExactly) {
  double value = 0.0;
  EXPECT_TRUE(StringToDouble("0.25", &value));
  EXPECT_EQ(0.25, value);
  EXPECT_TRUE(StringToDouble("+1e-3", &value));
  EXPECT_EQ(1e-3, value);
  EXPECT_TRUE(StringToDouble("-.5", &value));
  EXPECT_EQ(-0.5, value);
  EXPECT_TRUE(StringToDouble("7", &value));
  EXPECT_EQ(7.0, value);
  EXPECT_TRUE(StringToDouble("1.7976931348623157e308", &value));
  EXPECT_EQ(std::numeric_limits<double>::max(), value);
}

TEST(StringToDoubleTest, UnderflowReadsAsZeroOfItsSign) {
  double value = 1.0;
  EXPECT_TRUE(StringToDouble("1e-400", &value));
  EXPECT_EQ(0.0, value);
  EXPECT_TRUE(StringToDouble("-0.0000001e-320", &value));
  EXPECT_EQ(0.0, value);
  EXPECT_TRUE(std::signbit(value));
}

TEST(StringToDoubleTest, RefusesOverflowNonFiniteAndMalformedText) {
  for (const char* text :
       {"",    "+",    "-",     "1e999",    "-1e309", "123456789e400",
        "inf", "-inf", "nan",   "infinity", "0x1p3",  " 1",
        "1 ",  "1,5",  "1.5.1", "e5",       "--1",    "+-1",
        "1e",  "."}) {
    double value = 42.0;
    EXPECT_FALSE(StringToDouble(text, &value)) << text;
    EXPECT_EQ(42.0, value) << "output changed for " << text;
  }
}

}  // namespace
}  // namespace base
