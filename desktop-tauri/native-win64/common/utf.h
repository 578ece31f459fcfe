// Conversion between UTF-8 and UTF-16 that refuses invalid input.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zur {

// UTF-16 to UTF-8; nothing when the text holds an unpaired surrogate.
std::optional<std::string> to_utf8(std::u16string_view text);

// UTF-16 to UTF-8 with each unpaired surrogate shown as U+FFFD, for messages.
std::string to_utf8_lossy(std::u16string_view text);

// UTF-8 to UTF-16; nothing for overlong forms, encoded surrogates, values
// above U+10FFFF, stray continuation bytes or a truncated sequence.
std::optional<std::u16string> to_utf16(std::string_view text);

// True when the UTF-16 text holds no unpaired surrogate.
bool is_valid_utf16(std::u16string_view text);

}  // namespace zur
