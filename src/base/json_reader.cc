#include "base/json_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <system_error>
#include <tuple>
#include <utility>
#include <vector>

#include "base/json_number.h"
#include "base/json_utf8.h"

namespace base {

namespace {

constexpr size_t kMaxTextLength = static_cast<size_t>(INT32_MAX);

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The value of a hex digit, or -1.
inline int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// 10^n for n < 8.
constexpr uint64_t kPow10[8] = {1,     10,     100,     1000,
                                10000, 100000, 1000000, 10000000};

// True when some byte of `word` is zero.
inline uint64_t HasZeroByte(uint64_t word) {
  return (word - 0x0101010101010101ULL) & ~word & 0x8080808080808080ULL;
}

// True for a UTF-8 continuation byte, 10xxxxxx.
inline bool IsContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Byte-wise three-way comparison. Keys mostly differ in their first byte,
// which is checked inline; longer common prefixes go to memcmp.
inline int CompareKeys(std::string_view a, std::string_view b) {
  if (!a.empty() && !b.empty() && a[0] != b[0]) {
    return static_cast<unsigned char>(a[0]) < static_cast<unsigned char>(b[0])
               ? -1
               : 1;
  }
  const size_t length = a.size() < b.size() ? a.size() : b.size();
  const int c = length ? std::memcmp(a.data(), b.data(), length) : 0;
  if (c != 0) return c;
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// One pair of a dictionary being sorted: its key and its position in the
// parser's pair stack. Compact, so that sorting stays in cache.
struct SortEntry {
  std::string_view key;
  size_t index;
};

// Recursive-descent parser for one text. Recursion is bounded by the depth
// limit. Containers collect their children on two stacks shared by all
// levels, so each list or dictionary is allocated once, at its final size.
class Parser {
 public:
  Parser(std::string_view text, int options, int max_depth)
      : pos_(text.data()),
        end_(text.data() + text.size()),
        line_start_(text.data()),
        options_(options),
        max_depth_(max_depth) {}

  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  // Parses the whole text into *root. False on failure, with error() set
  // (left at JSON_NO_ERROR for a number too large for a double).
  bool ParseRoot(JsonValue* root) {
    static constexpr char kBom[] = "\xEF\xBB\xBF";
    if (end_ - pos_ >= 3 && std::memcmp(pos_, kBom, 3) == 0) {
      pos_ += 3;
      line_start_ = pos_;
    }
    SkipWhitespace();
    if (!ParseValue(root)) return false;
    SkipWhitespace();
    if (pos_ != end_) return Fail(JsonReader::JSON_UNEXPECTED_DATA_AFTER_ROOT);
    return true;
  }

  JsonReader::JsonParseError error() const { return error_; }
  int error_line() const { return error_line_; }
  int error_column() const { return error_column_; }

 private:
  // Records `code` at the current position and returns false.
  bool Fail(JsonReader::JsonParseError code) { return FailAt(code, pos_); }
  bool FailAt(JsonReader::JsonParseError code, const char* where) {
    error_ = code;
    error_line_ = line_;
    error_column_ = static_cast<int>(where - line_start_) + 1;
    return false;
  }

  void NewLine(const char* next_line_start) {
    ++line_;
    line_start_ = next_line_start;
  }

  // Skips white space and comments. Stops at the end of the text or at the
  // first other byte (a "/" that opens no comment included).
  void SkipWhitespace() {
    while (pos_ < end_) {
      const char c = *pos_;
      if (c == ' ' || c == '\t') {
        ++pos_;
      } else if (c == '\n') {
        ++pos_;
        NewLine(pos_);
        SkipIndentation();
      } else if (c == '\r') {
        ++pos_;
        if (pos_ < end_ && *pos_ == '\n') ++pos_;
        NewLine(pos_);
      } else if (c != '/' || !SkipComment()) {
        return;
      }
    }
  }

  // Skips runs of eight spaces at once: pretty-printed texts indent every
  // line. The byte-wise loop of SkipWhitespace handles the rest.
  void SkipIndentation() {
    while (end_ - pos_ >= 8) {
      uint64_t word;
      std::memcpy(&word, pos_, 8);
      if (word != 0x2020202020202020ULL) return;
      pos_ += 8;
    }
  }

  // At a "/": skips the comment it opens and returns true, or returns false
  // without moving when it opens none.
  bool SkipComment() {
    if (end_ - pos_ < 2) return false;
    if (pos_[1] == '/') {
      pos_ += 2;
      while (pos_ < end_ && *pos_ != '\n' && *pos_ != '\r') ++pos_;
      return true;
    }
    if (pos_[1] != '*') return false;
    pos_ += 2;
    // An unterminated block comment runs to the end of the text.
    while (pos_ < end_) {
      const char c = *pos_++;
      if (c == '*' && pos_ < end_ && *pos_ == '/') {
        ++pos_;
        return true;
      }
      if (c == '\n') {
        NewLine(pos_);
      } else if (c == '\r') {
        if (pos_ < end_ && *pos_ == '\n') ++pos_;
        NewLine(pos_);
      }
    }
    return true;
  }

  // At the first byte of a value (white space already skipped).
  bool ParseValue(JsonValue* out) {
    if (pos_ == end_) return Fail(JsonReader::JSON_UNEXPECTED_TOKEN);
    switch (*pos_) {
      case '{':
        return ParseDictionary(out);
      case '[':
        return ParseList(out);
      case '"': {
        std::string_view text;
        if (!ParseString(&text)) return false;
        *out = JsonValue(text);
        return true;
      }
      case 't':
        return ParseLiteral("true", JsonValue(true), out);
      case 'f':
        return ParseLiteral("false", JsonValue(false), out);
      case 'n':
        return ParseLiteral("null", JsonValue(), out);
      default:
        if (*pos_ == '-' || IsDigit(*pos_)) return ParseNumber(out);
        return Fail(JsonReader::JSON_UNEXPECTED_TOKEN);
    }
  }

  bool ParseLiteral(std::string_view word, JsonValue value, JsonValue* out) {
    if (static_cast<size_t>(end_ - pos_) < word.size() ||
        std::memcmp(pos_, word.data(), word.size()) != 0) {
      return Fail(JsonReader::JSON_SYNTAX_ERROR);
    }
    pos_ += word.size();
    *out = std::move(value);
    return true;
  }

  // Enters a container; false (code 5) when that reaches the depth limit.
  bool Enter() {
    if (++depth_ >= max_depth_) return Fail(JsonReader::JSON_TOO_MUCH_NESTING);
    return true;
  }

  // True when the value at pos_ is a list or a dictionary, which grows the
  // child stacks while it is parsed.
  bool AtContainer() const {
    return pos_ < end_ && (*pos_ == '[' || *pos_ == '{');
  }

  // Parses the next list element onto values_. A scalar is parsed in its
  // final place; a container aside, since its children grow values_.
  bool ParseElement() {
    if (AtContainer()) {
      JsonValue child;
      if (!ParseValue(&child)) return false;
      values_.push_back(std::move(child));
      return true;
    }
    values_.emplace_back();
    return ParseValue(&values_.back());
  }

  // Parses the value of the pair last added to pairs_, likewise.
  bool ParseMember() {
    if (AtContainer()) {
      const size_t index = pairs_.size() - 1;
      JsonValue child;
      if (!ParseValue(&child)) return false;
      pairs_[index].second = std::move(child);
      return true;
    }
    return ParseValue(&pairs_.back().second);
  }

  bool ParseList(JsonValue* out) {
    if (!Enter()) return false;
    ++pos_;  // '['
    const size_t first = values_.size();
    SkipWhitespace();
    if (pos_ < end_ && *pos_ == ']') {
      ++pos_;
    } else {
      while (true) {
        if (!ParseElement()) return false;
        SkipWhitespace();
        if (pos_ == end_) return Fail(JsonReader::JSON_SYNTAX_ERROR);
        if (*pos_ == ']') {
          ++pos_;
          break;
        }
        if (*pos_ != ',') return Fail(JsonReader::JSON_SYNTAX_ERROR);
        ++pos_;
        SkipWhitespace();
        if (pos_ < end_ && *pos_ == ']') {
          if (!(options_ & JSON_ALLOW_TRAILING_COMMAS)) {
            return Fail(JsonReader::JSON_TRAILING_COMMA);
          }
          ++pos_;
          break;
        }
      }
    }
    const auto children = values_.begin() + static_cast<std::ptrdiff_t>(first);
    JsonValue::ListStorage list(std::make_move_iterator(children),
                                std::make_move_iterator(values_.end()));
    values_.erase(children, values_.end());
    *out = JsonValue(std::move(list));
    --depth_;
    return true;
  }

  bool ParseDictionary(JsonValue* out) {
    if (!Enter()) return false;
    ++pos_;  // '{'
    const size_t first = pairs_.size();
    SkipWhitespace();
    if (pos_ < end_ && *pos_ == '}') {
      ++pos_;
    } else {
      while (true) {
        if (pos_ == end_ || *pos_ != '"') {
          return Fail(JsonReader::JSON_UNQUOTED_DICTIONARY_KEY);
        }
        std::string_view key;
        if (!ParseString(&key)) return false;
        // The key is stored at once: it may view decoded_, which the value
        // can overwrite.
        pairs_.emplace_back(std::piecewise_construct,
                            std::forward_as_tuple(key),
                            std::forward_as_tuple());
        SkipWhitespace();
        if (pos_ == end_ || *pos_ != ':') {
          return Fail(JsonReader::JSON_SYNTAX_ERROR);
        }
        ++pos_;
        SkipWhitespace();
        if (!ParseMember()) return false;
        SkipWhitespace();
        if (pos_ == end_) return Fail(JsonReader::JSON_SYNTAX_ERROR);
        if (*pos_ == '}') {
          ++pos_;
          break;
        }
        if (*pos_ != ',') return Fail(JsonReader::JSON_SYNTAX_ERROR);
        ++pos_;
        SkipWhitespace();
        if (pos_ < end_ && *pos_ == '}') {
          if (!(options_ & JSON_ALLOW_TRAILING_COMMAS)) {
            return Fail(JsonReader::JSON_TRAILING_COMMA);
          }
          ++pos_;
          break;
        }
      }
    }
    *out = JsonValue::CreateDictFromSortedPairs(TakeSortedPairs(first));
    --depth_;
    return true;
  }

  // Moves pairs_[first, end) into a dictionary's storage, sorted by key, the
  // last of equal keys winning, and drops them from pairs_. Sorts indices so
  // that each pair moves once.
  JsonValue::DictStorage TakeSortedPairs(size_t first) {
    const size_t count = pairs_.size() - first;
    JsonValue::DictStorage dict;
    dict.reserve(count);
    bool sorted = true;  // strictly increasing keys, so no duplicates
    for (size_t i = first + 1; i < pairs_.size() && sorted; ++i) {
      sorted = CompareKeys(pairs_[i - 1].first, pairs_[i].first) < 0;
    }
    if (sorted) {
      for (size_t i = first; i < pairs_.size(); ++i) {
        dict.push_back(std::move(pairs_[i]));
      }
    } else {
      order_.resize(count);
      for (size_t i = 0; i < count; ++i) {
        order_[i] = SortEntry{pairs_[first + i].first, first + i};
      }
      // Ties broken by position: a total order, so equal keys stay in
      // input order without a stable sort's buffer.
      std::sort(order_.begin(), order_.end(),
                [](const SortEntry& a, const SortEntry& b) {
                  const int c = CompareKeys(a.key, b.key);
                  return c < 0 || (c == 0 && a.index < b.index);
                });
      for (size_t i = 0; i < count; ++i) {
        if (i + 1 < count && order_[i].key == order_[i + 1].key) {
          continue;  // a later pair has the same key
        }
        dict.push_back(std::move(pairs_[order_[i].index]));
      }
    }
    pairs_.resize(first);
    return dict;
  }

  // At the opening quote. Sets *out to the decoded text: a view of the
  // input when the string has no escapes (or replaced characters), else of
  // decoded_, valid until the next string is parsed.
  bool ParseString(std::string_view* out) {
    const char* start = ++pos_;
    const char* p = start;
    while (true) {
      // Eight bytes at a time up to the first quote, backslash or non-ASCII
      // byte. On little-endian machines the lowest flagged byte is the
      // first in the text and exact (a false flag can only sit above a true
      // one), so the scan jumps straight to it; elsewhere the byte loop
      // below finds it.
      bool found = false;
      while (end_ - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        const uint64_t special =
            (HasZeroByte(word ^ 0x2222222222222222ULL) |
             HasZeroByte(word ^ 0x5C5C5C5C5C5C5C5CULL) | word) &
            0x8080808080808080ULL;
        if (special) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
          p += __builtin_ctzll(special) / 8;
          found = true;
#endif
          break;
        }
        p += 8;
      }
      if (!found) {
        while (p < end_ && *p != '"' && *p != '\\' &&
               static_cast<unsigned char>(*p) < 0x80) {
          ++p;
        }
        if (p == end_) return FailAt(JsonReader::JSON_SYNTAX_ERROR, end_);
      }
      const unsigned char c = static_cast<unsigned char>(*p);
      if (c == '"') {
        *out = std::string_view(start, static_cast<size_t>(p - start));
        pos_ = p + 1;
        return true;
      }
      if (c == '\\') break;
      // Non-ASCII. The common two- and three-byte forms are always valid
      // characters when their continuation bytes are: C2..DF (U+0080 to
      // U+07FF), and E1..EC or EE (U+1000 to U+CFFF, U+E000 to U+EFFF, no
      // surrogates or noncharacters). Everything else is decoded in full.
      if (c >= 0xC2 && c <= 0xDF) {
        if (end_ - p >= 2 && IsContinuation(p[1])) {
          p += 2;
          continue;
        }
      } else if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE) {
        if (end_ - p >= 3 && IsContinuation(p[1]) && IsContinuation(p[2])) {
          p += 3;
          continue;
        }
      }
      int32_t code_point;
      const size_t length = json_internal::DecodeUtf8(p, end_, &code_point);
      if (code_point < 0) {
        if (!(options_ & JSON_REPLACE_INVALID_CHARACTERS)) {
          return FailAt(JsonReader::JSON_UNSUPPORTED_ENCODING, p);
        }
        break;
      }
      p += length;
    }
    decoded_.assign(start, static_cast<size_t>(p - start));
    if (!ParseStringSlow(p, &decoded_)) return false;
    *out = decoded_;
    return true;
  }

