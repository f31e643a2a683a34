#include "base/json/internal/json_number.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace base {
namespace json_internal {

bool IsUnderflow(const NumberScan& scan) {
  int64_t magnitude;
  if (*scan.int_begin != '0') {
    magnitude = scan.int_end - scan.int_begin;
  } else {
    magnitude = 0;
    if (scan.frac_begin) {
      for (const char* d = scan.frac_begin; d < scan.end && *d == '0'; ++d) {
        --magnitude;
      }
    }
  }
  if (scan.exp_begin) {
    int64_t exponent = 0;
    for (const char* d = scan.exp_begin; d < scan.end && IsDigit(*d); ++d) {
      if (exponent < 1000000) exponent = exponent * 10 + (*d - '0');
    }
    if (scan.exp_begin[-1] == '-') exponent = -exponent;
    magnitude += exponent;
  }
  return magnitude <= 0;
}

bool ConvertNumberSlow(const NumberScan& scan, double* value) {
  double result = 0;
  const std::from_chars_result parsed =
      std::from_chars(scan.begin, scan.end, result);
  if (parsed.ec == std::errc::result_out_of_range) {
    if (!IsUnderflow(scan)) return false;
    result = scan.negative ? -0.0 : 0.0;
  } else if (parsed.ec != std::errc() || parsed.ptr != scan.end ||
             !std::isfinite(result)) {
    return false;
  }
  *value = result;
  return true;
}

}  // namespace json_internal
}  // namespace base
