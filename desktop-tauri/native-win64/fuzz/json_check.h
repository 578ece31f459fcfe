// A small strict JSON reader (RFC 8259) for the fuzz targets' oracles. It is
// kept apart from the programs' own text code on purpose: it decodes what
// they print without sharing a line with how they print it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zur::json {

struct Value {
  enum class Type { Null, Boolean, Number, String, Array, Object };
  Type type = Type::Null;
  bool boolean = false;
  std::string text;  // a string's decoded UTF-8, or a number as written
  std::vector<Value> items;        // an array's elements, or an object's values
  std::vector<std::string> keys;   // an object's keys, in document order
};

// The one value that `document` holds, white space around it allowed;
// nothing when it is not well-formed JSON or not valid UTF-8, or when a
// string escapes an unpaired surrogate.
std::optional<Value> parse(std::string_view document);

// Whether `bytes` is well-formed UTF-8 (Unicode, table 3-7).
bool is_utf8(std::string_view bytes);

// UTF-8 of one code point, which must not be a surrogate.
void append_utf8(std::string& out, char32_t code_point);

}  // namespace zur::json
