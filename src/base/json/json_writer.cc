#include "base/json/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/json/internal/json_utf8.h"

namespace base {

namespace {

constexpr size_t kInitialReserve = 1024;
constexpr int kIndentWidth = 3;
// Integral doubles below this magnitude are written by the integer path.
constexpr double kPlainIntegralLimit = 1e12;

// What a byte needs when written inside a string: 0 copy as is, 'u' write as
// "\u%04X", '8' start of a multi-byte sequence to check, else the letter
// after the backslash.
struct EscapeTable {
  char action[256];
  constexpr EscapeTable() : action() {
    for (int c = 0; c < 0x20; ++c) action[c] = 'u';
    action[static_cast<unsigned char>('\b')] = 'b';
    action[static_cast<unsigned char>('\t')] = 't';
    action[static_cast<unsigned char>('\n')] = 'n';
    action[static_cast<unsigned char>('\f')] = 'f';
    action[static_cast<unsigned char>('\r')] = 'r';
    action[static_cast<unsigned char>('"')] = '"';
    action[static_cast<unsigned char>('\\')] = '\\';
    action[static_cast<unsigned char>('<')] = 'u';
    for (int c = 0x80; c < 0x100; ++c) action[c] = '8';
  }
};
constexpr EscapeTable kEscapes;

class Writer {
 public:
  Writer(int options, std::string* out)
      : omit_binary_(options & OPTIONS_OMIT_BINARY_VALUES),
        omit_double_type_(options & OPTIONS_OMIT_DOUBLE_TYPE_PRESERVATION),
        pretty_(options & OPTIONS_PRETTY_PRINT),
        out_(out) {}

  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Writes `value` at nesting `depth`; false when a binary value could not
  // be written (everything else still is).
  bool Write(const JsonValue& value, int depth) {
    switch (value.type()) {
      case JsonValue::Type::NONE:
        out_->append("null", 4);
        return true;
      case JsonValue::Type::BOOLEAN:
        if (value.GetBool()) {
          out_->append("true", 4);
        } else {
          out_->append("false", 5);
        }
        return true;
      case JsonValue::Type::INTEGER:
        WriteInteger(value.GetInt());
        return true;
      case JsonValue::Type::DOUBLE:
        WriteDouble(value.GetDouble());
        return true;
      case JsonValue::Type::STRING:
        WriteString(value.GetString());
        return true;
      case JsonValue::Type::BINARY:
        return omit_binary_;
      case JsonValue::Type::DICTIONARY:
        return WriteDictionary(value, depth);
      case JsonValue::Type::LIST:
        return WriteList(value, depth);
    }
    return true;
  }

 private:
  bool WriteDictionary(const JsonValue& dict, int depth) {
    bool ok = true;
    bool first = true;
    out_->push_back('{');
    if (pretty_) out_->push_back('\n');
    for (const auto& [key, child] : dict.DictItems()) {
      if (omit_binary_ && child.is_blob()) continue;
      if (!first) {
        out_->push_back(',');
        if (pretty_) out_->push_back('\n');
      }
      first = false;
      if (pretty_) Indent(depth + 1);
      WriteString(key);
      out_->push_back(':');
      if (pretty_) out_->push_back(' ');
      if (!Write(child, depth + 1)) ok = false;
    }
    if (pretty_) {
      out_->push_back('\n');
      Indent(depth);
    }
    out_->push_back('}');
    return ok;
  }

  // A list's elements stay at the list's own depth.
  bool WriteList(const JsonValue& list, int depth) {
    bool ok = true;
    bool first = true;
    out_->push_back('[');
    if (pretty_) out_->push_back(' ');
    for (const JsonValue& child : list.GetList()) {
      if (omit_binary_ && child.is_blob()) continue;
      if (!first) {
        out_->push_back(',');
        if (pretty_) out_->push_back(' ');
      }
      first = false;
      if (!Write(child, depth)) ok = false;
    }
    if (pretty_) out_->push_back(' ');
    out_->push_back(']');
    return ok;
  }

  void Indent(int depth) {
    out_->append(static_cast<size_t>(depth * kIndentWidth), ' ');
  }

  // Appends [begin, end) by length: the pointer-pair overload of
  // std::string::append goes through the slower generic replace.
  void Append(const char* begin, const char* end) {
    out_->append(begin, static_cast<size_t>(end - begin));
  }

  void WriteInteger(int64_t value) {
    char buffer[24];
    const std::to_chars_result result =
        std::to_chars(buffer, buffer + sizeof(buffer), value);
    Append(buffer, result.ptr);
  }

