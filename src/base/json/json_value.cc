#include "base/json/json_value.h"

#include <algorithm>
#include <new>
#include <ostream>

#include "base/json/json_writer.h"
#include "base/logging/logging.h"

namespace base {

namespace {

// Orders dictionary pairs by key, byte-wise.
struct KeyLess {
  bool operator()(const std::pair<std::string, JsonValue>& pair,
                  std::string_view key) const {
    return std::string_view(pair.first) < key;
  }
  bool operator()(const std::pair<std::string, JsonValue>& a,
                  const std::pair<std::string, JsonValue>& b) const {
    return a.first < b.first;
  }
};

// Below this many pairs insertion sort beats std::stable_sort; parsed
// documents are mostly made of small dictionaries.
constexpr size_t kInsertionSortLimit = 16;

void StableSortPairs(JsonValue::DictStorage& pairs) {
  if (pairs.size() > kInsertionSortLimit) {
    std::stable_sort(pairs.begin(), pairs.end(), KeyLess());
    return;
  }
  for (size_t i = 1; i < pairs.size(); ++i) {
    if (!(pairs[i].first < pairs[i - 1].first)) continue;
    std::pair<std::string, JsonValue> moving = std::move(pairs[i]);
    size_t j = i;
    for (; j > 0 && moving.first < pairs[j - 1].first; --j) {
      pairs[j] = std::move(pairs[j - 1]);
    }
    pairs[j] = std::move(moving);
  }
}

}  // namespace

JsonValue::JsonValue(Type type) : type_(type) {
  switch (type) {
    case Type::NONE:
      break;
    case Type::BOOLEAN:
      bool_ = false;
      break;
    case Type::INTEGER:
      int_ = 0;
      break;
    case Type::DOUBLE:
      double_ = 0.0;
      break;
    case Type::STRING:
      new (&string_) std::string();
      break;
    case Type::BINARY:
      new (&blob_) BlobStorage();
      break;
    case Type::DICTIONARY:
      new (&dict_) DictStorage();
      break;
    case Type::LIST:
      new (&list_) ListStorage();
      break;
  }
}

JsonValue::JsonValue(std::string value) : type_(Type::STRING) {
  new (&string_) std::string(std::move(value));
}

JsonValue::JsonValue(std::string_view value) : type_(Type::STRING) {
  new (&string_) std::string(value);
}

JsonValue::JsonValue(const char* value) : type_(Type::STRING) {
  CHECK(value != nullptr);
  new (&string_) std::string(value);
}

JsonValue::JsonValue(ListStorage list) : type_(Type::LIST) {
  new (&list_) ListStorage(std::move(list));
}

// static
JsonValue JsonValue::CreateBinary(std::vector<char> bytes) {
  JsonValue value;
  value.type_ = Type::BINARY;
  new (&value.blob_) BlobStorage(std::move(bytes));
  return value;
}

// static
JsonValue JsonValue::CreateDict(DictStorage pairs) {
  StableSortPairs(pairs);
  // After a stable sort equal keys are adjacent in input order; keep the
  // last of each run.
  size_t out = 0;
  for (size_t i = 0; i < pairs.size(); ++i) {
    if (i + 1 < pairs.size() && pairs[i].first == pairs[i + 1].first) {
      continue;
    }
    if (out != i) pairs[out] = std::move(pairs[i]);
    ++out;
  }
  pairs.erase(pairs.begin() + static_cast<std::ptrdiff_t>(out), pairs.end());
  JsonValue value;
  value.type_ = Type::DICTIONARY;
  new (&value.dict_) DictStorage(std::move(pairs));
  return value;
}

// static
JsonValue JsonValue::CreateDictFromSortedPairs(DictStorage pairs) {
  JsonValue value;
  value.type_ = Type::DICTIONARY;
  new (&value.dict_) DictStorage(std::move(pairs));
  return value;
}

void JsonValue::MoveAssignOverHeapPayload(JsonValue& other) {
  // `other` may live inside this value's subtree, so take it out first.
  JsonValue taken;
  taken.MoveFrom(other);
  Destroy();
  MoveFrom(taken);
}

void JsonValue::DestroyHeapPayload() {
  switch (type_) {
    case Type::STRING:
      string_.~basic_string();
      break;
    case Type::BINARY:
      blob_.~BlobStorage();
      break;
    case Type::DICTIONARY:
      dict_.~DictStorage();
      break;
    case Type::LIST:
      list_.~ListStorage();
      break;
    default:
      break;
  }
}

JsonValue JsonValue::Clone() const {
  switch (type_) {
    case Type::NONE:
      return JsonValue();
    case Type::BOOLEAN:
      return JsonValue(bool_);
    case Type::INTEGER:
      return JsonValue(int_);
    case Type::DOUBLE:
      return JsonValue(double_);
    case Type::STRING:
      return JsonValue(string_);
    case Type::BINARY:
      return CreateBinary(blob_);
    case Type::DICTIONARY: {
      JsonValue copy(Type::DICTIONARY);
      copy.dict_.reserve(dict_.size());
      for (const auto& [key, child] : dict_) {
        copy.dict_.emplace_back(key, child.Clone());
      }
      return copy;
    }
    case Type::LIST: {
      JsonValue copy(Type::LIST);
      copy.list_.reserve(list_.size());
      for (const JsonValue& child : list_) copy.list_.push_back(child.Clone());
      return copy;
    }
  }
  return JsonValue();
}

bool JsonValue::operator==(const JsonValue& other) const {
  if (type_ != other.type_) return false;
  switch (type_) {
    case Type::NONE:
      return true;
    case Type::BOOLEAN:
      return bool_ == other.bool_;
    case Type::INTEGER:
      return int_ == other.int_;
    case Type::DOUBLE:
      return double_ == other.double_;
    case Type::STRING:
      return string_ == other.string_;
    case Type::BINARY:
      return blob_ == other.blob_;
    case Type::DICTIONARY:
      if (dict_.size() != other.dict_.size()) return false;
      for (size_t i = 0; i < dict_.size(); ++i) {
        if (dict_[i].first != other.dict_[i].first ||
            dict_[i].second != other.dict_[i].second) {
          return false;
        }
      }
      return true;
    case Type::LIST:
      return list_ == other.list_;
  }
  return false;
}

bool JsonValue::GetAsInteger(int* out) const {
  if (!is_int()) return false;
  *out = int_;
  return true;
}

bool JsonValue::GetAsString(std::string* out) const {
  if (!is_string()) return false;
  *out = string_;
  return true;
}

bool JsonValue::GetAsDouble(double* out) const {
  if (is_double()) {
    *out = double_;
    return true;
  }
  if (is_int()) {
    *out = static_cast<double>(int_);
    return true;
  }
  return false;
}

bool JsonValue::GetBool() const {
  CHECK(is_bool());
  return bool_;
}

int JsonValue::GetInt() const {
  CHECK(is_int());
  return int_;
}

double JsonValue::GetDouble() const {
  if (is_int()) return static_cast<double>(int_);
  CHECK(is_double());
  return double_;
}

const std::string& JsonValue::GetString() const {
  CHECK(is_string());
  return string_;
}

const std::vector<char>& JsonValue::GetBlob() const {
  CHECK(is_blob());
  return blob_;
}

JsonValue::DictStorage::const_iterator JsonValue::LowerBound(
    std::string_view key) const {
  return std::lower_bound(dict_.begin(), dict_.end(), key, KeyLess());
}

JsonValue::DictStorage::iterator JsonValue::LowerBound(std::string_view key) {
  return std::lower_bound(dict_.begin(), dict_.end(), key, KeyLess());
}

const JsonValue* JsonValue::FindKey(std::string_view key) const {
  if (!is_dict()) return nullptr;
  auto it = LowerBound(key);
  if (it == dict_.end() || it->first != key) return nullptr;
  return &it->second;
}

JsonValue* JsonValue::FindKey(std::string_view key) {
  return const_cast<JsonValue*>(
      static_cast<const JsonValue*>(this)->FindKey(key));
}

const JsonValue* JsonValue::FindKeyOfType(std::string_view key,
                                          Type type) const {
  const JsonValue* found = FindKey(key);
  return found && found->type_ == type ? found : nullptr;
}

JsonValue* JsonValue::FindKeyOfType(std::string_view key, Type type) {
  JsonValue* found = FindKey(key);
  return found && found->type_ == type ? found : nullptr;
}

JsonValue* JsonValue::SetKey(std::string_view key, JsonValue value) {
  CHECK(is_dict());
  auto it = LowerBound(key);
  if (it != dict_.end() && it->first == key) {
    it->second = std::move(value);
    return &it->second;
  }
  it = dict_.emplace(it, std::string(key), std::move(value));
  return &it->second;
}

bool JsonValue::RemoveKey(std::string_view key) {
  if (!is_dict()) return false;
  auto it = LowerBound(key);
  if (it == dict_.end() || it->first != key) return false;
  dict_.erase(it);
  return true;
}

const JsonValue* JsonValue::FindPath(std::string_view path) const {
  if (!is_dict()) return nullptr;
  const JsonValue* current = this;
  if (path.empty()) return current;
  while (true) {
    size_t dot = path.find('.');
    current = current->FindKey(path.substr(0, dot));
    if (!current || dot == std::string_view::npos) return current;
    path.remove_prefix(dot + 1);
  }
}

JsonValue* JsonValue::FindPath(std::string_view path) {
  return const_cast<JsonValue*>(
      static_cast<const JsonValue*>(this)->FindPath(path));
}

JsonValue* JsonValue::SetPath(std::string_view path, JsonValue value) {
  CHECK(is_dict());
  if (path.empty()) return nullptr;
  JsonValue* current = this;
  while (true) {
    size_t dot = path.find('.');
    if (dot == std::string_view::npos) {
      return current->SetKey(path, std::move(value));
    }
    std::string_view key = path.substr(0, dot);
    JsonValue* next = current->FindKey(key);
    if (!next || !next->is_dict()) {
      next = current->SetKey(key, JsonValue(Type::DICTIONARY));
    }
    current = next;
    path.remove_prefix(dot + 1);
  }
}

bool JsonValue::GetInteger(std::string_view path, int* out) const {
  const JsonValue* found = FindPath(path);
  return found && found->GetAsInteger(out);
}

bool JsonValue::GetDouble(std::string_view path, double* out) const {
  const JsonValue* found = FindPath(path);
  return found && found->GetAsDouble(out);
}

bool JsonValue::GetString(std::string_view path, std::string* out) const {
  const JsonValue* found = FindPath(path);
  return found && found->GetAsString(out);
}

bool JsonValue::GetList(std::string_view path, const JsonValue** out) const {
  const JsonValue* found = FindPath(path);
  if (!found || !found->is_list()) return false;
  *out = found;
  return true;
}

size_t JsonValue::DictSize() const { return is_dict() ? dict_.size() : 0; }

const JsonValue::DictStorage& JsonValue::DictItems() const {
  CHECK(is_dict());
  return dict_;
}

const JsonValue::ListStorage& JsonValue::GetList() const {
  CHECK(is_list());
  return list_;
}

JsonValue::ListStorage& JsonValue::GetList() {
  CHECK(is_list());
  return list_;
}

void JsonValue::Append(JsonValue value) {
  CHECK(is_list());
  list_.push_back(std::move(value));
}

size_t JsonValue::ListSize() const { return is_list() ? list_.size() : 0; }

std::ostream& operator<<(std::ostream& out, const JsonValue& value) {
  std::string text;
  WriteJson(value, OPTIONS_PRETTY_PRINT, &text);
  return out << text;
}

}  // namespace base
