// Numbers of the JSON reader, as free functions over a byte range: scanning
// the text of one number, and converting what was scanned into an integer or
// the correctly rounded double. Internal to the reader
// (src/base/json/internal/); kept apart so that each step can be tested on its
// own.
//
//   const std::string_view text = "-65.613616999999977,";
//   base::json_internal::NumberScan scan;
//   if (!base::json_internal::ScanNumber(text.data(),
//                                        text.data() + text.size(), &scan)) {
//     ... syntax error at scan.end ...
//   }
//   // scan.end points at ","; scan.digits is 65613616999999977 and
//   // scan.power10 is -15.
//   base::json_internal::NumberValue value;
//   if (base::json_internal::ConvertNumber(scan, &value)) {
//     ... value.is_int ? value.int_value : value.double_value ...
//   }
//
// Scanning reads the digits eight at a time where the text allows (SWAR on
// little-endian machines) and gathers up to 19 significant digits in a 64-bit
// integer. Conversion to double first tries DecimalToDouble: when the digits
// and the power of ten are both exactly representable as doubles, one IEEE
// multiplication or division rounds correctly by itself; otherwise the digits
// are multiplied by a 128-bit truncated approximation of 5^q, and since the
// true product lies within a known, tiny interval above the computed one,
// whenever that whole interval rounds to the same double, that double is the
// answer. Ties, more than 19 significant digits, powers of ten beyond the
// table (10^-64..10^64), and the subnormal and overflowing ranges go to
// std::from_chars. Results are always bit-identical to std::from_chars.
//
// Why not std::from_chars alone: measured with bench/json_bench (release
// build, GCC 12, x86-64, CPU time, median of 5 alternating runs), sending
// every non-integer number through the slow path makes parsing the three
// benchmark documents 21% slower (5.90 -> 7.13 ms in total; per-run ratios
// 1.15 to 1.35): canada.json, nearly all coordinates, 3.77 -> 5.03 ms
// (+34%), citm_catalog.json 1.17 -> 1.20 ms (+2%), twitter.json 0.93 ->
// 0.97 ms (+4%). A cost under 10% would have retired this code; 21% keeps
// it.

#ifndef VORN_BASE_JSON_INTERNAL_JSON_NUMBER_H_
#define VORN_BASE_JSON_INTERNAL_JSON_NUMBER_H_

#include <cfloat>
#include <cstdint>
#include <cstring>

