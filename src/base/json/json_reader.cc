// The reader: one recursive-descent Parser per text, declared first with its
// state and invariants, then its methods in grammar order (text, value,
// object, array, string, number, literal), then white space and comments,
// then errors. Number scanning and conversion live in internal/json_number.h,
// UTF-8 decoding in internal/json_utf8.h.

#include "base/json/json_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <tuple>
#include <utility>
#include <vector>

#include "base/json/internal/json_number.h"
#include "base/json/internal/json_utf8.h"

namespace base {

namespace {

constexpr size_t kMaxTextLength = static_cast<size_t>(INT32_MAX);

using json_internal::IsDigit;

// One pair of a dictionary being sorted: its key and its position in the
// parser's pair stack. Compact, so that sorting stays in cache.
struct SortEntry {
  std::string_view key;
  size_t index;
};

// Parses one text. Recursion is bounded by the depth limit. Containers
// collect their children on two stacks shared by all levels, so each list or
// dictionary is allocated once, at its final size.
//
// The methods are defined out of line below, in grammar order, and marked
// inline: the compiler's inlining of the hot ones (ParseString,
// SkipWhitespace) into their callers is worth about a seventh of the parse
// time on documents of short strings and small numbers.
//
// Each production's Parse method starts at the first byte of it (white space
// already skipped) and, on success, leaves pos_ after its last byte (a number
// also skips the white space after it, to check what follows). On
// failure it returns false with error_ set by Fail or FailAt (error_ stays
// JSON_NO_ERROR only for a number too large for a double), and the parse is
// over: the parser is not used again.
class Parser {
 public:
  // `text` must stay live while the parser is in use.
  Parser(std::string_view text, int options, int max_depth);

  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  // Parses the whole text into *root: an optional UTF-8 byte-order mark, one
  // value, nothing but white space and comments after it. False on failure.
  bool ParseRoot(JsonValue* root);

  JsonReader::JsonParseError error() const { return error_; }
  int error_line() const { return error_line_; }
  int error_column() const { return error_column_; }

 private:
  // value: dispatches on the first byte.
  bool ParseValue(JsonValue* out);

  // object: "{" [ string ":" value ( "," string ":" value )* [","] ] "}".
  bool ParseDictionary(JsonValue* out);
  // The value of the pair last added to pairs_.
  bool ParseMember();
  // Moves pairs_[first, end) into a dictionary's storage, sorted by key.
  JsonValue::DictStorage TakeSortedPairs(size_t first);

  // array: "[" [ value ( "," value )* [","] ] "]".
  bool ParseList(JsonValue* out);
  // The next element, onto values_.
  bool ParseElement();

  // Counts one more open container; fails at the depth limit. The container
  // counts itself out (--depth_) when it closes.
  bool Enter();
  // True when the value at pos_ is a list or a dictionary.
  bool AtContainer() const;

  // string: the fast scan up to the closing quote, then the slow path for
  // escapes and characters to replace.
  bool ParseString(std::string_view* out);
  bool ParseStringSlow(const char* p, std::string* out);
  bool ParseEscape(const char** p, std::string* out);
  bool ParseUnicodeEscape(const char** p, std::string* out);
  bool ReadHex(const char* p, int count, uint32_t* value) const;

  // number, followed by a separator, a closing bracket or the end.
  bool ParseNumber(JsonValue* out);

  // "true", "false" or "null".
  bool ParseLiteral(std::string_view word, JsonValue value, JsonValue* out);

  // White space and comments.
  void SkipWhitespace();
  void SkipIndentation();
  bool SkipComment();

  // Records `code` at pos_ (or `where`) with its line and column, and
  // returns false. Lines are counted only here, from the start of the text,
  // so that the parse itself never tracks them and every line break counts:
  // in white space, in comments and inside strings alike.
  bool Fail(JsonReader::JsonParseError code);
  bool FailAt(JsonReader::JsonParseError code, const char* where);

  const char* const begin_;  // the first byte of the text (a byte-order mark
                             // included)
  const char* pos_;          // next byte to read; begin_ <= pos_ <= end_
  const char* const end_;    // one past the last byte of the text
  const int options_;        // JsonParserOptions bits
  const int max_depth_;      // entering this many nested containers fails
  int depth_ = 0;            // containers entered and not yet left;
                             // depth_ < max_depth_

