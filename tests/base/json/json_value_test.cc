#include "base/json/json_value.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

using Type = JsonValue::Type;

TEST(JsonValueTest, ConstructorsSetTypeAndPayload) {
  EXPECT_TRUE(JsonValue().is_none());
  EXPECT_EQ(JsonValue(true).type(), Type::BOOLEAN);
  EXPECT_EQ(JsonValue(5).GetInt(), 5);
  EXPECT_EQ(JsonValue(2.5).GetDouble(), 2.5);
  EXPECT_EQ(JsonValue("text").GetString(), "text");
  EXPECT_EQ(JsonValue(std::string("s")).GetString(), "s");
  EXPECT_EQ(JsonValue::CreateBinary({'a', 'b'}).GetBlob().size(), 2u);
  EXPECT_EQ(static_cast<int>(Type::LIST), 7);
}

TEST(JsonValueTest, TypeConstructorMakesEmptyValues) {
  EXPECT_FALSE(JsonValue(Type::BOOLEAN).GetBool());
  EXPECT_EQ(JsonValue(Type::INTEGER).GetInt(), 0);
  EXPECT_EQ(JsonValue(Type::DOUBLE).GetDouble(), 0.0);
  EXPECT_EQ(JsonValue(Type::STRING).GetString(), "");
  EXPECT_TRUE(JsonValue(Type::BINARY).GetBlob().empty());
  EXPECT_EQ(JsonValue(Type::DICTIONARY).DictSize(), 0u);
  EXPECT_TRUE(JsonValue(Type::LIST).GetList().empty());
}

TEST(JsonValueTest, MoveLeavesSourceNull) {
  JsonValue list(Type::LIST);
  list.Append(JsonValue("x"));
  JsonValue moved(std::move(list));
  EXPECT_TRUE(list.is_none());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(moved.ListSize(), 1u);
  JsonValue target(3);
  target = std::move(moved);
  EXPECT_EQ(target.ListSize(), 1u);
}

TEST(JsonValueTest, AssigningAChildToItsParentKeepsTheChild) {
  JsonValue root(Type::DICTIONARY);
  root.SetPath("a.b", JsonValue(1));
  root = std::move(*root.FindKey("a"));
  EXPECT_EQ(root.FindKey("b")->GetInt(), 1);
}

TEST(JsonValueTest, CloneIsDeepAndEqual) {
  JsonValue root(Type::DICTIONARY);
  root.SetPath("a.b", JsonValue("x"));
  root.SetKey("l", JsonValue(Type::LIST))->Append(JsonValue(1.5));
  JsonValue copy = root.Clone();
  EXPECT_EQ(copy, root);
  copy.SetPath("a.b", JsonValue("y"));
  EXPECT_NE(copy, root);
  std::string b;
  EXPECT_TRUE(root.GetString("a.b", &b));
  EXPECT_EQ(b, "x");
}

TEST(JsonValueTest, EqualityComparesTypeAndValue) {
  EXPECT_EQ(JsonValue(1), JsonValue(1));
  EXPECT_NE(JsonValue(1), JsonValue(1.0));
  EXPECT_NE(JsonValue(1), JsonValue(2));
  EXPECT_EQ(JsonValue(), JsonValue());
  EXPECT_NE(JsonValue("a"), JsonValue("b"));
  JsonValue a(Type::DICTIONARY);
  JsonValue b(Type::DICTIONARY);
  a.SetKey("k", JsonValue(1));
  b.SetKey("j", JsonValue(1));
  EXPECT_NE(a, b);
}

TEST(JsonValueTest, GettersLeaveOutputUntouchedOnMismatch) {
  JsonValue value(7);
  std::string text = "keep";
  double number = -1;
  int integer = -1;
  EXPECT_FALSE(value.GetAsString(&text));
  EXPECT_FALSE(JsonValue("7").GetAsInteger(&integer));
  EXPECT_FALSE(JsonValue("7").GetAsDouble(&number));
  EXPECT_EQ(text, "keep");
  EXPECT_EQ(integer, -1);
  EXPECT_EQ(number, -1);
  EXPECT_FALSE(JsonValue(7.0).GetAsInteger(&integer));
  EXPECT_TRUE(value.GetAsDouble(&number));
  EXPECT_EQ(number, 7.0);
  EXPECT_EQ(value.GetDouble(), 7.0);
}

