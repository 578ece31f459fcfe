#include "utf.h"

namespace zur {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Walks the code points of UTF-16 text; an unpaired surrogate is passed to
// `on_code_point` as nothing.
template <typename F>
void for_each_code_point(std::u16string_view text, F on_code_point) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (is_high_surrogate(c) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
      on_code_point(std::optional<char32_t>(0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00)));
      ++i;
    } else if (is_high_surrogate(c) || is_low_surrogate(c)) {
      on_code_point(std::optional<char32_t>());
    } else {
      on_code_point(std::optional<char32_t>(c));
    }
  }
}

}  // namespace

bool is_valid_utf16(std::u16string_view text) {
  bool valid = true;
  for_each_code_point(text, [&](std::optional<char32_t> cp) { valid = valid && cp.has_value(); });
  return valid;
}

std::optional<std::string> to_utf8(std::u16string_view text) {
  if (!is_valid_utf16(text)) return std::nullopt;
  return to_utf8_lossy(text);
}

std::string to_utf8_lossy(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for_each_code_point(text, [&](std::optional<char32_t> cp) { append_utf8(out, cp.value_or(kReplacement)); });
  return out;
}

std::optional<std::u16string> to_utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length;
    char32_t cp;
    char32_t minimum;
    if (lead < 0x80) {
      length = 1, cp = lead, minimum = 0;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
      return std::nullopt;
    }
    if (text.size() - i < length) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += length;
  }
  return out;
}

}  // namespace zur
