// UTF-8 and UTF-16 conversion: valid text makes the round trip, invalid
// text is refused, judged by an independent reading of the encodings.
#include "../common/utf.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zur;
  using fuzz::require;
  const std::string_view bytes = fuzz::as_chars(data, size);

  // The bytes as UTF-8.
  const auto wide = to_utf16(bytes);
  require(wide.has_value() == json::is_utf8(bytes), "UTF-8 accepted exactly when well-formed");
  if (wide) {
    require(is_valid_utf16(*wide), "UTF-8 gives valid UTF-16");
    require(fuzz::utf8_of(*wide) == bytes, "UTF-8 to UTF-16 keeps every code point");
    require(to_utf8(*wide) == bytes, "UTF-8 round trip");
  }

  // The bytes as UTF-16 code units.
  const std::u16string text = fuzz::units(bytes);
  const std::u16string fixed = fuzz::repaired(text);
  const bool valid = fixed == text;
  require(is_valid_utf16(text) == valid, "unpaired surrogates found");
  const auto narrow = to_utf8(text);
  require(narrow.has_value() == valid, "UTF-16 accepted exactly when valid");
  const std::string lossy = to_utf8_lossy(text);
  require(lossy == fuzz::utf8_of(fixed), "lossy form shows U+FFFD for each unpaired surrogate");
  if (narrow) {
    require(*narrow == lossy, "valid UTF-16 converts the same both ways");
    require(to_utf16(*narrow) == text, "UTF-16 round trip");
  }
  return 0;
}
