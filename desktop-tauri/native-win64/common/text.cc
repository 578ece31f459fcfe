#include "text.h"

#include <charconv>

namespace zur {

std::string fill_template(std::string_view pattern, std::initializer_list<std::string_view> values) {
  std::string out;
  auto value = values.begin();
  std::size_t from = 0;
  for (std::size_t slot; (slot = pattern.find("{}", from)) != std::string_view::npos && value != values.end();
       from = slot + 2) {
    out.append(pattern.substr(from, slot - from));
    out.append(*value++);
  }
  out.append(pattern.substr(from));
  return out;
}

std::string decimal(std::uint64_t value) {
  char buffer[20];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return std::string(buffer, end);
}

std::string hex(std::uint64_t value) {
  char buffer[16];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, 16).ptr;
  return "0x" + std::string(buffer, end);
}

std::string quoted_for_message(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          out += "\\u{";
          out += kHex[(c >> 4) & 0xF];
          out += kHex[c & 0xF];
          out += '}';
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

std::string_view trim_end(std::string_view text) {
  const auto last = text.find_last_not_of(" \t\r\n");
  return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

}  // namespace zur
