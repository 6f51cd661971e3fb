#pragma once
// Splits fuzz input into the text fields a target needs: at each separator byte, the last
// field taking the rest; missing fields are empty.
#include <cstddef>
#include <string>
#include <vector>

inline std::vector<std::string> FuzzFields(const unsigned char* data, std::size_t size, std::size_t count,
                                           char separator = '\n') {
  std::vector<std::string> fields(count);
  const char* text = reinterpret_cast<const char*>(data);
  std::size_t field = 0;
  for (std::size_t at = 0; at < size; ++at) {
    if (text[at] == separator && field + 1 < count) {
      ++field;
      continue;
    }
    fields[field] += text[at];
  }
  return fields;
}
