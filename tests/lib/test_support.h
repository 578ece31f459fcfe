// What several C++ tests need beside GoogleTest: UTF-16 text shown readably
// in a failure message, a table of inputs checked against one function, and
// the bytes of a whole file.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace zur {

inline std::string show(std::u16string_view text) { return ::testing::PrintToString(std::u16string(text)); }

// Each row's input must give the row's result; a failing row names its input.
template <class Result, class Input>
void expect_each(Result (*function)(Input), std::initializer_list<std::pair<std::decay_t<Input>, Result>> rows) {
  for (const auto& [input, expected] : rows) {
    if constexpr (std::is_convertible_v<std::decay_t<Input>, std::u16string_view>) {
      EXPECT_EQ(function(input), expected) << show(input);
    } else {
      EXPECT_EQ(function(input), expected) << ::testing::PrintToString(input);
    }
  }
}

// The file's bytes, or "<missing>" when it cannot be opened.
inline std::string read_file(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return "<missing>";
  std::string bytes;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
  std::fclose(file);
  return bytes;
}

}  // namespace zur