TEST(JsonValueTest, KeysAreSortedAndUnique) {
  JsonValue dict(Type::DICTIONARY);
  dict.SetKey("b", JsonValue(1));
  dict.SetKey("a", JsonValue(2));
  dict.SetKey("\xC3\xA9", JsonValue(3));  // sorts after ASCII byte-wise
  dict.SetKey("b", JsonValue(4));
  std::vector<std::string> keys;
  for (const auto& [key, value] : dict.DictItems()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"a", "b", "\xC3\xA9"}));
  EXPECT_EQ(dict.FindKey("b")->GetInt(), 4);
  EXPECT_TRUE(dict.RemoveKey("a"));
  EXPECT_FALSE(dict.RemoveKey("a"));
  EXPECT_EQ(dict.DictSize(), 2u);
}

TEST(JsonValueTest, CreateDictSortsAndKeepsLastDuplicate) {
  JsonValue::DictStorage pairs;
  pairs.emplace_back("y", JsonValue(1));
  pairs.emplace_back("x", JsonValue(2));
  pairs.emplace_back("y", JsonValue(3));
  JsonValue dict = JsonValue::CreateDict(std::move(pairs));
  ASSERT_EQ(dict.DictSize(), 2u);
  EXPECT_EQ(dict.DictItems()[0].first, "x");
  EXPECT_EQ(dict.FindKey("y")->GetInt(), 3);
}

TEST(JsonValueTest, FindKeyOfTypeRequiresExactType) {
  JsonValue dict(Type::DICTIONARY);
  dict.SetKey("n", JsonValue(1));
  EXPECT_TRUE(dict.FindKeyOfType("n", Type::INTEGER));
  EXPECT_FALSE(dict.FindKeyOfType("n", Type::DOUBLE));
  EXPECT_FALSE(dict.FindKeyOfType("missing", Type::INTEGER));
  EXPECT_FALSE(JsonValue(Type::LIST).FindKey("n"));
}

TEST(JsonValueTest, PathsWalkNestedDictionaries) {
  JsonValue root(Type::DICTIONARY);
  root.SetPath("a.b.c", JsonValue(1));
  root.SetKey("d.e", JsonValue(2));  // a plain key with a dot
  int value = 0;
  EXPECT_TRUE(root.GetInteger("a.b.c", &value));
  EXPECT_EQ(value, 1);
  EXPECT_EQ(root.FindKey("d.e")->GetInt(), 2);
  EXPECT_FALSE(root.FindPath("d.e"));
  EXPECT_EQ(root.FindPath(""), &root);
  ASSERT_TRUE(root.FindPath("a.b"));
  EXPECT_EQ(root.FindPath("a.b")->DictSize(), 1u);
  EXPECT_FALSE(root.FindPath("a.x.c"));
  EXPECT_FALSE(root.FindPath("a.b.c.d"));
}

TEST(JsonValueTest, SetPathReplacesNonDictionaryIntermediates) {
  JsonValue root(Type::DICTIONARY);
  root.SetKey("a", JsonValue(5));
  root.SetPath("a.b", JsonValue(true));
  ASSERT_TRUE(root.FindPath("a.b"));
  EXPECT_TRUE(root.FindPath("a.b")->GetBool());
  EXPECT_EQ(root.SetPath("", JsonValue(1)), nullptr);
  EXPECT_EQ(root.DictSize(), 1u);
}

TEST(JsonValueTest, PathGettersRequireExactType) {
  JsonValue root(Type::DICTIONARY);
  root.SetPath("x.i", JsonValue(3));
  root.SetPath("x.l", JsonValue(Type::LIST));
  double number = 0;
  EXPECT_TRUE(root.GetDouble("x.i", &number));
  EXPECT_EQ(number, 3.0);
  std::string text = "keep";
  EXPECT_FALSE(root.GetString("x.i", &text));
  EXPECT_EQ(text, "keep");
  const JsonValue* out = nullptr;
  EXPECT_FALSE(root.GetList("x.i", &out));
  EXPECT_EQ(out, nullptr);
  EXPECT_TRUE(root.GetList("x.l", &out));
  EXPECT_TRUE(out->is_list());
}

TEST(JsonValueTest, ListSize) {
  JsonValue list(Type::LIST);
  list.Append(JsonValue(1));
  list.GetList().push_back(JsonValue(2));
  EXPECT_EQ(list.GetList()[1].GetInt(), 2);
  EXPECT_EQ(list.ListSize(), 2u);
  EXPECT_EQ(JsonValue(1).ListSize(), 0u);
}

}  // namespace
}  // namespace base
