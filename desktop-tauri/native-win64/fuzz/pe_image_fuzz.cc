// The PE reader on any bytes: a verdict, and facts consistent with it;
// AddressSanitizer catches any read outside the bytes.
#include "../tools/pecheck/authenticode.h"
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

  // What a signature covers: in file order, inside the file, never the
  // checksum.
  std::size_t end = 0;
  for (const auto& span : zur::pe::covered_spans(*facts)) {
    require(span.size != 0 && span.offset >= end && span.offset + span.size <= size, "covered spans in order");
    require(span.offset >= facts->checksum.offset + 4 || span.offset + span.size <= facts->checksum.offset,
            "the checksum is not covered");
    end = span.offset + span.size;
  }
  require(zur::pe::covered_difference(image, *facts, image, *facts).empty(), "an image does not differ from itself");

  if (const auto signature = zur::pe::read_signature(image, *facts); !signature) {
    require(!signature.error().empty(), "a refused signature says why");
  } else if (signature->present) {
    require(std::uint64_t{facts->certificate_offset} + facts->certificate_size == size && facts->certificate_size >= 8,
            "a signature's table ends the file");
  }

  if (const auto carried = zur::pe::carried_image(image, *facts); !carried) {
    require(!carried.error().empty(), "an installer without one image says why");
  } else {
    require(carried->offset > 0 && carried->offset + carried->size <= size, "the carried image lies in the file");
    require(bool(zur::pe::read_image(image.substr(carried->offset, carried->size))), "the carried image reads alone");
  }
  return 0;
}
