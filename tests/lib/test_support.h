// What several C++ tests need beside GoogleTest: UTF-16 text shown readably
// in a failure message, and the bytes of a whole file.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace zur {

inline std::string show(std::u16string_view text) { return ::testing::PrintToString(std::u16string(text)); }

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
