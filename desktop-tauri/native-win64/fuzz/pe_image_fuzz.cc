// The PE reader on any bytes: a verdict, and facts consistent with it;
// AddressSanitizer catches any read outside the bytes.
#include "../tools/pecheck/pe_image.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using zur::fuzz::require;
  const std::string_view image = zur::fuzz::as_chars(data, size);
  const auto facts = zur::pe::read_image(image);
  if (!facts) {
    require(!facts.error().empty(), "a refused image says why");
    return 0;
  }
  require(image.starts_with("MZ") && size >= 0x40, "an accepted image has an MZ header");
  require(facts->magic == 0x20B, "an accepted image is PE32+");
  for (const auto& problem : zur::pe::shipping_problems(*facts)) require(!problem.empty(), "problems are named");

  const auto again = zur::pe::read_image(image);
  require(bool(again), "the same bytes, the same verdict");
  require(again->imports == facts->imports && again->has_resources == facts->has_resources, "the same facts");
  return 0;
}
