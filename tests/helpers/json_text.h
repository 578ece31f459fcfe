// JSON string text for the test helpers' records: every code unit outside
// printable ASCII as \uXXXX, so that unpaired surrogates survive.
#pragma once

#include <string>

inline std::string json_string(const std::wstring& text) {
  static const char hex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += hex[(c >> shift) & 0xF];
    }
  }
  return out + "\"";
}
