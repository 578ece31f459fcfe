// Turning a fuzzer's bytes into the text the programs take in, and the
// check that ends a run when an oracle disagrees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "json_check.h"

namespace zur::fuzz {

// Aborts, so that libFuzzer keeps the input, when `condition` is false.
inline void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "oracle failed: %s\n", what);
  std::abort();
}

inline std::string_view as_chars(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Little-endian pairs of bytes as UTF-16 code units, any value allowed; an
// odd last byte is dropped.
inline std::u16string units(std::string_view bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                    static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  return text;
}

inline bool is_high(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool is_low(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// `text` with each unpaired surrogate replaced by U+FFFD: valid Unicode.
inline std::u16string repaired(std::u16string text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (is_high(text[i]) && i + 1 < text.size() && is_low(text[i + 1])) {
      ++i;
    } else if (is_high(text[i]) || is_low(text[i])) {
      text[i] = 0xFFFD;
    }
  }
  return text;
}

// UTF-8 of valid UTF-16 text.
inline std::string utf8_of(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (is_high(text[i])) cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    json::append_utf8(out, cp);
  }
  return out;
}

}  // namespace zur::fuzz
