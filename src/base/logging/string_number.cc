#include "base/logging/string_number.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <system_error>

namespace base {

namespace {

// Splits off an optional leading sign; false when no digits remain after it.
bool TakeSign(std::string_view* text, bool* negative) {
  *negative = false;
  if (!text->empty() && ((*text)[0] == '+' || (*text)[0] == '-')) {
    *negative = (*text)[0] == '-';
    text->remove_prefix(1);
  }
  return !text->empty();
}

// For text that from_chars found out of range: true when its magnitude is at
// least 1 (an overflow), false when below 1 (an underflow). `text` is a
// checked decimal number without sign.
bool MagnitudeAtLeastOne(std::string_view text) {
  // Decimal exponent of the first significant digit, before the written
  // exponent: digits before the point count up, zeros after it count down.
  int64_t position = 0;
  bool seen_point = false;
  bool significant = false;
  size_t i = 0;
  for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
    const char c = text[i];
    if (c == '.') {
      seen_point = true;
    } else if (!significant && c == '0') {
      if (seen_point) --position;
    } else if (!significant) {
      significant = true;
      if (seen_point) --position;
    } else if (!seen_point) {
      ++position;
    }
  }
  int64_t exponent = 0;
  if (i < text.size()) {
    std::string_view written = text.substr(i + 1);
    bool negative = false;
    if (!written.empty() && (written[0] == '+' || written[0] == '-')) {
      negative = written[0] == '-';
      written.remove_prefix(1);
    }
    for (char c : written) {
      if (exponent < 100000000) exponent = exponent * 10 + (c - '0');
    }
    if (negative) exponent = -exponent;
  }
  return position + exponent >= 0;
}

}  // namespace

bool StringToInt64(std::string_view text, int64_t* out) {
  bool negative = false;
  if (!TakeSign(&text, &negative)) return false;
  // Accumulate the magnitude as unsigned so INT64_MIN, whose magnitude does
  // not fit int64_t, is still exact.
  constexpr uint64_t kMaxMagnitude =
      static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  const uint64_t limit = negative ? kMaxMagnitude + 1 : kMaxMagnitude;
  uint64_t magnitude = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (magnitude > (limit - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  if (negative) {
    *out = magnitude == kMaxMagnitude + 1 ? std::numeric_limits<int64_t>::min()
                                          : -static_cast<int64_t>(magnitude);
  } else {
    *out = static_cast<int64_t>(magnitude);
  }
  return true;
}

bool StringToInt32(std::string_view text, int32_t* out) {
  int64_t value = 0;
  if (!StringToInt64(text, &value)) return false;
  if (value < std::numeric_limits<int32_t>::min() ||
      value > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  *out = static_cast<int32_t>(value);
  return true;
}

bool StringToDouble(std::string_view text, double* out) {
  bool negative = false;
  if (!TakeSign(&text, &negative)) return false;
  // from_chars reads "inf", "nan" and a second sign; only digits or a point
  // may start the number.
  const char first = text[0];
  if (first != '.' && (first < '0' || first > '9')) return false;
  double value = 0.0;
  const char* end = text.data() + text.size();
  const std::from_chars_result result =
      std::from_chars(text.data(), end, value, std::chars_format::general);
  if (result.ptr != end) return false;
  if (result.ec == std::errc::result_out_of_range) {
    // Underflow reads as zero; overflow is refused.
    if (MagnitudeAtLeastOne(text)) return false;
    value = 0.0;
  } else if (result.ec != std::errc()) {
    return false;
  }
  if (!std::isfinite(value)) return false;
  *out = negative ? -value : value;
  return true;
}

}  // namespace base