  // Children of the containers being parsed, innermost last: a container
  // that started at index `first` owns values_[first, end) (or pairs_), and
  // takes them away when it closes, so both are empty between values.
  JsonValue::ListStorage values_;
  JsonValue::DictStorage pairs_;
  // The text of the last string that needed decoding; a string_view returned
  // by ParseString may point into it until the next string is parsed.
  std::string decoded_;
  // Scratch for sorting one dictionary's pairs; the keys view pairs_. Kept
  // to reuse its capacity.
  std::vector<SortEntry> order_;

  // The first failure; JSON_NO_ERROR while none has happened.
  JsonReader::JsonParseError error_ = JsonReader::JSON_NO_ERROR;
  int error_line_ = 0;    // 1-based line of the failure, 0 before one
  int error_column_ = 0;  // 1-based column (byte) of the failure, 0 before one
};

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

// The value of a hex digit, or -1.
inline int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// True when some byte of `word` is zero.
inline uint64_t HasZeroByte(uint64_t word) {
  return (word - 0x0101010101010101ULL) & ~word & 0x8080808080808080ULL;
}

// True for a UTF-8 continuation byte, 10xxxxxx.
inline bool IsContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

inline Parser::Parser(std::string_view text, int options, int max_depth)
    : begin_(text.data()),
      pos_(text.data()),
      end_(text.data() + text.size()),
      options_(options),
      max_depth_(max_depth) {}

// --- Text and value ---------------------------------------------------------

inline bool Parser::ParseRoot(JsonValue* root) {
  static constexpr char kBom[] = "\xEF\xBB\xBF";
  // Skipped, but still counted in the first line's columns.
  if (end_ - pos_ >= 3 && std::memcmp(pos_, kBom, 3) == 0) pos_ += 3;
  SkipWhitespace();
  if (!ParseValue(root)) return false;
  SkipWhitespace();
  if (pos_ != end_) return Fail(JsonReader::JSON_UNEXPECTED_DATA_AFTER_ROOT);
  return true;
}

// At the first byte of a value (white space already skipped).
inline bool Parser::ParseValue(JsonValue* out) {
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

// --- Object ---------------------------------------------------------------

inline bool Parser::ParseDictionary(JsonValue* out) {
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
      pairs_.emplace_back(std::piecewise_construct, std::forward_as_tuple(key),
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

// Parses the value of the pair last added to pairs_: a scalar in its final
// place, a container aside, since its children grow pairs_.
inline bool Parser::ParseMember() {
  if (AtContainer()) {
    const size_t index = pairs_.size() - 1;
    JsonValue child;
    if (!ParseValue(&child)) return false;
    pairs_[index].second = std::move(child);
    return true;
  }
  return ParseValue(&pairs_.back().second);
}

// Moves pairs_[first, end) into a dictionary's storage, sorted by key, the
// last of equal keys winning, and drops them from pairs_. Sorts indices so
// that each pair moves once.
inline JsonValue::DictStorage Parser::TakeSortedPairs(size_t first) {
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

// --- Array ----------------------------------------------------------------

inline bool Parser::ParseList(JsonValue* out) {
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

// Parses the next list element onto values_. A scalar is parsed in its final
// place; a container aside, since its children grow values_.
inline bool Parser::ParseElement() {
  if (AtContainer()) {
    JsonValue child;
    if (!ParseValue(&child)) return false;
    values_.push_back(std::move(child));
    return true;
  }
  values_.emplace_back();
  return ParseValue(&values_.back());
}

// Enters a container; false (JSON_TOO_MUCH_NESTING) at the depth limit.
inline bool Parser::Enter() {
  if (++depth_ >= max_depth_) return Fail(JsonReader::JSON_TOO_MUCH_NESTING);
  return true;
}

// True when the value at pos_ is a list or a dictionary, which grows the
// child stacks while it is parsed.
inline bool Parser::AtContainer() const {
  return pos_ < end_ && (*pos_ == '[' || *pos_ == '{');
}

// --- String ---------------------------------------------------------------

// At the opening quote. Sets *out to the decoded text: a view of the input
// when the string has no escapes (or replaced characters), else of decoded_,
// valid until the next string is parsed.
inline bool Parser::ParseString(std::string_view* out) {
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

// Continues a string at `p` (a backslash or an invalid character to replace),
// appending to *out, which holds the text before `p`.
inline bool Parser::ParseStringSlow(const char* p, std::string* out) {
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

// At a backslash: decodes one escape into *out and moves *p past it.
inline bool Parser::ParseEscape(const char** p, std::string* out) {
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
inline bool Parser::ParseUnicodeEscape(const char** p, std::string* out) {
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

// Reads `count` hex digits at `p`; false when there are fewer.
inline bool Parser::ReadHex(const char* p, int count, uint32_t* value) const {
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

// --- Number and literals --------------------------------------------------

// Scans the number (json_internal::ScanNumber), checks what follows it, and
// converts it: an integer when it has neither fraction nor exponent and fits,
// else a double.
inline bool Parser::ParseNumber(JsonValue* out) {
  json_internal::NumberScan scan;
  if (!json_internal::ScanNumber(pos_, end_, &scan)) {
    return FailAt(JsonReader::JSON_SYNTAX_ERROR, scan.end);
  }
  pos_ = scan.end;
  // The number must be followed by a separator, a closing bracket or the end
  // of the text.
  SkipWhitespace();
  if (pos_ < end_ && *pos_ != ',' && *pos_ != ']' && *pos_ != '}') {
    return Fail(JsonReader::JSON_SYNTAX_ERROR);
  }
  json_internal::NumberValue value;
  if (!json_internal::ConvertNumber(scan, &value)) {
    return false;  // too large for a double: no error code
  }
  *out = value.is_int ? JsonValue(static_cast<int>(value.int_value))
                      : JsonValue(value.double_value);
  return true;
}

inline bool Parser::ParseLiteral(std::string_view word, JsonValue value,
                                 JsonValue* out) {
  if (static_cast<size_t>(end_ - pos_) < word.size() ||
      std::memcmp(pos_, word.data(), word.size()) != 0) {
    return Fail(JsonReader::JSON_SYNTAX_ERROR);
  }
  pos_ += word.size();
  *out = std::move(value);
  return true;
}

// --- White space, comments and errors ------------------------------------

// Skips white space and comments. Stops at the end of the text or at the
// first other byte (a "/" that opens no comment included).
inline void Parser::SkipWhitespace() {
  while (pos_ < end_) {
    const char c = *pos_;
    if (c == ' ' || c == '\t') {
      ++pos_;
    } else if (c == '\n') {
      ++pos_;
      SkipIndentation();
    } else if (c == '\r') {
      ++pos_;
    } else if (c != '/' || !SkipComment()) {
      return;
    }
  }
}

// Skips runs of eight spaces at once: pretty-printed texts indent every line.
// The byte-wise loop of SkipWhitespace handles the rest.
inline void Parser::SkipIndentation() {
  while (end_ - pos_ >= 8) {
    uint64_t word;
    std::memcpy(&word, pos_, 8);
    if (word != 0x2020202020202020ULL) return;
    pos_ += 8;
  }
}

// At a "/": skips the comment it opens and returns true, or returns false
// without moving when it opens none.
inline bool Parser::SkipComment() {
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
  }
  return true;
}

inline bool Parser::Fail(JsonReader::JsonParseError code) {
  return FailAt(code, pos_);
}

// A carriage return, a line feed, or the pair of them ends one line. The
// column counts bytes from the last line break, or on the first line from
// the start of the text, from 1.
inline bool Parser::FailAt(JsonReader::JsonParseError code, const char* where) {
  error_ = code;
  int line = 1;
  const char* line_start = begin_;
  for (const char* p = begin_; p < where; ++p) {
    if (*p == '\n' || *p == '\r') {
      if (*p == '\r' && p + 1 < where && p[1] == '\n') ++p;
      ++line;
      line_start = p + 1;
    }
  }
  error_line_ = line;
  error_column_ = static_cast<int>(where - line_start) + 1;
  return false;
}

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
