// Reads what the build and the release check need of a Windows executable:
// its headers, its sections, its resources, its signature's place, the DLLs
// it imports, its load configuration and its extended DLL characteristics;
// what an Authenticode signature covers, and the image an installer carries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../../common/result.h"

namespace zur::pe {

// What the loader takes from the load configuration (data directory 10).
struct LoadConfiguration {
  std::uint32_t size = 0;                 // its Size field
  std::uint16_t dependent_load_flags = 0; // where the static imports are searched
  // The value the SecurityCookie field points at, when it points into the
  // raw data of a writable section.
  std::optional<std::uint64_t> security_cookie;
  std::uint32_t guard_flags = 0;          // Control Flow Guard
};

// A run of bytes of a file.
struct Span {
  std::size_t offset = 0;
  std::size_t size = 0;
  friend bool operator==(const Span&, const Span&) = default;
};

struct Section {
  std::string name;
  Span raw;  // its data in the file
};

struct ImageFacts {
  std::uint16_t machine = 0;        // 0x8664 for x86-64
  std::uint16_t magic = 0;          // 0x20B for PE32+
  std::uint16_t subsystem = 0;      // 3 for the console
  // The oldest Windows the loader starts the image on (major, minor): an
  // older one refuses it as "not a valid application".
  std::uint16_t subsystem_major = 0, subsystem_minor = 0;
  std::uint32_t time_stamp = 0;     // 0 when the linker wrote none
  bool has_resources = false;       // a resource directory or a .rsrc section
  std::vector<std::string> imports; // DLL names as the import table spells them
  std::vector<std::string> kernel32_functions;  // what it imports from KERNEL32 by name
  bool imports_executable = false;  // the import table lies in an executable section
  bool has_tls = false;             // a thread-local storage directory (callbacks run before the entry)
  std::optional<LoadConfiguration> load_configuration;
  std::uint32_t dll_characteristics_ex = 0;  // from the debug directory's IMAGE_DEBUG_TYPE_EX_DLLCHARACTERISTICS
  std::uint16_t dll_characteristics = 0;
  std::uint32_t relocations_size = 0;           // 0 when there is no base-relocation directory
  std::vector<std::string> writable_executable; // sections both writable and executable
  // The certificate table (security directory) of a signed image: a file
  // offset, not an address, and zero in an unsigned one.
  std::uint32_t certificate_offset = 0;
  std::uint32_t certificate_size = 0;
  // The fields a signature leaves out: the checksum, and the certificate
  // table's directory entry (size 0 when the image has too few directories).
  Span checksum;
  Span certificate_entry;
  std::vector<Section> sections;
  std::size_t data_end = 0;   // end of the headers and of every section's raw data
  std::size_t file_size = 0;
};

// The facts of `image`, or why they cannot be read.
Result<ImageFacts, std::string> read_image(std::string_view image);

// What is wrong with an image that is to ship: not PE32+ for x86-64, not
// the console subsystem, declaring a Windows older than 8 (6.2), where what
// it imports is missing, carrying resources, stamped with a time, importing
// from anything but KERNEL32 and WS2_32 or from an executable section,
// importing without SetDefaultDllDirectories (its first call, which keeps
// the DLLs loaded at run time to the system folder),
// carrying a TLS directory, without ASLR (high entropy, relocatable, with
// base relocations), DEP, terminal-server awareness, Control Flow Guard or
// CET shadow-stack compatibility, without a load configuration that keeps
// the static imports to the system folder and names a security cookie the
// loader seeds, with a section both writable and executable, or with a
// certificate table that is not the last thing in the file. Empty when
// nothing is.
std::vector<std::string> shipping_problems(const ImageFacts& facts);

// The parts of the image that an Authenticode signature covers, in file
// order: all of it but the checksum, the certificate table's directory entry
// and the table itself.
std::vector<Span> covered_spans(const ImageFacts& facts);

// Where image `a` first differs from image `b` in what a signature covers,
// said of `a` ("differs from byte 0x2a0 on, in .text"); empty when the two
// cover the same bytes.
std::string covered_difference(std::string_view a, const ImageFacts& a_facts, std::string_view b,
                               const ImageFacts& b_facts);

// The one PE32+ image that `installer` carries in its data: where it starts
// and how long it is (to the end of its certificate table when it has one,
// else to the end of its last section). Fails when the installer carries
// none, or more than one.
Result<Span, std::string> carried_image(std::string_view installer, const ImageFacts& facts);

// A PE32+ console image for x86-64 of headers only (512 bytes, no sections,
// no code): something to sign that proves a signer can sign, and runs
// nothing.
std::string headers_only_image();

}  // namespace zur::pe
