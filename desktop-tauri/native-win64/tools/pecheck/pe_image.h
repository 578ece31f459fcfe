// Reads what the build checks in a Windows executable: its headers, its
// resources and the DLLs it imports.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zur::pe {

struct ImageFacts {
  std::uint16_t machine = 0;        // 0x8664 for x86-64
  std::uint16_t magic = 0;          // 0x20B for PE32+
  std::uint16_t subsystem = 0;      // 3 for the console
  std::uint32_t time_stamp = 0;     // 0 when the linker wrote none
  bool has_resources = false;       // a resource directory or a .rsrc section
  std::vector<std::string> imports; // DLL names as the import table spells them
};

// Parses `image`; on failure returns false and says why in `error`.
bool read_image(std::string_view image, ImageFacts& facts, std::string& error);

// What is wrong with an image that is to ship: not PE32+ for x86-64, not
// the console subsystem, carrying resources, stamped with a time, or
// importing anything but system DLLs. Empty when nothing is.
std::vector<std::string> shipping_problems(const ImageFacts& facts);

}  // namespace zur::pe