  // Continues a string at `p` (a backslash or an invalid character to
  // replace), appending to *out, which holds the text before `p`.
  bool ParseStringSlow(const char* p, std::string* out) {
    const char* run = p;  // start of bytes not yet appended
    while (true) {
      if (p == end_) return FailAt(JsonReader::JSON_SYNTAX_ERROR, end_);
      const unsigned char c = static_cast<unsigned char>(*p);
      if (c == '"') {
        out->append(run, static_cast<size_t>(p - run));
        pos_ = p + 1;
        return true;
      }
      if (c < 0x80 && c != '\\') {
        ++p;
        continue;
      }
      out->append(run, static_cast<size_t>(p - run));
      if (c == '\\') {
        if (!ParseEscape(&p, out)) return false;
      } else {
        int32_t code_point;
        const size_t length = json_internal::DecodeUtf8(p, end_, &code_point);
        if (code_point >= 0) {
          out->append(p, length);
        } else if (options_ & JSON_REPLACE_INVALID_CHARACTERS) {
          json_internal::AppendUtf8(0xFFFD, out);
        } else {
          return FailAt(JsonReader::JSON_UNSUPPORTED_ENCODING, p);
        }
        p += length;
      }
      run = p;
    }
  }

  // Reads `count` hex digits at `p`; false when there are fewer.
  bool ReadHex(const char* p, int count, uint32_t* value) const {
    if (end_ - p < count) return false;
    uint32_t result = 0;
    for (int i = 0; i < count; ++i) {
      const int digit = HexValue(p[i]);
      if (digit < 0) return false;
      result = (result << 4) | static_cast<uint32_t>(digit);
    }
    *value = result;
    return true;
  }