namespace base {
namespace json_internal {

// --- Scanning ---------------------------------------------------------------

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// 10^n for n < 8.
inline constexpr uint64_t kSmallPow10[8] = {1,     10,     100,     1000,
                                            10000, 100000, 1000000, 10000000};

// True when all eight bytes of `chunk` are ASCII digits: each high nibble is
// 3, and adding 6 to the byte does not carry out of the low nibble.
inline bool IsEightDigits(uint64_t chunk) {
  return ((chunk & 0xF0F0F0F0F0F0F0F0ULL) |
          (((chunk + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL) >> 4)) ==
         0x3333333333333333ULL;
}

// The top bit of every byte of `chunk` that is not an ASCII digit, and
// possibly of bytes after the first such one (a carry out of a byte at or
// above 0x8A can flag the next). XOR with '0' leaves 0..9 exactly for digits
// and at least 10 for the rest; adding 0x76 then sets the top bit of anything
// above 9 that does not have it already.
inline uint64_t NonDigitBytes(uint64_t chunk) {
  const uint64_t offset = chunk ^ 0x3030303030303030ULL;
  return ((offset + 0x7676767676767676ULL) | offset) & 0x8080808080808080ULL;
}

// The value of eight ASCII digits loaded little-endian (first digit in the
// lowest byte): pairs, then groups of four, then all eight.
inline uint64_t EightDigitsValue(uint64_t chunk) {
  chunk -= 0x3030303030303030ULL;
  // Byte i becomes 10 * digit i + digit i+1; even bytes hold the pairs.
  chunk = chunk * 10 + (chunk >> 8);
  const uint64_t kPairMask = 0x000000FF000000FFULL;
  // Pairs 0 and 2 weighted 10^6 and 10^2, pairs 1 and 3 10^4 and 1, summed
  // in the upper half of the product.
  return ((chunk & kPairMask) * (100 + (1000000ULL << 32)) +
          ((chunk >> 16) & kPairMask) * (1 + (10000ULL << 32))) >>
         32;
}

// Appends the decimal digits in [p, end) up to the first other byte to
// *digits (value = value * 10 + digit, wrapping when more than 19 significant
// digits are gathered) and returns that first other byte, or `end`. Takes
// eight digits per step where the text allows.
inline const char* ScanDigits(const char* p, const char* end,
                              uint64_t* digits) {
  uint64_t value = *digits;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  while (end - p >= 8) {
    uint64_t chunk;
    std::memcpy(&chunk, p, 8);
    if (!IsEightDigits(chunk)) break;
    value = value * 100000000 + EightDigitsValue(chunk);
    p += 8;
  }
  if (end - p >= 8) {
    // Fewer than eight digits follow: convert them in one step as well, as
    // the low digits of an eight-digit number padded with zeros.
    uint64_t chunk;
    std::memcpy(&chunk, p, 8);
    const int count = __builtin_ctzll(NonDigitBytes(chunk)) / 8;  // 0..7
    if (count > 0) {
      const int pad = 8 * (8 - count);
      chunk = (chunk << pad) | (0x3030303030303030ULL >> (8 * count));
      value = value * kSmallPow10[count] + EightDigitsValue(chunk);
      p += count;
    }
    *digits = value;
    return p;
  }
#endif
  while (p < end && IsDigit(*p)) {
    value = value * 10 + static_cast<uint64_t>(*p - '0');
    ++p;
  }
  *digits = value;
  return p;
}

// What ScanNumber found in the text of one number. The pointers lie in the
// scanned range; the value is digits * 10^power10 whenever
// significant <= 19.
struct NumberScan {
  const char* begin = nullptr;       // the "-" or the first digit
  const char* end = nullptr;         // one past the number; on failure, the
                                     // byte that broke the grammar
  const char* int_begin = nullptr;   // first digit of the integer part
  const char* int_end = nullptr;     // one past its last digit
  const char* frac_begin = nullptr;  // first digit after ".", or null
  const char* exp_begin = nullptr;   // first digit of the exponent, or null
  bool negative = false;
  uint64_t digits = 0;  // the significant digits; wraps beyond 19 of them
  int significant = 0;  // digits counted from the first non-zero one
  int64_t power10 = 0;  // the exponent plus the fraction's shift; saturates
                        // far outside the double range
};

// Scans the number that starts at `begin` (before `end`): "-"?, then "0" or
// a digit 1-9 and more digits, then optionally "." and digits, then
// optionally "e" or "E", a sign and digits. Leading zeros of the integer part
// are refused. Returns true with *scan filled and scan->end after the last
// byte that belongs to the number (what follows is the caller's business),
// or false with scan->end at the offending byte (or `end`).
inline bool ScanNumber(const char* begin, const char* end, NumberScan* scan) {
  const char* p = begin;
  scan->begin = begin;
  scan->negative = p < end && *p == '-';
  if (scan->negative) ++p;
  scan->int_begin = p;
  scan->digits = 0;
  scan->significant = 0;
  scan->frac_begin = nullptr;
  scan->exp_begin = nullptr;
  scan->power10 = 0;
  if (p == end || !IsDigit(*p)) {
    scan->end = p;
    return false;
  }
  if (*p == '0') {
    ++p;
    if (p < end && IsDigit(*p)) {
      scan->end = p;
      return false;
    }
  } else {
    p = ScanDigits(p, end, &scan->digits);
    scan->significant = static_cast<int>(p - scan->int_begin);
  }
  scan->int_end = p;
  if (p < end && *p == '.') {
    ++p;
    scan->frac_begin = p;
    if (p == end || !IsDigit(*p)) {
      scan->end = p;
      return false;
    }
    // Zeros straight after "0." are not significant.
    if (scan->digits == 0) {
      while (p < end && *p == '0') ++p;
    }
    const char* significant_begin = p;
    p = ScanDigits(p, end, &scan->digits);
    scan->significant += static_cast<int>(p - significant_begin);
    scan->power10 = scan->frac_begin - p;
  }
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool negative_exponent = false;
    if (p < end && (*p == '+' || *p == '-')) {
      negative_exponent = *p == '-';
      ++p;
    }
    scan->exp_begin = p;
    if (p == end || !IsDigit(*p)) {
      scan->end = p;
      return false;
    }
    int64_t exponent = 0;
    while (p < end && IsDigit(*p)) {
      // Saturates far outside the double range.
      if (exponent < 100000) exponent = exponent * 10 + (*p - '0');
      ++p;
    }
    scan->power10 += negative_exponent ? -exponent : exponent;
  }
  scan->end = p;
  return true;
}

// --- Conversion -------------------------------------------------------------

// Powers of ten covered by the 128-bit table. Real documents stay well
// inside it (coordinates, prices and measurements use about 10^-20..10^20);
// numbers beyond it take the slow path, which is exact for every input. The
// range is a size trade-off: each entry costs 16 bytes in every binary that
// links the reader.
constexpr int kMinPow10 = -64;
constexpr int kMaxPow10 = 64;
constexpr int kPow5Count = kMaxPow10 - kMinPow10 + 1;

// floor(q * log2(5)): 152170 / 2^16 approximates log2(5) closely enough
// over the table (checked below), and the shift of a negative product
// rounds down.
constexpr int FloorLog2Pow5(int q) { return (q * 152170) >> 16; }

// For every q in [kMinPow10, kMaxPow10]: 5^q ~= (high:low) * 2^Pow5Exponent(q),
// with high's top bit set and (high:low) <= 5^q * 2^-exponent < (high:low) + 1
// (the exact value truncated to 128 bits). Built at compile time from exact
// big-integer arithmetic.
constexpr int Pow5Exponent(int q) { return FloorLog2Pow5(q) - 127; }

struct Pow5Table {
  uint64_t high[kPow5Count];
  uint64_t low[kPow5Count];
  // True when Pow5Exponent gave the exponent of every stored entry; checked
  // at compile time below, so that the exponents need no storage.
  bool exponents_match;

