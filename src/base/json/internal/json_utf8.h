// UTF-8 decoding shared by the JSON reader and writer: one character at a
// time, with the validity rules JSON text follows here (no overlong forms,
// no surrogates, no noncharacters, nothing above U+10FFFF).
//
//   int32_t code_point;
//   size_t length = base::json_internal::DecodeUtf8(p, end, &code_point);
//   if (code_point < 0) { /* invalid: skip `length` bytes */ }
//
// Internal to the JSON reader and writer (src/base/json/internal/): no other
// code includes it.

#ifndef VORN_BASE_JSON_INTERNAL_JSON_UTF8_H_
#define VORN_BASE_JSON_INTERNAL_JSON_UTF8_H_

#include <cstddef>
#include <cstdint>

namespace base {
namespace json_internal {

// True for code points that are valid characters: not a surrogate, not a
// noncharacter (U+FDD0..U+FDEF, or low 16 bits FFFE/FFFF), and at most
// U+10FFFF.
inline bool IsValidCharacter(uint32_t code_point) {
  if (code_point >= 0xD800 && code_point <= 0xDFFF) return false;
  if (code_point >= 0xFDD0 && code_point <= 0xFDEF) return false;
  if ((code_point & 0xFFFE) == 0xFFFE) return false;
  return code_point <= 0x10FFFF;
}

// Decodes the character starting at `p` (p < end, *p >= 0x80 or not). Sets
// *code_point to the character, or to -1 when the bytes are not well-formed
// UTF-8 or the character is not valid (IsValidCharacter). Returns the number
// of bytes consumed, at least 1: the whole sequence when well-formed, else
// the longest prefix that could have started one.
inline size_t DecodeUtf8(const char* p, const char* end, int32_t* code_point) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(p);
  const size_t available = static_cast<size_t>(end - p);
  const unsigned char lead = s[0];
  *code_point = -1;
  if (lead < 0x80) {
    *code_point = lead;
    return 1;
  }
  size_t length;
  uint32_t value;
  unsigned char low = 0x80;  // allowed range of the second byte
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 1;
  }
  for (size_t i = 1; i < length; ++i) {
    if (i >= available) return i;
    const unsigned char byte = s[i];
    if (i == 1 ? (byte < low || byte > high) : (byte < 0x80 || byte > 0xBF)) {
      return i;
    }
    value = (value << 6) | (byte & 0x3F);
  }
  if (IsValidCharacter(value)) *code_point = static_cast<int32_t>(value);
  return length;
}

// Appends the UTF-8 form of `code_point` (a valid character) to `out`.
template <typename String>
inline void AppendUtf8(uint32_t code_point, String* out) {
  if (code_point < 0x80) {
    out->push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

}  // namespace json_internal
}  // namespace base

#endif  // VORN_BASE_JSON_INTERNAL_JSON_UTF8_H_
