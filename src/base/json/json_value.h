// JsonValue: one node of a JSON value tree. A value is null, a boolean, a
// signed 32-bit integer, a double, a UTF-8 string, a binary blob, a
// dictionary (unique keys, kept sorted byte-wise) or a list. A dictionary or
// list owns its children; moving a value moves its whole subtree, and copies
// are explicit (Clone).
//
//   base::JsonValue config(base::JsonValue::Type::DICTIONARY);
//   config.SetKey("name", base::JsonValue("meter"));
//   config.SetPath("limits.onset", base::JsonValue(0.5));
//   double onset = 0;
//   if (config.GetDouble("limits.onset", &onset)) { ... }
//   for (const auto& [key, value] : config.DictItems()) { ... }

#ifndef VORN_BASE_JSON_JSON_VALUE_H_
#define VORN_BASE_JSON_JSON_VALUE_H_

#include <cstddef>
#include <iosfwd>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace base {

class JsonValue {
 public:
  // Tags as the system numbers them.
  enum class Type {
    NONE = 0,
    BOOLEAN = 1,
    INTEGER = 2,
    DOUBLE = 3,
    STRING = 4,
    BINARY = 5,
    DICTIONARY = 6,
    LIST = 7
  };

  // A dictionary's storage: pairs sorted by key (byte-wise), keys unique.
  using DictStorage = std::vector<std::pair<std::string, JsonValue>>;
  using ListStorage = std::vector<JsonValue>;
  using BlobStorage = std::vector<char>;

  // A null value.
  JsonValue() : type_(Type::NONE) {}
  // The empty or zero value of `type`: false, 0, 0.0, "", no bytes, {} or [].
  explicit JsonValue(Type type);
  explicit JsonValue(bool value) : type_(Type::BOOLEAN), bool_(value) {}
  explicit JsonValue(int value) : type_(Type::INTEGER), int_(value) {}
  explicit JsonValue(double value) : type_(Type::DOUBLE), double_(value) {}
  explicit JsonValue(std::string value);
  explicit JsonValue(std::string_view value);
  // `value` must not be null.
  explicit JsonValue(const char* value);
  explicit JsonValue(ListStorage list);
  static JsonValue CreateBinary(std::vector<char> bytes);
  // A dictionary made from `pairs` in any order. When a key occurs more than
  // once the pair that comes last in `pairs` wins.
  static JsonValue CreateDict(DictStorage pairs);

  // Adopts `pairs`, which must already be sorted by key with unique keys
  // (as the reader builds them); use CreateDict otherwise.
  static JsonValue CreateDictFromSortedPairs(DictStorage pairs);

  // A moved-from value is null.
  JsonValue(JsonValue&& other) noexcept : type_(Type::NONE) { MoveFrom(other); }
  JsonValue& operator=(JsonValue&& other) noexcept {
    if (this == &other) return *this;
    if (HasHeapPayload()) {
      MoveAssignOverHeapPayload(other);
    } else {
      MoveFrom(other);  // a scalar has no subtree `other` could live in
    }
    return *this;
  }
  JsonValue(const JsonValue&) = delete;
  JsonValue& operator=(const JsonValue&) = delete;
  ~JsonValue() {
    if (HasHeapPayload()) DestroyHeapPayload();
  }

  // A deep copy.
  JsonValue Clone() const;

  Type type() const { return type_; }
  bool is_none() const { return type_ == Type::NONE; }
  bool is_bool() const { return type_ == Type::BOOLEAN; }
  bool is_int() const { return type_ == Type::INTEGER; }
  bool is_double() const { return type_ == Type::DOUBLE; }
  bool is_string() const { return type_ == Type::STRING; }
  bool is_blob() const { return type_ == Type::BINARY; }
  bool is_dict() const { return type_ == Type::DICTIONARY; }
  bool is_list() const { return type_ == Type::LIST; }

  // Deep equality: same type and same payload. An integer never equals a
  // double, whatever their values.
  bool operator==(const JsonValue& other) const;
  bool operator!=(const JsonValue& other) const { return !(*this == other); }

  // Typed getters: return true and set *out only when the type matches
  // exactly; *out is left untouched otherwise.
  bool GetAsInteger(int* out) const;
  bool GetAsString(std::string* out) const;
  // Numbers: succeeds for a double, or an integer widened to double.
  bool GetAsDouble(double* out) const;

  // Direct accessors. Calling one on a value of another type is a check
  // failure. GetDouble() also accepts an integer and widens it.
  bool GetBool() const;
  int GetInt() const;
  double GetDouble() const;
  const std::string& GetString() const;
  const std::vector<char>& GetBlob() const;