  constexpr Pow5Table() : high(), low(), exponents_match(true) {
    // Little-endian 32-bit limbs: enough for 5^kMaxPow10 and for 2^kScale,
    // which divided by 5^-kMinPow10 still keeps more than 128 bits.
    uint32_t power[kLimbs] = {};
    power[0] = 1;
    for (int q = 0; q <= kMaxPow10; ++q) {
      if (q > 0) MultiplyBy5(power);
      Store(q, power, 0);
    }
    // floor(floor(a / 5) / 5) == floor(a / 25), so dividing 2^kScale by 5
    // again and again gives floor(2^kScale / 5^n) exactly.
    uint32_t inverse[kLimbs] = {};
    inverse[kLimbs - 1] = 0x80000000u;
    for (int n = 1; n <= -kMinPow10; ++n) {
      DivideBy5(inverse);
      Store(-n, inverse, -kScale);
    }
  }

 private:
  static constexpr int kLimbs = 12;
  static constexpr int kScale = 32 * kLimbs - 1;
  static_assert(2.33 * kMaxPow10 < 32 * kLimbs, "5^kMaxPow10 must fit");
  static_assert(kScale - 2.33 * -kMinPow10 > 130,
                "2^kScale / 5^-kMinPow10 must keep 128 bits");

  static constexpr void MultiplyBy5(uint32_t* limbs) {
    uint64_t carry = 0;
    for (int i = 0; i < kLimbs; ++i) {
      const uint64_t product = uint64_t{limbs[i]} * 5 + carry;
      limbs[i] = static_cast<uint32_t>(product);
      carry = product >> 32;
    }
  }

  static constexpr void DivideBy5(uint32_t* limbs) {
    uint64_t remainder = 0;
    for (int i = kLimbs - 1; i >= 0; --i) {
      const uint64_t current = (remainder << 32) | limbs[i];
      limbs[i] = static_cast<uint32_t>(current / 5);
      remainder = current % 5;
    }
  }

