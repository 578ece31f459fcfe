// Small text helpers for the one-line outputs and the failure report.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace zur {

// Replaces each "{}" of `pattern`, left to right, with the next value;
// values are inserted as they are, without escaping.
std::string fill_template(std::string_view pattern, std::initializer_list<std::string_view> values);

// Plain decimal: no sign, no grouping, no leading zeros.
std::string decimal(std::uint64_t value);

// Lower-case hexadecimal with a 0x prefix, for addresses and offsets.
std::string hex(std::uint64_t value);

// `text` between double quotes, with \" \\ \t \r \n written as escapes and
// any other control character as \u{XX}, so a message stays on one line.
std::string quoted_for_message(std::string_view text);

// `text` without its trailing blanks, tabs and line ends.
std::string_view trim_end(std::string_view text);

}  // namespace zur