  // At a backslash: decodes one escape into *out and moves *p past it.
  bool ParseEscape(const char** p, std::string* out) {
    const char* escape = *p;
    if (end_ - escape < 2) return FailAt(JsonReader::JSON_SYNTAX_ERROR, end_);
    char simple = 0;
    switch (escape[1]) {
      case '"':
      case '\\':
      case '/':
        simple = escape[1];
        break;
      case 'b':
        simple = '\b';
        break;
      case 'f':
        simple = '\f';
        break;
      case 'n':
        simple = '\n';
        break;
      case 'r':
        simple = '\r';
        break;
      case 't':
        simple = '\t';
        break;
      case 'v':
        simple = '\v';
        break;
      case 'x': {
        uint32_t value;
        if (!ReadHex(escape + 2, 2, &value)) {
          return FailAt(JsonReader::JSON_INVALID_ESCAPE, escape);
        }
        json_internal::AppendUtf8(value, out);
        *p = escape + 4;
        return true;
      }
      case 'u':
        return ParseUnicodeEscape(p, out);
      default:
        return FailAt(JsonReader::JSON_INVALID_ESCAPE, escape);
    }
    out->push_back(simple);
    *p = escape + 2;
    return true;
  }

  // At "\u": decodes one character, a surrogate pair taking two escapes.
  bool ParseUnicodeEscape(const char** p, std::string* out) {
    const char* escape = *p;
    uint32_t code_point;
    if (!ReadHex(escape + 2, 4, &code_point)) {
      return FailAt(JsonReader::JSON_INVALID_ESCAPE, escape);
    }
    const char* next = escape + 6;
    if (code_point >= 0xD800 && code_point <= 0xDBFF) {
      uint32_t low;
      if (end_ - next < 2 || next[0] != '\\' || next[1] != 'u' ||
          !ReadHex(next + 2, 4, &low) || low < 0xDC00 || low > 0xDFFF) {
        return FailAt(JsonReader::JSON_INVALID_ESCAPE, escape);
      }
      code_point = 0x10000 + ((code_point - 0xD800) << 10) + (low - 0xDC00);
      next += 6;
    } else if (code_point >= 0xDC00 && code_point <= 0xDFFF) {
      return FailAt(JsonReader::JSON_INVALID_ESCAPE, escape);
    }
    if (!json_internal::IsValidCharacter(code_point)) {
      if (!(options_ & JSON_REPLACE_INVALID_CHARACTERS)) {
        return FailAt(JsonReader::JSON_INVALID_ESCAPE, escape);
      }
      code_point = 0xFFFD;
    }
    json_internal::AppendUtf8(code_point, out);
    *p = next;
    return true;
  }

