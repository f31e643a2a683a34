// Decimal-to-double conversion for the JSON reader: turns the significant
// digits of a number (as a 64-bit integer) and its power of ten into the
// correctly rounded double, quickly, for nearly every input. When the quick
// methods cannot prove the rounding the function says so and the caller falls
// back to std::from_chars; results are always bit-identical to it.
//
//   // "-65.613616999999977" is 65613616999999977 * 10^-15.
//   double value;
//   if (!base::json_internal::DecimalToDouble(65613616999999977ULL, -15,
//                                             /*negative=*/true, &value)) {
//     ... use std::from_chars on the text ...
//   }
//
// Two methods are tried. When the digits and the power of ten are both
// exactly representable as doubles, one IEEE multiplication or division
// rounds correctly by itself. Otherwise the digits are multiplied by a
// 128-bit truncated approximation of 5^q; the true product lies within a
// known, tiny interval above the computed one, so when that whole interval
// rounds to the same double, that double is the answer. Ties, powers of ten
// beyond the table (10^-64..10^64), and the subnormal and overflowing
// ranges are left to the caller.

#ifndef VORN_BASE_JSON_NUMBER_H_
#define VORN_BASE_JSON_NUMBER_H_

#include <cfloat>
#include <cstdint>
#include <cstring>

namespace base {
namespace json_internal {

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

}  // namespace json_internal
}  // namespace base

#endif  // VORN_BASE_JSON_NUMBER_H_