  static constexpr int BitLength(const uint32_t* limbs) {
    int top = kLimbs - 1;
    while (top > 0 && limbs[top] == 0) --top;
    int length = 32 * top;
    for (uint32_t word = limbs[top]; word != 0; word >>= 1) ++length;
    return length;
  }

  // Bits [position, position + 32) of the number; bits below 0 are zero.
  static constexpr uint64_t Word32(const uint32_t* limbs, int position) {
    const int index = position >= 0 ? position / 32 : -((31 - position) / 32);
    const int offset = position - 32 * index;  // 0..31
    const uint64_t low = index >= 0 && index < kLimbs ? limbs[index] : 0;
    const uint64_t high =
        index + 1 >= 0 && index + 1 < kLimbs ? limbs[index + 1] : 0;
    return ((low | (high << 32)) >> offset) & 0xFFFFFFFFu;
  }

  // Stores the top 128 bits of the number (times 2^extra_exponent) as the
  // entry of 5^q, truncated.
  constexpr void Store(int q, const uint32_t* limbs, int extra_exponent) {
    const int index = q - kMinPow10;
    const int length = BitLength(limbs);
    const int start = length - 128;
    high[index] = (Word32(limbs, start + 96) << 32) | Word32(limbs, start + 64);
    low[index] = (Word32(limbs, start + 32) << 32) | Word32(limbs, start);
    if (start + extra_exponent != Pow5Exponent(q)) exponents_match = false;
  }
};

inline constexpr Pow5Table kPow5Table{};
static_assert(kPow5Table.exponents_match,
              "Pow5Exponent disagrees with the exact table");

// Powers of ten that doubles hold exactly.
inline constexpr double kExactPow10[] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

struct Product128 {
  uint64_t high;
  uint64_t low;
};

// The full 128-bit product of two 64-bit numbers.
inline Product128 Multiply64(uint64_t a, uint64_t b) {
#if defined(__SIZEOF_INT128__)
  __extension__ using Uint128 = unsigned __int128;
  const Uint128 product = static_cast<Uint128>(a) * b;
  return {static_cast<uint64_t>(product >> 64), static_cast<uint64_t>(product)};
#else
  // 32-bit targets: four partial products.
  const uint64_t a_low = a & 0xFFFFFFFFu;
  const uint64_t a_high = a >> 32;
  const uint64_t b_low = b & 0xFFFFFFFFu;
  const uint64_t b_high = b >> 32;
  const uint64_t low_low = a_low * b_low;
  const uint64_t low_high = a_low * b_high;
  const uint64_t high_low = a_high * b_low;
  const uint64_t high_high = a_high * b_high;
  const uint64_t middle =
      (low_low >> 32) + (low_high & 0xFFFFFFFFu) + (high_low & 0xFFFFFFFFu);
  return {high_high + (low_high >> 32) + (high_low >> 32) + (middle >> 32),
          (middle << 32) | (low_low & 0xFFFFFFFFu)};
#endif
}

inline int CountLeadingZeros64(uint64_t value) {  // value != 0
  return __builtin_clzll(value);
}

// Sets *out to digits * 10^power10 rounded to the nearest double (ties to
// even), negated when `negative`, and returns true; or returns false, with
// *out untouched, when this function cannot decide the rounding or the
// result is subnormal, zero from underflow, or out of range. `digits` of 0
// gives a zero of the right sign for any power.
inline bool DecimalToDouble(uint64_t digits, int power10, bool negative,
                            double* out) {
  if (digits == 0) {
    *out = negative ? -0.0 : 0.0;
    return true;
  }
#if FLT_EVAL_METHOD == 0
  // Both operands exact, so the single rounding of the operation is the
  // correct one. (Not with excess precision, where it would round twice.)
  if (digits <= (uint64_t{1} << 53) && power10 >= -22 && power10 <= 22) {
    double value = static_cast<double>(digits);
    if (power10 < 0) {
      value /= kExactPow10[-power10];
    } else {
      value *= kExactPow10[power10];
    }
    *out = negative ? -value : value;
    return true;
  }
#endif
  if (power10 < kMinPow10 || power10 > kMaxPow10) return false;
  const int index = power10 - kMinPow10;
  const int leading_zeros = CountLeadingZeros64(digits);
  const uint64_t normalized = digits << leading_zeros;
  // Top 128 bits of the 192-bit product normalized * (high:low). The exact
  // value normalized * 5^q (scaled alike) lies in [z, z + 2): the table entry
  // is short of 5^q by less than one unit, and the dropped low word by less
  // than one more.
  const Product128 upper = Multiply64(normalized, kPow5Table.high[index]);
  const Product128 lower = Multiply64(normalized, kPow5Table.low[index]);
  const uint64_t z_low = upper.low + lower.high;
  const uint64_t z_high = upper.high + (z_low < upper.low ? 1 : 0);
  // Both factors have their top bit set, so z_high has bit 63 or bit 62 set.
  // Keep 54 bits: 53 of significand and one rounding bit.
  const int shift = (z_high >> 63) ? 10 : 9;
  const uint64_t rest_mask = (uint64_t{1} << shift) - 1;
  const uint64_t kept = z_high >> shift;
  const uint64_t rest_high = z_high & rest_mask;
  // Adding up to 2 to the bits below the kept ones could carry into them.
  if (rest_high == rest_mask && z_low >= ~uint64_t{0} - 1) return false;
  const uint64_t round_bit = kept & 1;
  // A half-way remainder may be an exact tie, to be decided by the digits.
  if (round_bit && rest_high == 0 && z_low == 0) return false;
  uint64_t significand = (kept >> 1) + round_bit;
  // The value is significand * 2^binary_exponent.
  int binary_exponent =
      129 + shift + Pow5Exponent(power10) + power10 - leading_zeros;
  if (significand == (uint64_t{1} << 53)) {
    significand >>= 1;
    ++binary_exponent;
  }
  const int biased = binary_exponent + 52 + 1023;
  if (biased <= 0 || biased >= 2047) return false;
  const uint64_t bits = (uint64_t{negative ? 1u : 0u} << 63) |
                        (static_cast<uint64_t>(biased) << 52) |
                        (significand & ((uint64_t{1} << 52) - 1));
  std::memcpy(out, &bits, sizeof(bits));
  return true;
}

// The value of one scanned number.
struct NumberValue {
  bool is_int = false;  // written without fraction or exponent, and within
                        // the signed 32-bit range: int_value holds it
  int32_t int_value = 0;
  double double_value = 0;  // otherwise: the correctly rounded double
};

// For a number out of the double range: true when it is too small (rounds to
// zero) rather than too large. The decimal magnitude is the position of the
// first significant digit plus the exponent.
bool IsUnderflow(const NumberScan& scan);

// The slow, exact path of ConvertNumber: std::from_chars on the scanned
// text, with underflow giving a zero of the right sign. False for a number
// too large for a double.
bool ConvertNumberSlow(const NumberScan& scan, double* value);

// Converts a successful scan into *out: an integer when the text has neither
// fraction nor exponent and fits in 32 signed bits, else a double rounded to
// nearest, ties to even (a zero of the right sign when it underflows).
// Returns false, leaving *out alone, only for a number too large for a
// double.
inline bool ConvertNumber(const NumberScan& scan, NumberValue* out) {
  if (!scan.frac_begin && !scan.exp_begin &&
      scan.int_end - scan.int_begin <= 10) {
    const uint64_t limit = scan.negative ? 0x80000000ULL : 0x7FFFFFFFULL;
    if (scan.digits <= limit) {
      const int64_t value = scan.negative ? -static_cast<int64_t>(scan.digits)
                                          : static_cast<int64_t>(scan.digits);
      out->is_int = true;
      out->int_value = static_cast<int32_t>(value);
      return true;
    }
  }
  double value = 0;
  if (scan.significant <= 19 && scan.power10 >= INT32_MIN &&
      scan.power10 <= INT32_MAX &&
      DecimalToDouble(scan.digits, static_cast<int>(scan.power10),
                      scan.negative, &value)) {
    out->is_int = false;
    out->double_value = value;
    return true;
  }
  if (!ConvertNumberSlow(scan, &value)) return false;
  out->is_int = false;
  out->double_value = value;
  return true;
}

}  // namespace json_internal
}  // namespace base

#endif  // VORN_BASE_JSON_INTERNAL_JSON_NUMBER_H_