  // Appends the decimal digits at `p` to *digits (which wraps when more
  // than 19 significant digits are gathered) and returns the first byte that
  // is not a digit. Takes eight digits per step where the text allows.
  const char* ScanDigits(const char* p, uint64_t* digits) const {
    uint64_t value = *digits;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    while (end_ - p >= 8) {
      uint64_t chunk;
      std::memcpy(&chunk, p, 8);
      if (!IsEightDigits(chunk)) break;
      value = value * 100000000 + EightDigitsValue(chunk);
      p += 8;
    }
    if (end_ - p >= 8) {
      // Fewer than eight digits follow: convert them in one step as well,
      // as the low digits of an eight-digit number padded with zeros.
      uint64_t chunk;
      std::memcpy(&chunk, p, 8);
      const int count = __builtin_ctzll(NonDigitBytes(chunk)) / 8;  // 0..7
      if (count > 0) {
        const int pad = 8 * (8 - count);
        chunk = (chunk << pad) | (0x3030303030303030ULL >> (8 * count));
        value = value * kPow10[count] + EightDigitsValue(chunk);
        p += count;
      }
      *digits = value;
      return p;
    }
#endif
    while (p < end_ && IsDigit(*p)) {
      value = value * 10 + static_cast<uint64_t>(*p - '0');
      ++p;
    }
    *digits = value;
    return p;
  }

