#pragma once
// Self-delimited lists: a string whose first character is its own separator S, items
// counted from 0 between consecutive S ('|a|b|' holds "a" and "b"). The empty string and
// the single character of code 0 are both the empty list. Lists built here are assembled
// with code 0 as separator and then given the first candidate separator that does not
// occur in them (Reseparate). Every operation returns a new value; nothing is changed in
// place. All operations tolerate any input (unclosed lists, separators 0 and 255, any index).
#include <string>

class SUB {
public:
  SUB() = delete;

  // Separator candidates in order of preference; the last one is the character 255.
  static constexpr const char kSeparators[] = "|*^!~@#$&\xFF";
  static constexpr char kAssemblySeparator = '\0';

  // Items; 0 when shorter than 2 characters or not closed by its separator.
  static int CountItems(const std::string& list);
  // Item index (from 0); def when the list is empty, the item is missing or empty.
  // Text after the last separator is never an item.
  static std::string GetItem(const std::string& list, int index, const std::string& def = "");
  // Item read as a decimal integer; def when missing or not a number (or out of range).
  static int GetItemInt(const std::string& list, int index, int def);
  // Index of the first item equal to item (both trimmed, ignoring case), or the first item
  // that begins with item when prefixOnly; def when not found or either is empty.
  static int IndexOfItem(const std::string& list, const std::string& item, int def = -1,
                         bool prefixOnly = false);
  // Whether an item equals item (both trimmed); false when either is empty.
  static bool ContainsItem(const std::string& list, const std::string& item, bool ignoreCase = true);
  // Value of the first key=value item with that key (ignoring case); blanks after a
  // separator and before "=" do not count; the value is not trimmed.
  static std::string GetKeyValue(const std::string& list, const std::string& key,
                                 const std::string& def = "");
  // Keys (text before the first "=") with side 'L', values (after it) with 'R'.
  static std::string KeysOrValues(const std::string& list, char side);
  static std::string Keys(const std::string& list);
  static std::string Values(const std::string& list);
  static void SplitKeyValues(const std::string& list, std::string& keys, std::string& values);
  // Item i is key i + "=" + value i, up to the larger count; dropEmptyTail first removes
  // empty items at the end of both inputs.
  static std::string JoinKeyValues(const std::string& keys, const std::string& values,
                                   bool dropEmptyTail = false);
  // Without item index; unchanged when index is not a valid item.
  static std::string DeleteItem(const std::string& list, int index);
  // Item index replaced by value; grows with empty items; reseparates when value holds S.
  static std::string SetItem(const std::string& list, int index, const std::string& value);
  static std::string ReverseItems(const std::string& list);
  static std::string TrimEmptyItems(const std::string& list, bool fromEnd = true, bool fromStart = false);
  // Separator changed to the first candidate not occurring in the list.
  static std::string Reseparate(const std::string& list);
};
