#include <gtest/gtest.h>

#include <string>

#include "system/ZSub.h"

namespace {

const std::string kMonths = "||JAN|FEB|";
const std::string kTitles = "|Error|Attention|Confirm|";
// Lists with the separators of code 0 and 255.
const std::string kZeroList = std::string("\0a\0b\0", 5);
const std::string kFFList = "\xFF" "a\xFF" "b\xFF";

TEST(SubCount, CountsOnlyClosedLists) {
  struct Case { std::string list; int count; };
  const Case cases[] = {
      {"", 0}, {"|", 0}, {"||", 1}, {"|a|b|", 2}, {"|a|b", 0}, {kMonths, 3},
      {kZeroList, 2}, {kFFList, 2}, {std::string(1, '\0'), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(SUB::CountItems(c.list), c.count) << c.list;
}

TEST(SubGetItem, ItemsDefaultsAndUnclosedTail) {
  struct Case { std::string list; int index; std::string expected; };
  const Case cases[] = {
      {kMonths, 1, "JAN"},
      {kMonths, 0, "def"},          // empty item
      {kMonths, 3, "def"},          // beyond the end
      {kMonths, -1, "def"},
      {"|a|b", 0, "a"},
      {"|a|b", 1, "def"},           // the unclosed tail is no item
      {"", 0, "def"},
      {std::string(1, '\0'), 0, "def"},
      {kZeroList, 1, "b"},
      {kFFList, 0, "a"},
      {"|a|b|", 2147483647, "def"},
  };
  for (const Case& c : cases) EXPECT_EQ(SUB::GetItem(c.list, c.index, "def"), c.expected) << c.list << " " << c.index;
}

TEST(SubGetItem, IntegerItems) {
  EXPECT_EQ(SUB::GetItemInt("|12|x|-3|99999999999|", 0, 7), 12);
  EXPECT_EQ(SUB::GetItemInt("|12|x|-3|99999999999|", 1, 7), 7);
  EXPECT_EQ(SUB::GetItemInt("|12|x|-3|99999999999|", 2, 7), -3);
  EXPECT_EQ(SUB::GetItemInt("|12|x|-3|99999999999|", 3, 7), 7);  // does not fit an int
  EXPECT_EQ(SUB::GetItemInt("|12|", 5, 7), 7);
}

TEST(SubIndexOf, FindsTrimmedCaseInsensitiveItems) {
  EXPECT_EQ(SUB::IndexOfItem(kTitles, " attention ", -1, false), 1);
  EXPECT_EQ(SUB::IndexOfItem(kTitles, "error", -1, false), 0);
  EXPECT_EQ(SUB::IndexOfItem(kTitles, "Att", -1, false), -1);
  EXPECT_EQ(SUB::IndexOfItem(kTitles, "conf", -1, true), 2);
  EXPECT_EQ(SUB::IndexOfItem(kTitles, "  ", -1, false), -1);
  EXPECT_EQ(SUB::IndexOfItem("", "a", -1, false), -1);
  // A separator below blank must survive: the switch list uses code 1.
  EXPECT_EQ(SUB::IndexOfItem("\x01" "a\x01" "b\x01", "B", -1, false), 1);

  EXPECT_TRUE(SUB::ContainsItem(kTitles, " confirm", true));
  EXPECT_FALSE(SUB::ContainsItem(kTitles, "confirm", false));
  EXPECT_FALSE(SUB::ContainsItem(kTitles, "", true));
  EXPECT_TRUE(SUB::ContainsItem(kZeroList, "b", false));
}

TEST(SubKeyValue, LookupRules) {
  struct Case { std::string list, key, expected; };
  const Case cases[] = {
      {"|A = 5|", "a", " 5"},         // blank before "=" goes, blank after stays
      {"|a=1|b=2|", "B", "2"},
      {"|a=1|b=2|", "b=", "2"},       // key may carry its "="
      {"|a=|b=2|", "a", ""},          // present, empty value
      {"|a=1|b=2|", "c", "def"},
      {"|xa=1|a=2|", "a", "2"},       // key is matched from the item's start
      {"| a=1|", "a", "1"},           // blank after the separator
      {"|a=1|a=2|", "a", "1"},        // first one wins
      {"|a=1|b=2", "b", "def"},       // unclosed list is not searched
      {"|=|", "a", "def"},
      {"", "a", "def"},
      {std::string("\0k=v\0", 5), "K", "v"},
  };
  for (const Case& c : cases) EXPECT_EQ(SUB::GetKeyValue(c.list, c.key, "def"), c.expected) << c.list;
}

TEST(SubKeyValue, KeysValuesSplitJoin) {
  EXPECT_EQ(SUB::Keys("|a=1|b=2|"), "|a|b|");
  EXPECT_EQ(SUB::Values("|a=1|b=2|"), "|1|2|");
  EXPECT_EQ(SUB::Values("|a=1|noeq|c=x=y|"), "|1||x=y|");
  // A value holding "|" forces another separator.
  EXPECT_EQ(SUB::Values("*a=x|y*"), "*x|y*");

  std::string keys, values;
  SUB::SplitKeyValues("|a=1|b=2|", keys, values);
  EXPECT_EQ(keys, "|a|b|");
  EXPECT_EQ(values, "|1|2|");
  EXPECT_EQ(SUB::JoinKeyValues(keys, values), "|a=1|b=2|");
  EXPECT_EQ(SUB::JoinKeyValues("|a|b|c|", "|1|"), "|a=1|b=|c=|");
  EXPECT_EQ(SUB::JoinKeyValues("|a|||", "|1|2||", true), "|a=1|=2|");
}

TEST(SubEdit, DeleteSetReverseTrim) {
  EXPECT_EQ(SUB::DeleteItem("|a|b|c|", 1), "|a|c|");
  EXPECT_EQ(SUB::DeleteItem("|a|b|c|", 3), "|a|b|c|");
  EXPECT_EQ(SUB::DeleteItem("|a|b|c|", -1), "|a|b|c|");
  EXPECT_EQ(SUB::DeleteItem("|a|b", 0), "|a|b");

  EXPECT_EQ(SUB::SetItem("|a|b|", 3, "x"), "|a|b||x|");
  EXPECT_EQ(SUB::SetItem("|a|b|", 0, "x|y"), "*x|y*b*");
  EXPECT_EQ(SUB::SetItem("", 1, "x"), "||x|");  // empty list taken as "|"
  EXPECT_EQ(SUB::SetItem("^a^", 0, "b"), "^b^");
  EXPECT_EQ(SUB::SetItem(kZeroList, 0, "z"), std::string("\0z\0b\0", 5));
  EXPECT_EQ(SUB::SetItem("|a|", -1, "x"), "|a|");

  EXPECT_EQ(SUB::ReverseItems("|a|b|c|"), "|c|b|a|");
  EXPECT_EQ(SUB::ReverseItems(""), "");

  EXPECT_EQ(SUB::TrimEmptyItems("|||a||b|||", true, false), "|||a||b|");
  EXPECT_EQ(SUB::TrimEmptyItems("|||a||b|||", false, true), "|a||b|||");
  EXPECT_EQ(SUB::TrimEmptyItems("|||a||b|||", true, true), "|a||b|");
  EXPECT_EQ(SUB::TrimEmptyItems("||||", true, true), "");
}

TEST(SubReseparate, PicksFirstFreeCandidate) {
  EXPECT_EQ(SUB::Reseparate("|a|b|"), "*a*b*");
  EXPECT_EQ(SUB::Reseparate(std::string("\0a*|\0", 5)), "^a*|^");
  EXPECT_EQ(SUB::Reseparate("|"), "");
  // Every candidate present: unchanged.
  const std::string all = std::string("\0", 1) + "|*^!~@#$&\xFF" + std::string("\0", 1);
  EXPECT_EQ(SUB::Reseparate(all), all);
  // Code 255 is the last resort.
  const std::string almost = std::string("\0", 1) + "|*^!~@#$&" + std::string("\0", 1);
  EXPECT_EQ(SUB::Reseparate(almost), "\xFF|*^!~@#$&\xFF");
}

}  // namespace