  // True when all eight bytes of `chunk` are ASCII digits: each high nibble
  // is 3, and adding 6 to the byte does not carry out of the low nibble.
  static bool IsEightDigits(uint64_t chunk) {
    return ((chunk & 0xF0F0F0F0F0F0F0F0ULL) |
            (((chunk + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL) >> 4)) ==
           0x3333333333333333ULL;
  }

  // The top bit of every byte of `chunk` that is not an ASCII digit, and
  // possibly of bytes after the first such one (a carry out of a byte at
  // or above 0x8A can flag the next). XOR with '0' leaves 0..9 exactly
  // for digits and at least 10 for the rest; adding 0x76 then sets the top
  // bit of anything above 9 that does not have it already.
  static uint64_t NonDigitBytes(uint64_t chunk) {
    const uint64_t offset = chunk ^ 0x3030303030303030ULL;
    return ((offset + 0x7676767676767676ULL) | offset) & 0x8080808080808080ULL;
  }

  // The value of eight ASCII digits loaded little-endian (first digit in
  // the lowest byte): pairs, then groups of four, then all eight.
  static uint64_t EightDigitsValue(uint64_t chunk) {
    chunk -= 0x3030303030303030ULL;
    // Byte i becomes 10 * digit i + digit i+1; even bytes hold the pairs.
    chunk = chunk * 10 + (chunk >> 8);
    const uint64_t kPairMask = 0x000000FF000000FFULL;
    // Pairs 0 and 2 weighted 10^6 and 10^2, pairs 1 and 3 10^4 and 1,
    // summed in the upper half of the product.
    return ((chunk & kPairMask) * (100 + (1000000ULL << 32)) +
            ((chunk >> 16) & kPairMask) * (1 + (10000ULL << 32))) >>
           32;
  }

  // Scans the number once, collecting its significant digits (up to 19 fit
  // in 64 bits) and its power of ten, then converts: pure integers that fit
  // become integers, everything else a double, converted directly when the
  // fast conversion can decide it and by std::from_chars otherwise.
  bool ParseNumber(JsonValue* out) {
    const char* start = pos_;
    const char* p = pos_;
    const bool negative = *p == '-';
    if (negative) ++p;
    const char* int_begin = p;
    if (p == end_ || !IsDigit(*p))
      return FailAt(JsonReader::JSON_SYNTAX_ERROR, p);
    uint64_t digits = 0;  // significant digits; wraps beyond 19 of them
    int significant = 0;  // digits counted from the first non-zero one
    if (*p == '0') {
      ++p;
      if (p < end_ && IsDigit(*p))
        return FailAt(JsonReader::JSON_SYNTAX_ERROR, p);
    } else {
      p = ScanDigits(p, &digits);
      significant = static_cast<int>(p - int_begin);
    }
    const char* int_end = p;
    const char* frac_begin = nullptr;
    const char* exp_begin = nullptr;
    int64_t power10 = 0;
    if (p < end_ && *p == '.') {
      ++p;
      frac_begin = p;
      if (p == end_ || !IsDigit(*p))
        return FailAt(JsonReader::JSON_SYNTAX_ERROR, p);
      // Zeros straight after "0." are not significant.
      if (digits == 0) {
        while (p < end_ && *p == '0') ++p;
      }
      const char* significant_begin = p;
      p = ScanDigits(p, &digits);
      significant += static_cast<int>(p - significant_begin);
      power10 = frac_begin - p;
    }
    if (p < end_ && (*p == 'e' || *p == 'E')) {
      ++p;
      bool negative_exponent = false;
      if (p < end_ && (*p == '+' || *p == '-')) {
        negative_exponent = *p == '-';
        ++p;
      }
      exp_begin = p;
      if (p == end_ || !IsDigit(*p))
        return FailAt(JsonReader::JSON_SYNTAX_ERROR, p);
      int64_t exponent = 0;
      while (p < end_ && IsDigit(*p)) {
        // Saturates far outside the double range.
        if (exponent < 100000) exponent = exponent * 10 + (*p - '0');
        ++p;
      }
      power10 += negative_exponent ? -exponent : exponent;
    }
    pos_ = p;

    // The number must be followed by a separator, a closing bracket or the
    // end of the text.
    SkipWhitespace();
    if (pos_ < end_ && *pos_ != ',' && *pos_ != ']' && *pos_ != '}') {
      return Fail(JsonReader::JSON_SYNTAX_ERROR);
    }

    if (!frac_begin && !exp_begin && int_end - int_begin <= 10) {
      const uint64_t limit = negative ? 0x80000000ULL : 0x7FFFFFFFULL;
      if (digits <= limit) {
        const int64_t value = negative ? -static_cast<int64_t>(digits)
                                       : static_cast<int64_t>(digits);
        *out = JsonValue(static_cast<int>(value));
        return true;
      }
    }

    double value = 0;
    if (significant <= 19 && power10 >= INT32_MIN && power10 <= INT32_MAX &&
        json_internal::DecimalToDouble(digits, static_cast<int>(power10),
                                       negative, &value)) {
      *out = JsonValue(value);
      return true;
    }
    const std::from_chars_result result = std::from_chars(start, p, value);
    if (result.ec == std::errc::result_out_of_range) {
      if (!IsUnderflow(int_begin, int_end, frac_begin, exp_begin, p)) {
        return false;  // too large for a double: no error code
      }
      value = negative ? -0.0 : 0.0;
    } else if (result.ec != std::errc() || result.ptr != p ||
               !std::isfinite(value)) {
      return false;
    }
    *out = JsonValue(value);
    return true;
  }

  // For a number out of the double range: true when it is too small (rounds
  // to zero) rather than too large. The decimal magnitude is the position of
  // the first significant digit plus the exponent.
  static bool IsUnderflow(const char* int_begin, const char* int_end,
                          const char* frac_begin, const char* exp_begin,
                          const char* end) {
    int64_t magnitude;
    if (*int_begin != '0') {
      magnitude = int_end - int_begin;
    } else {
      magnitude = 0;
      if (frac_begin) {
        for (const char* d = frac_begin; d < end && *d == '0'; ++d) --magnitude;
      }
    }
    if (exp_begin) {
      int64_t exponent = 0;
      for (const char* d = exp_begin; d < end && IsDigit(*d); ++d) {
        if (exponent < 1000000) exponent = exponent * 10 + (*d - '0');
      }
      if (exp_begin[-1] == '-') exponent = -exponent;
      magnitude += exponent;
    }
    return magnitude <= 0;
  }

  const char* pos_;  // next byte to read; pos_ <= end_
  const char* const end_;
  int line_ = 1;            // line of pos_, from 1
  const char* line_start_;  // first byte of the line holding pos_
  const int options_;
  const int max_depth_;
  int depth_ = 0;  // containers entered and not yet left

  // Children of the containers being parsed, innermost last.
  JsonValue::ListStorage values_;
  JsonValue::DictStorage pairs_;
  // The text of the last string that needed decoding.
  std::string decoded_;
  // Scratch for sorting one dictionary's pairs; the keys view pairs_.
  std::vector<SortEntry> order_;

  JsonReader::JsonParseError error_ = JsonReader::JSON_NO_ERROR;
  int error_line_ = 0;
  int error_column_ = 0;
};

}  // namespace

JsonReader::JsonReader(int options, int max_depth)
    : options_(options), max_depth_(max_depth) {}

std::unique_ptr<JsonValue> JsonReader::ReadToValue(std::string_view json) {
  error_code_ = JSON_NO_ERROR;
  error_line_ = 0;
  error_column_ = 0;
  if (json.size() > kMaxTextLength) {
    error_code_ = JSON_TOO_LARGE;
    error_line_ = 1;
    error_column_ = 0;
    return nullptr;
  }
  Parser parser(json, options_, max_depth_);
  JsonValue root;
  if (!parser.ParseRoot(&root)) {
    error_code_ = parser.error();
    if (error_code_ != JSON_NO_ERROR) {
      error_line_ = parser.error_line();
      error_column_ = parser.error_column();
    }
    return nullptr;
  }
  return std::make_unique<JsonValue>(std::move(root));
}

std::string JsonReader::GetErrorMessage() const {
  const char* text = ErrorCodeToString(error_code_);
  if (error_line_ == 0 && error_column_ == 0) return text;
  return "Line: " + std::to_string(error_line_) +
         ", column: " + std::to_string(error_column_) + ", " + text;
}

// static
const char* JsonReader::ErrorCodeToString(JsonParseError code) {
  switch (code) {
    case JSON_NO_ERROR:
      return "";
    case JSON_INVALID_ESCAPE:
      return "Invalid escape sequence.";
    case JSON_SYNTAX_ERROR:
      return "Syntax error.";
    case JSON_UNEXPECTED_TOKEN:
      return "Unexpected token.";
    case JSON_TRAILING_COMMA:
      return "Trailing comma not allowed.";
    case JSON_TOO_MUCH_NESTING:
      return "Too much nesting.";
    case JSON_UNEXPECTED_DATA_AFTER_ROOT:
      return "Unexpected data after root element.";
    case JSON_UNSUPPORTED_ENCODING:
      return "Unsupported encoding. JSON must be UTF-8.";
    case JSON_UNQUOTED_DICTIONARY_KEY:
      return "Dictionary keys must be quoted.";
    case JSON_TOO_LARGE:
      return "Input string is too large (>2GB).";
  }
  return "";
}

std::unique_ptr<JsonValue> ParseJson(std::string_view json) {
  JsonReader reader;
  return reader.ReadToValue(json);
}

}  // namespace base