  void WriteDouble(double value) {
    if (!std::isfinite(value)) {
      // JSON has no form for these; null keeps the text valid.
      out_->append("null", 4);
      return;
    }
    if (omit_double_type_ && value >= -9223372036854775808.0 &&
        value < 9223372036854775808.0 && std::trunc(value) == value) {
      WriteInteger(static_cast<int64_t>(value));
      return;
    }
    // An integral value below 10^12 is written plain, and below 2^52 the
    // spacing of doubles is under 1, so its own digits are the shortest that
    // read back to it.
    if (value > -kPlainIntegralLimit && value < kPlainIntegralLimit &&
        static_cast<double>(static_cast<int64_t>(value)) == value) {
      char text[24];
      char* o = text;
      if (std::signbit(value)) *o++ = '-';  // -0.0 too
      const int64_t integral = static_cast<int64_t>(value);
      o = std::to_chars(o, text + sizeof(text) - 2,
                        integral < 0 ? -integral : integral)
              .ptr;
      *o++ = '.';
      *o++ = '0';
      Append(text, o);
      return;
    }
    // The shortest round-trip digits in scientific form, "d[.ddd]e<sign>dd",
    // reshaped in a local buffer and appended at once.
    char buffer[40];
    const std::to_chars_result result = std::to_chars(
        buffer, buffer + sizeof(buffer), value, std::chars_format::scientific);
    const char* p = buffer;
    const char* end = result.ptr;
    char text[48];
    char* o = text;
    if (*p == '-') *o++ = *p++;
    // "d" or "d.ddd": the first digit, then the fraction's digits at once.
    const char* e = static_cast<const char*>(
        std::memchr(p, 'e', static_cast<size_t>(end - p)));
    char digits[20];
    digits[0] = *p;
    int count = 1;
    if (e - p > 2) {
      const size_t fraction = static_cast<size_t>(e - (p + 2));
      std::memcpy(digits + 1, p + 2, fraction);
      count += static_cast<int>(fraction);
    }
    p = e;
    // p is at 'e', followed by a sign and at least two digits.
    const bool negative_exponent = p[1] == '-';
    int exponent = 0;
    for (p += 2; p < end; ++p) exponent = exponent * 10 + (*p - '0');
    if (negative_exponent) exponent = -exponent;
    if (exponent >= -6 && exponent < 12) {
      o = WritePlain(digits, count, exponent, o);
    } else {
      *o++ = digits[0];
      if (count > 1) {
        *o++ = '.';
        std::memcpy(o, digits + 1, static_cast<size_t>(count - 1));
        o += count - 1;
      }
      *o++ = 'e';
      if (exponent > 0) *o++ = '+';
      o = std::to_chars(o, text + sizeof(text), exponent).ptr;
    }
    Append(text, o);
  }

  // Writes digits[0, count) with the first one at decimal position
  // `exponent` (-6 <= exponent < 12), always with a fractional part, at `o`.
  // Returns the end of what it wrote (at most 20 bytes).
  static char* WritePlain(const char* digits, int count, int exponent,
                          char* o) {
    if (exponent < 0) {
      *o++ = '0';
      *o++ = '.';
      for (int i = exponent + 1; i < 0; ++i) *o++ = '0';
      std::memcpy(o, digits, static_cast<size_t>(count));
      return o + count;
    }
    const int int_digits = exponent + 1;
    if (count <= int_digits) {
      std::memcpy(o, digits, static_cast<size_t>(count));
      o += count;
      for (int i = count; i < int_digits; ++i) *o++ = '0';
      *o++ = '.';
      *o++ = '0';
      return o;
    }
    std::memcpy(o, digits, static_cast<size_t>(int_digits));
    o += int_digits;
    *o++ = '.';
    std::memcpy(o, digits + int_digits,
                static_cast<size_t>(count - int_digits));
    return o + (count - int_digits);
  }

  void WriteString(const std::string& text) {
    out_->push_back('"');
    const char* p = text.data();
    const char* end = p + text.size();
    const char* run = p;  // start of bytes to copy as they are
    while (p < end) {
      const char action = kEscapes.action[static_cast<unsigned char>(*p)];
      if (action == 0) {
        ++p;
        continue;
      }
      if (action == '8') {
        int32_t code_point;
        const size_t length = json_internal::DecodeUtf8(p, end, &code_point);
        if (code_point >= 0 && code_point != 0x2028 && code_point != 0x2029) {
          p += length;  // a valid character joins the run copied as is
          continue;
        }
        Append(run, p);
        if (code_point < 0) {
          out_->append("\xEF\xBF\xBD", 3);  // U+FFFD
        } else {
          WriteUnicodeEscape(static_cast<uint32_t>(code_point));
        }
        p += length;
        run = p;
        continue;
      }
      Append(run, p);
      if (action == 'u') {
        WriteUnicodeEscape(static_cast<unsigned char>(*p));
        ++p;
      } else {
        const char escape[2] = {'\\', action};
        out_->append(escape, 2);
        ++p;
      }
      run = p;
    }
    Append(run, p);
    out_->push_back('"');
  }

  void WriteUnicodeEscape(uint32_t code_point) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const char escape[6] = {'\\',
                            'u',
                            kHex[(code_point >> 12) & 0xF],
                            kHex[(code_point >> 8) & 0xF],
                            kHex[(code_point >> 4) & 0xF],
                            kHex[code_point & 0xF]};
    out_->append(escape, 6);
  }

  const bool omit_binary_;
  const bool omit_double_type_;
  const bool pretty_;
  std::string* const out_;
};

}  // namespace

bool WriteJson(const JsonValue& value, int options, std::string* out) {
  out->clear();
  out->reserve(kInitialReserve);
  Writer writer(options, out);
  const bool ok = writer.Write(value, 0);
  if (options & OPTIONS_PRETTY_PRINT) out->push_back('\n');
  return ok;
}

std::optional<std::string> SerializeToJson(const JsonValue& value) {
  std::string text;
  if (!WriteJson(value, 0, &text)) return std::nullopt;
  return text;
}

}  // namespace base
