// Conversions from text to numbers for switches, files and options.
//
//   int32_t pid = 0;
//   if (!base::StringToInt32("1234", &pid)) { ... }   // pid == 1234
//   double volume = 0.0;
//   base::StringToDouble("0.25", &volume);            // true
//
// Each conversion takes the whole string: an optional sign, then the number,
// and nothing else (no blanks, no trailing line feed). They never read the
// locale, so "0.5" means one half whatever LC_NUMERIC says. On failure the
// output is left untouched and false is returned.

#ifndef VORN_BASE_LOGGING_STRING_NUMBER_H_
#define VORN_BASE_LOGGING_STRING_NUMBER_H_

#include <cstdint>
#include <string_view>

namespace base {

// Decimal integer: an optional "+" or "-", then one or more digits 0-9, within
// [INT32_MIN, INT32_MAX]. Leading zeros are allowed ("007" is 7).
bool StringToInt32(std::string_view text, int32_t* out);

// As StringToInt32 over the signed 64-bit range.
bool StringToInt64(std::string_view text, int64_t* out);

// Decimal floating-point text: an optional "+" or "-", digits with an optional
// "." and fraction, and an optional exponent ("1e-3"). The value must be finite
// and within the range of double: "inf", "nan", "1e999" and hexadecimal text
// are refused. A value too small for a double reads as zero of its sign.
bool StringToDouble(std::string_view text, double* out);

}  // namespace base

#endif  // VORN_BASE_LOGGING_STRING_NUMBER_H_