  // Dictionary access by plain key (a "." in `key` is just a character).
  // Returns null when the key is absent or this is not a dictionary. The
  // pointer stays valid until the dictionary is next changed.
  const JsonValue* FindKey(std::string_view key) const;
  JsonValue* FindKey(std::string_view key);
  // As FindKey, but null unless the value found has exactly `type`.
  const JsonValue* FindKeyOfType(std::string_view key, Type type) const;
  JsonValue* FindKeyOfType(std::string_view key, Type type);
  // Inserts or replaces the value under `key` and returns the stored value,
  // valid until the dictionary is next changed. Check failure unless this is
  // a dictionary.
  JsonValue* SetKey(std::string_view key, JsonValue value);
  // Removes `key`; false when it was absent or this is not a dictionary.
  bool RemoveKey(std::string_view key);

  // Dictionary access by dotted path: "a.b.c" walks nested dictionaries; the
  // empty path names this dictionary itself. Null when a step is missing or
  // not a dictionary.
  const JsonValue* FindPath(std::string_view path) const;
  JsonValue* FindPath(std::string_view path);
  // Stores `value` at `path`, creating missing intermediate dictionaries and
  // replacing intermediate values that are not dictionaries. Returns the
  // stored value. Null, with nothing changed, when `path` is empty. Check
  // failure unless this is a dictionary.
  JsonValue* SetPath(std::string_view path, JsonValue value);

  // Typed getters by path: true and *out set only when the value found has
  // exactly the type; *out untouched otherwise. GetDouble also accepts an
  // integer (widened). GetList hands out a pointer into this tree, valid
  // until it is next changed.
  bool GetInteger(std::string_view path, int* out) const;
  bool GetDouble(std::string_view path, double* out) const;
  bool GetString(std::string_view path, std::string* out) const;
  bool GetList(std::string_view path, const JsonValue** out) const;

  // Number of pairs; 0 when this is not a dictionary.
  size_t DictSize() const;
  // The pairs in key order, for
  //   for (const auto& [key, value] : v.DictItems()) { ... }
  // Check failure unless this is a dictionary.
  const DictStorage& DictItems() const;

  // List access. GetList() is a check failure unless this is a list.
  const ListStorage& GetList() const;
  ListStorage& GetList();
  // Appends `value`. Check failure unless this is a list.
  void Append(JsonValue value);
  // Number of elements; 0 when this is not a list.
  size_t ListSize() const;

 private:
  // Scalars live inline; the other types own storage. Trees are mostly
  // scalars, so moving and destroying them stays inline.
  bool HasHeapPayload() const { return type_ >= Type::STRING; }

  // Releases the payload and leaves the value null.
  void Destroy() {
    if (HasHeapPayload()) DestroyHeapPayload();
    type_ = Type::NONE;
  }
  void DestroyHeapPayload();
  // Takes over the payload of `other`, which becomes null. This must be
  // null (or destroyed) before.
  void MoveFrom(JsonValue& other) {
    type_ = other.type_;
    switch (type_) {
      case Type::BOOLEAN:
        bool_ = other.bool_;
        other.type_ = Type::NONE;
        return;
      case Type::INTEGER:
        int_ = other.int_;
        other.type_ = Type::NONE;
        return;
      case Type::DOUBLE:
        double_ = other.double_;
        other.type_ = Type::NONE;
        return;
      case Type::NONE:
        return;
      default:
        MoveHeapPayloadFrom(other);
        return;
    }
  }
  // Inline: the reader moves every node it builds at least twice.
  void MoveHeapPayloadFrom(JsonValue& other) {
    switch (type_) {
      case Type::STRING:
        new (&string_) std::string(std::move(other.string_));
        other.string_.~basic_string();
        break;
      case Type::BINARY:
        new (&blob_) BlobStorage(std::move(other.blob_));
        other.blob_.~BlobStorage();
        break;
      case Type::DICTIONARY:
        new (&dict_) DictStorage(std::move(other.dict_));
        other.dict_.~DictStorage();
        break;
      case Type::LIST:
        new (&list_) ListStorage(std::move(other.list_));
        other.list_.~ListStorage();
        break;
      default:
        break;
    }
    other.type_ = Type::NONE;
  }
  void MoveAssignOverHeapPayload(JsonValue& other);

  // The sorted position of `key`: the first pair whose key is not less.
  DictStorage::const_iterator LowerBound(std::string_view key) const;
  DictStorage::iterator LowerBound(std::string_view key);

  Type type_;
  union {
    bool bool_;           // BOOLEAN
    int int_;             // INTEGER
    double double_;       // DOUBLE
    std::string string_;  // STRING
    BlobStorage blob_;    // BINARY
    DictStorage dict_;    // DICTIONARY: sorted by key, keys unique
    ListStorage list_;    // LIST
  };
};

// Writes `value` in the pretty form (as WriteJson with the pretty option).
std::ostream& operator<<(std::ostream& out, const JsonValue& value);

}  // namespace base

#endif  // VORN_BASE_JSON_JSON_VALUE_H_
