// Numbers of the JSON reader: scanning a byte range on its own, and
// conversion, whose fast decimal-to-double paths must agree bit for bit with
// std::from_chars while integers keep their limits.

#include "base/json/internal/json_number.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/json/json_reader.h"
#include "gtest/gtest.h"

namespace base {
namespace {

uint64_t Bits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  return bits;
}

// The double std::from_chars makes of `text`; false when it rejects it.
bool Reference(const std::string& text, double* value) {
  const std::from_chars_result result =
      std::from_chars(text.data(), text.data() + text.size(), *value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// Parses `text` as a JSON document and checks it against std::from_chars:
// same bits for a double, or an integer of the same value.
void ExpectParsesLikeFromChars(const std::string& text) {
  SCOPED_TRACE(text);
  double expected = 0;
  const bool in_range = Reference(text, &expected) && std::isfinite(expected);
  std::unique_ptr<JsonValue> value = ParseJson(text);
  if (!in_range) {
    // Overflow fails the parse; underflow gives a zero.
    if (value) {
      EXPECT_EQ(value->GetDouble(), 0.0);
    }
    return;
  }
  ASSERT_TRUE(value);
  if (value->is_int()) {
    EXPECT_EQ(static_cast<double>(value->GetInt()), expected);
  } else {
    ASSERT_TRUE(value->is_double());
    EXPECT_EQ(Bits(value->GetDouble()), Bits(expected));
  }
}

// Random digits, optional fraction and exponent, as JSON number text.
std::string RandomNumberText(std::mt19937_64& random) {
  std::string text;
  if (random() % 2) text.push_back('-');
  const int int_digits = static_cast<int>(random() % 20);
  if (int_digits == 0) {
    text.push_back('0');
  } else {
    text.push_back(static_cast<char>('1' + random() % 9));
    for (int i = 1; i < int_digits; ++i) {
      text.push_back(static_cast<char>('0' + random() % 10));
    }
  }
  if (int_digits == 0 || random() % 4 != 0) {
    text.push_back('.');
    const int zeros = random() % 3 == 0 ? static_cast<int>(random() % 12) : 0;
    text.append(static_cast<size_t>(zeros), '0');
    const int frac_digits = 1 + static_cast<int>(random() % 22);
    for (int i = 0; i < frac_digits; ++i) {
      text.push_back(static_cast<char>('0' + random() % 10));
    }
  }
  if (random() % 3 == 0) {
    text.push_back(random() % 2 ? 'e' : 'E');
    const int sign = static_cast<int>(random() % 3);
    if (sign == 1) text.push_back('-');
    if (sign == 2) text.push_back('+');
    text += std::to_string(random() % 330);
  }
  return text;
}

TEST(JsonNumberTest, DecimalToDoubleMatchesFromChars) {
  std::mt19937_64 random(20240611);
  int in_table = 0;
  int decided = 0;
  constexpr int kRounds = 200000;
  for (int i = 0; i < kRounds; ++i) {
    // 1 to 19 digits; powers mostly within the table, some far beyond.
    const int length = 1 + static_cast<int>(random() % 19);
    uint64_t digits = 1 + random() % 9;
    for (int d = 1; d < length; ++d) digits = digits * 10 + random() % 10;
    const int power = random() % 4 == 0 ? static_cast<int>(random() % 700) - 360
                                        : static_cast<int>(random() % 129) - 64;
    const bool table_power =
        power >= json_internal::kMinPow10 && power <= json_internal::kMaxPow10;
    if (table_power) ++in_table;
    const std::string text =
        std::to_string(digits) + "e" + std::to_string(power);
    double value = -1;
    if (!json_internal::DecimalToDouble(digits, power, false, &value)) continue;
    if (table_power) ++decided;
    double expected = 0;
    ASSERT_TRUE(Reference(text, &expected)) << text;
    ASSERT_EQ(Bits(value), Bits(expected)) << text;
  }
  // Within the table only ties are left to the slow path.
  EXPECT_GT(in_table, kRounds * 3 / 4);
  EXPECT_GT(decided, in_table / 100 * 99);
}

// A little-endian multi-limb integer, enough to check the table exactly.
using BigInt = std::vector<uint32_t>;

void MultiplyBig(BigInt* number, uint32_t factor) {
  uint64_t carry = 0;
  for (uint32_t& limb : *number) {
    const uint64_t product = uint64_t{limb} * factor + carry;
    limb = static_cast<uint32_t>(product);
    carry = product >> 32;
  }
  if (carry) number->push_back(static_cast<uint32_t>(carry));
}

BigInt FromEntry(int index) {
  const uint64_t high = json_internal::kPow5Table.high[index];
  const uint64_t low = json_internal::kPow5Table.low[index];
  return {static_cast<uint32_t>(low), static_cast<uint32_t>(low >> 32),
          static_cast<uint32_t>(high), static_cast<uint32_t>(high >> 32)};
}

void AddBig(BigInt* number, const BigInt& addend) {
  if (number->size() < addend.size()) number->resize(addend.size(), 0);
  uint64_t carry = 0;
  for (size_t i = 0; i < number->size(); ++i) {
    const uint64_t sum =
        uint64_t{(*number)[i]} + (i < addend.size() ? addend[i] : 0) + carry;
    (*number)[i] = static_cast<uint32_t>(sum);
    carry = sum >> 32;
  }
  if (carry) number->push_back(static_cast<uint32_t>(carry));
}

void ShiftLeftBig(BigInt* number, int bits) {
  for (int i = 0; i < bits; ++i) MultiplyBig(number, 2);
}

// Three-way comparison of two numbers.
int CompareBig(BigInt a, BigInt b) {
  while (!a.empty() && a.back() == 0) a.pop_back();
  while (!b.empty() && b.back() == 0) b.pop_back();
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = a.size(); i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

TEST(JsonNumberTest, PowerOfFiveTableIsTruncatedExactly) {
  for (int q = json_internal::kMinPow10; q <= json_internal::kMaxPow10; ++q) {
    SCOPED_TRACE(q);
    const int index = q - json_internal::kMinPow10;
    EXPECT_TRUE(json_internal::kPow5Table.high[index] >> 63);
    const int exponent = json_internal::Pow5Exponent(q);
    BigInt power = {1};  // 5^|q|
    for (int i = 0; i < (q < 0 ? -q : q); ++i) MultiplyBig(&power, 5);
    BigInt entry = FromEntry(index);
    BigInt next = entry;
    AddBig(&next, {1});
    if (q >= 0 && exponent < 0) {
      // Fewer than 128 bits: the entry is 5^q shifted up, exactly.
      ShiftLeftBig(&power, -exponent);
      EXPECT_EQ(CompareBig(entry, power), 0);
    } else if (q >= 0) {
      // entry * 2^exponent <= 5^q < (entry + 1) * 2^exponent.
      ShiftLeftBig(&entry, exponent);
      ShiftLeftBig(&next, exponent);
      EXPECT_LE(CompareBig(entry, power), 0);
      EXPECT_GT(CompareBig(next, power), 0);
    } else {
      // entry = floor(2^-exponent / 5^-q):
      // entry * 5^-q <= 2^-exponent < (entry + 1) * 5^-q.
      BigInt scale = {1};
      ShiftLeftBig(&scale, -exponent);
      for (int i = 0; i < -q; ++i) {
        MultiplyBig(&entry, 5);
        MultiplyBig(&next, 5);
      }
      EXPECT_LE(CompareBig(entry, scale), 0);
      EXPECT_GT(CompareBig(next, scale), 0);
    }
  }
}

TEST(JsonNumberTest, DecimalToDoubleSignsAndZero) {
  double value = 1;
  ASSERT_TRUE(json_internal::DecimalToDouble(0, 400, true, &value));
  EXPECT_EQ(Bits(value), Bits(-0.0));
  ASSERT_TRUE(json_internal::DecimalToDouble(0, -400, false, &value));
  EXPECT_EQ(Bits(value), Bits(0.0));
  ASSERT_TRUE(
      json_internal::DecimalToDouble(65613616999999977ULL, -15, true, &value));
  EXPECT_EQ(value, -65.613616999999977);
}

TEST(JsonNumberTest, DecimalToDoubleLeavesEdgesToCaller) {
  double value = 7;
  // Overflow, subnormal results and powers beyond the table.
  EXPECT_FALSE(json_internal::DecimalToDouble(18, 307, false, &value));
  EXPECT_FALSE(json_internal::DecimalToDouble(5, -324, false, &value));
  EXPECT_FALSE(json_internal::DecimalToDouble(1, -400, false, &value));
  EXPECT_FALSE(json_internal::DecimalToDouble(1, 309, false, &value));
  EXPECT_FALSE(json_internal::DecimalToDouble(1234567890123456789ULL, 65, false,
                                              &value));
  EXPECT_FALSE(json_internal::DecimalToDouble(1234567890123456789ULL, -65,
                                              false, &value));
  // 2^53 + 1 lies half-way between two doubles.
  EXPECT_FALSE(
      json_internal::DecimalToDouble(9007199254740993ULL, 0, false, &value));
  EXPECT_EQ(value, 7);
}

TEST(JsonNumberTest, ParseMatchesFromCharsOnGeneratedTexts) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 100000; ++i) {
    ExpectParsesLikeFromChars(RandomNumberText(random));
    if (HasFatalFailure()) return;
  }
}

TEST(JsonNumberTest, ParseMatchesFromCharsAtBoundaries) {
  const std::string kTexts[] = {
      "1e22",
      "1e23",
      "-1e22",
      "9007199254740992",
      "9007199254740993",
      "9007199254740994",
      "9007199254740995",
      "18446744073709551615",
      "18446744073709551616",
      "99999999999999999999",
      "1234567890123456789",
      "12345678901234567890",
      "0.1",
      "0.30000000000000004",
      "5e-324",
      "2.4703282292062327e-324",
      "2.4703282292062328e-324",
      "2.2250738585072011e-308",
      "2.2250738585072014e-308",
      "1.7976931348623157e308",
      "1.7976931348623158e308",
      "4.9e-324",
      "1e-400",
      "-1e-400",
      "0e999999",
      "-0.0",
      "-0e-5",
      "123456789012345678e-5",
      "0.00000000000000000000000000000000000001234",
      "12345678.87654321",
      "1.00000000000000011102230246251565404236316680908203125",
      "1.00000000000000011102230246251565404236316680908203124",
      "1.00000000000000011102230246251565404236316680908203126",
      "3.0e0000000000000000000000001",
      "1e64",
      "1e-64",
      "1e65",
      "1e-65",
      "1.2345678901234567e64",
      "1.2345678901234567e65",
      "9.876543219876543219e-64",
      "9.876543219876543219e-66",
      "1" + std::string(400, '0') + "e-400",
  };
  for (const std::string& text : kTexts) ExpectParsesLikeFromChars(text);
}

TEST(JsonNumberTest, IntegersAtInt32Limits) {
  struct Case {
    const char* text;
    bool is_int;
  };
  const Case kCases[] = {
      {"2147483647", true},   {"-2147483648", true}, {"2147483648", false},
      {"-2147483649", false}, {"4294967296", false}, {"9999999999", false},
      {"10000000000", false}, {"-0", true},          {"0", true},
      {"12345678", true},     {"1.0", false},        {"1e0", false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    std::unique_ptr<JsonValue> value = ParseJson(c.text);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->is_int(), c.is_int);
    EXPECT_EQ(value->GetDouble(), std::stod(c.text));
  }
  std::unique_ptr<JsonValue> zero = ParseJson("-0");
  EXPECT_EQ(zero->GetInt(), 0);
}

TEST(JsonNumberTest, EightDigitChunksStopAtTheirEnd) {
  // Digit runs of 8 and 16 followed by every kind of terminator.
  std::unique_ptr<JsonValue> list = ParseJson(
      "[12345678,87654321.12345678,1234567812345678 ,0.1234567,"
      "1.123456781e1]");
  ASSERT_TRUE(list);
  ASSERT_EQ(list->ListSize(), 5u);
  EXPECT_EQ(list->GetList()[0].GetInt(), 12345678);
  EXPECT_EQ(list->GetList()[1].GetDouble(), 87654321.12345678);
  EXPECT_EQ(list->GetList()[2].GetDouble(), 1234567812345678.0);
  EXPECT_EQ(list->GetList()[3].GetDouble(), 0.1234567);
  EXPECT_EQ(list->GetList()[4].GetDouble(), 11.23456781);
}

TEST(JsonNumberTest, DigitRunsOfEveryLengthBeforeEveryTerminator) {
  // Each run is followed by enough text that the digits are read a word at
  // a time, up to the terminator; a fraction and an exponent follow too.
  std::mt19937_64 random(3);
  for (int length = 1; length <= 24; ++length) {
    for (const char* terminator : {",", " ,", "\n,", "\t,", "e1,", ".5,"}) {
      std::string number(1, static_cast<char>('1' + random() % 9));
      for (int i = 1; i < length; ++i) {
        number.push_back(static_cast<char>('0' + random() % 10));
      }
      const std::string fraction = "0." + number;
      // A fraction cannot take a second one.
      const std::string fraction_terminator =
          terminator[0] == '.' ? "e-2," : terminator;
      const std::string text = "[" + number + terminator + fraction +
                               fraction_terminator + number + "]" +
                               std::string(12, ' ');
      SCOPED_TRACE(text);
      std::unique_ptr<JsonValue> list = ParseJson(text);
      ASSERT_TRUE(list);
      ASSERT_EQ(list->ListSize(), 3u);
      const auto suffix = [](std::string t) {
        return t.substr(0, t.find_first_of(" ,\t\n"));
      };
      double expected = 0;
      ASSERT_TRUE(Reference(number + suffix(terminator), &expected));
      EXPECT_EQ(list->GetList()[0].GetDouble(), expected);
      ASSERT_TRUE(Reference(fraction + suffix(fraction_terminator), &expected));
      EXPECT_EQ(Bits(list->GetList()[1].GetDouble()), Bits(expected));
      ASSERT_TRUE(Reference(number, &expected));
      EXPECT_EQ(list->GetList()[2].GetDouble(), expected);
    }
  }
}

TEST(JsonNumberTest, MalformedNumbersStillFail) {
  JsonReader reader;
  for (const char* text :
       {"12345678x", "01234567", "1.", "1.e5", "1e", "1e+", "-", "123456789a",
        "1234567812345678.", "0.12345678:"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(reader.ReadToValue(text));
    EXPECT_EQ(reader.error_code(), JsonReader::JSON_SYNTAX_ERROR);
  }
  // Too large for a double: fails without an error code.
  EXPECT_FALSE(reader.ReadToValue("1.7976931348623159e308"));
  EXPECT_EQ(reader.error_code(), JsonReader::JSON_NO_ERROR);
  EXPECT_FALSE(reader.ReadToValue("-123456789012345678901234e300"));
  EXPECT_EQ(reader.error_code(), JsonReader::JSON_NO_ERROR);
}

// --- Scanning and conversion of a byte range on their own -------------------

// Scans `text` whole: the scan must succeed and end exactly at its end.
json_internal::NumberScan ScanAll(const std::string& text) {
  json_internal::NumberScan scan;
  const char* end = text.data() + text.size();
  EXPECT_TRUE(json_internal::ScanNumber(text.data(), end, &scan)) << text;
  EXPECT_EQ(scan.end, end) << text;
  return scan;
}

TEST(JsonNumberScanTest, ScanDigitsStopsAtTheFirstOtherByte) {
  // Every run length up to 20, every terminator class (none, ASCII neighbours
  // of the digits, high bytes that carry in the SWAR test), at every offset
  // within an eight-byte word.
  const std::string kTerminators[] = {"",     "/",    ":",    ".",    "e",
                                      "\x8a", "\xff", "\x80", " 1234"};
  std::mt19937_64 random(3);
  for (int length = 0; length <= 20; ++length) {
    for (const std::string& terminator : kTerminators) {
      for (int offset = 0; offset < 8; ++offset) {
        std::string run;
        uint64_t expected = 5;  // a value carried in
        for (int i = 0; i < length; ++i) {
          const char digit = static_cast<char>('0' + random() % 10);
          run.push_back(digit);
          expected = expected * 10 + static_cast<uint64_t>(digit - '0');
        }
        const std::string text = std::string(offset, 'x') + run + terminator;
        const char* begin = text.data() + offset;
        uint64_t digits = 5;
        const char* stop = json_internal::ScanDigits(
            begin, text.data() + text.size(), &digits);
        ASSERT_EQ(stop - begin, length) << text;
        ASSERT_EQ(digits, expected) << text;
      }
    }
  }
}

TEST(JsonNumberScanTest, ScanNumberSplitsTheParts) {
  const std::string text = "-12.0340e+5";
  json_internal::NumberScan scan = ScanAll(text);
  EXPECT_TRUE(scan.negative);
  EXPECT_EQ(scan.int_begin, text.data() + 1);
  EXPECT_EQ(scan.int_end, text.data() + 3);
  EXPECT_EQ(scan.frac_begin, text.data() + 4);
  EXPECT_EQ(scan.exp_begin, text.data() + 10);
  EXPECT_EQ(scan.digits, 120340u);
  EXPECT_EQ(scan.significant, 6);
  EXPECT_EQ(scan.power10, -4 + 5);

  // Zeros after "0." are not significant; the integer part alone counts
  // every digit.
  scan = ScanAll("0.000120");
  EXPECT_FALSE(scan.negative);
  EXPECT_EQ(scan.digits, 120u);
  EXPECT_EQ(scan.significant, 3);
  EXPECT_EQ(scan.power10, -6);
  EXPECT_EQ(scan.exp_begin, nullptr);

  scan = ScanAll("1000");
  EXPECT_EQ(scan.digits, 1000u);
  EXPECT_EQ(scan.significant, 4);
  EXPECT_EQ(scan.power10, 0);
  EXPECT_EQ(scan.frac_begin, nullptr);

  // The exponent saturates instead of overflowing.
  scan = ScanAll("1E-99999999999999999999");
  EXPECT_LT(scan.power10, -99999);
}

TEST(JsonNumberScanTest, ScanNumberLeavesWhatFollowsToTheCaller) {
  for (const std::string text : {"1.5x", "7]", "0,", "-0 ", "3e4}", "2.0e1/"}) {
    json_internal::NumberScan scan;
    ASSERT_TRUE(json_internal::ScanNumber(text.data(),
                                          text.data() + text.size(), &scan))
        << text;
    EXPECT_EQ(scan.end, text.data() + text.size() - 1) << text;
  }
}

TEST(JsonNumberScanTest, ScanNumberReportsWhereTheGrammarBreaks) {
  struct Case {
    const char* text;
    int error_at;
  };
  const Case kCases[] = {{"", 0},     {"-", 1},  {"-a", 1},  {"+1", 0},
                         {".5", 0},   {"01", 1}, {"-00", 2}, {"1.", 2},
                         {"1.e3", 2}, {"1e", 2}, {"1e+", 3}, {"1E-x", 3},
                         {"0.1e", 4}};
  for (const Case& c : kCases) {
    const std::string text = c.text;
    json_internal::NumberScan scan;
    EXPECT_FALSE(json_internal::ScanNumber(text.data(),
                                           text.data() + text.size(), &scan))
        << text;
    EXPECT_EQ(scan.end - text.data(), c.error_at) << text;
  }
}

TEST(JsonNumberScanTest, ConvertNumberGivesIntegersDoublesOrFailure) {
  json_internal::NumberValue value;
  ASSERT_TRUE(json_internal::ConvertNumber(ScanAll("-2147483648"), &value));
  EXPECT_TRUE(value.is_int);
  EXPECT_EQ(value.int_value, INT32_MIN);
  ASSERT_TRUE(json_internal::ConvertNumber(ScanAll("2147483648"), &value));
  EXPECT_FALSE(value.is_int);
  EXPECT_EQ(value.double_value, 2147483648.0);

  // Underflow gives a zero of the right sign; overflow fails and leaves the
  // value alone.
  ASSERT_TRUE(json_internal::ConvertNumber(ScanAll("-1e-400"), &value));
  EXPECT_FALSE(value.is_int);
  EXPECT_EQ(Bits(value.double_value), Bits(-0.0));
  value.double_value = 7;
  EXPECT_FALSE(json_internal::ConvertNumber(ScanAll("1e400"), &value));
  EXPECT_FALSE(json_internal::ConvertNumber(ScanAll("-1.8e308"), &value));
  EXPECT_EQ(value.double_value, 7);

  // More than 19 significant digits take the slow path, still exact: the
  // tie between 1 and the next double goes to even, a hair above it up.
  ASSERT_TRUE(json_internal::ConvertNumber(
      ScanAll("1.00000000000000011102230246251565404236316680908203125"),
      &value));
  EXPECT_EQ(Bits(value.double_value), Bits(1.0));
  ASSERT_TRUE(json_internal::ConvertNumber(
      ScanAll("1.00000000000000011102230246251565404236316680908203126"),
      &value));
  EXPECT_EQ(Bits(value.double_value), Bits(1.0000000000000002));
}

TEST(JsonNumberScanTest, ConvertNumberMatchesFromCharsOnGeneratedTexts) {
  std::mt19937_64 random(11);
  for (int i = 0; i < 50000; ++i) {
    const std::string text = RandomNumberText(random);
    double expected = 0;
    const bool in_range = Reference(text, &expected) && std::isfinite(expected);
    json_internal::NumberValue value;
    const bool converted = json_internal::ConvertNumber(ScanAll(text), &value);
    if (!in_range) {
      // Out of range: an overflow fails, an underflow is a zero.
      if (converted) {
        ASSERT_EQ(value.double_value, 0.0) << text;
      }
      continue;
    }
    ASSERT_TRUE(converted) << text;
    if (value.is_int) {
      ASSERT_EQ(static_cast<double>(value.int_value), expected) << text;
    } else {
      ASSERT_EQ(Bits(value.double_value), Bits(expected)) << text;
    }
  }
}

TEST(JsonNumberScanTest, UnderflowIsToldFromOverflowByMagnitude) {
  EXPECT_TRUE(json_internal::IsUnderflow(ScanAll("1e-400")));
  EXPECT_TRUE(json_internal::IsUnderflow(ScanAll("0.0001e-330")));
  EXPECT_TRUE(json_internal::IsUnderflow(ScanAll("-99e-400")));
  EXPECT_FALSE(json_internal::IsUnderflow(ScanAll("1e400")));
  EXPECT_FALSE(json_internal::IsUnderflow(ScanAll("0.001e312")));
  EXPECT_FALSE(
      json_internal::IsUnderflow(ScanAll("1" + std::string(400, '0'))));
}

}  // namespace
}  // namespace base
