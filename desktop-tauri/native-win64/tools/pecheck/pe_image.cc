#include "pe_image.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>

namespace zur::pe {
namespace {

constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint16_t kSubsystemConsole = 3;
// Windows 8: SetDefaultDllDirectories, FileIdInfo and SIO_TCP_INITIAL_RTO
// exist there without an update.
constexpr std::uint16_t kMinimumSubsystemMajor = 6, kMinimumSubsystemMinor = 2;
constexpr std::size_t kImportDirectory = 1;
constexpr std::size_t kResourceDirectory = 2;
constexpr std::size_t kSecurityDirectory = 4;
constexpr std::size_t kRelocationDirectory = 5;
constexpr std::size_t kDebugDirectory = 6;
constexpr std::size_t kTlsDirectory = 9;
constexpr std::size_t kLoadConfigurationDirectory = 10;

// IMAGE_LOAD_CONFIG_DIRECTORY64: where its fields lie, and the Size that
// holds them all up to GuardFlags.
constexpr std::size_t kLoadConfigDependentLoadFlags = 78;
constexpr std::size_t kLoadConfigSecurityCookie = 88;
constexpr std::size_t kLoadConfigGuardFlags = 144;
constexpr std::uint32_t kLoadConfigMinimumSize = kLoadConfigGuardFlags + 4;

constexpr std::uint32_t kDebugTypeExDllCharacteristics = 20;

constexpr std::uint32_t kScnMemExecute = 0x20000000;
constexpr std::uint32_t kScnMemWrite = 0x80000000;

// DllCharacteristics every shipped program must have.
constexpr struct {
  std::uint16_t bit;
  std::string_view lacks;
} kRequiredDllCharacteristics[] = {
    {0x0020, "lacks HIGH_ENTROPY_VA (64-bit ASLR)"},
    {0x0040, "lacks DYNAMIC_BASE (ASLR)"},
    {0x0100, "lacks NX_COMPAT (DEP)"},
    {0x4000, "lacks GUARD_CF (Control Flow Guard)"},
    {0x8000, "lacks TERMINAL_SERVER_AWARE"},
};

constexpr std::uint16_t kLoadLibrarySearchSystem32 = 0x800;
// The value compilers give the security cookie in the file; the loader
// replaces it, and only it, with a random one.
constexpr std::uint64_t kDefaultSecurityCookie = 0x00002B992DDFA232;
constexpr std::uint32_t kGuardCfInstrumented = 0x100;
constexpr std::uint32_t kGuardCfFunctionTablePresent = 0x400;
constexpr std::uint32_t kCetCompatible = 0x01;  // IMAGE_DLLCHARACTERISTICS_EX_CET_COMPAT

// The only DLLs a shipped program may import: KnownDLLs, which the loader
// maps from the system's own copies whatever lies beside the program, and
// whose imports a program would use do not forward to a DLL that is not one.
constexpr std::array<std::string_view, 2> kAllowedDlls = {"kernel32.dll", "ws2_32.dll"};

// Why a DLL that is refused is worse than unknown.
constexpr struct {
  std::string_view dll;
  std::string_view why;
} kRefusedDlls[] = {
    {"advapi32.dll", "whose SystemFunction036 forwards to CRYPTBASE.dll, which is not a KnownDLL and is searched "
                     "beside the program first"},
    {"msvcrt.dll", "the C runtime, a system component not meant for programs"},
};

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  bool has(std::size_t offset, std::size_t size) const {
    return offset <= bytes_.size() && size <= bytes_.size() - offset;
  }
  template <typename T>
  T get(std::size_t offset) const {
    T value{};
    if (has(offset, sizeof value)) std::memcpy(&value, bytes_.data() + offset, sizeof value);
    return value;  // little-endian host, as every build machine here is
  }
  // The text at `offset` up to its null; false when the file ends first.
  bool c_string(std::size_t offset, std::string& text) const {
    const auto end = offset < bytes_.size() ? bytes_.find('\0', offset) : std::string_view::npos;
    if (end == std::string_view::npos) return false;
    text = std::string(bytes_.substr(offset, end - offset));
    return true;
  }

 private:
  std::string_view bytes_;
};

struct SectionHeader {
  std::string name;
  std::uint32_t virtual_address;
  std::uint32_t virtual_size;
  std::uint32_t raw_offset;
  std::uint32_t raw_size;
  std::uint32_t characteristics;
};

// The section that holds a relative virtual address, or null.
const SectionHeader* section_of(const std::vector<SectionHeader>& sections, std::uint64_t rva) {
  for (const auto& s : sections) {
    const std::uint32_t span = std::max(s.virtual_size, s.raw_size);
    if (rva >= s.virtual_address && rva - s.virtual_address < span) return &s;
  }
  return nullptr;
}

// File offset of a relative virtual address, or 0 when no section holds it.
std::size_t file_offset(const std::vector<SectionHeader>& sections, std::uint64_t rva) {
  const SectionHeader* s = section_of(sections, rva);
  return s ? s->raw_offset + (rva - s->virtual_address) : 0;
}

// Whether `size` bytes from `rva` lie in the raw data of one section.
bool in_raw_data(const SectionHeader& s, std::uint64_t rva, std::size_t size) {
  return rva >= s.virtual_address && rva - s.virtual_address <= s.raw_size && size <= s.raw_size - (rva - s.virtual_address);
}

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

Result<ImageFacts, std::string> read_image(std::string_view image) {
  using namespace std::string_literals;
  ImageFacts facts;
  const Reader r(image);
  if (!r.has(0, 0x40) || image.substr(0, 2) != "MZ") return "no MZ header"s;
  const auto pe = r.get<std::uint32_t>(0x3C);
  if (!r.has(pe, 24) || image.substr(pe, 4) != std::string_view("PE\0\0", 4)) {
    return "no PE signature at the offset the MZ header gives"s;
  }
  const std::size_t coff = pe + 4;
  facts.machine = r.get<std::uint16_t>(coff);
  const auto section_count = r.get<std::uint16_t>(coff + 2);
  facts.time_stamp = r.get<std::uint32_t>(coff + 4);
  const auto optional_size = r.get<std::uint16_t>(coff + 16);
  const std::size_t optional = coff + 20;
  if (!r.has(optional, optional_size) || optional_size < 2) return "optional header cut short"s;
  facts.magic = r.get<std::uint16_t>(optional);
  if (facts.magic != kMagicPe32Plus) return "not a PE32+ image"s;
  if (optional_size < 112) return "optional header cut short"s;
  facts.subsystem = r.get<std::uint16_t>(optional + 68);
  facts.subsystem_major = r.get<std::uint16_t>(optional + 48);
  facts.subsystem_minor = r.get<std::uint16_t>(optional + 50);
  facts.dll_characteristics = r.get<std::uint16_t>(optional + 70);
  const auto header_size = r.get<std::uint32_t>(optional + 60);
  const auto directory_count = r.get<std::uint32_t>(optional + 108);
  auto directory = [&](std::size_t index) {
    const std::size_t at = optional + 112 + 8 * index;
    if (index >= directory_count || at + 8 > optional + optional_size) return std::pair<std::uint32_t, std::uint32_t>{};
    return std::pair{r.get<std::uint32_t>(at), r.get<std::uint32_t>(at + 4)};
  };

  std::vector<SectionHeader> sections;
  const std::size_t table = optional + optional_size;
  if (!r.has(table, std::size_t{40} * section_count)) return "section table cut short"s;
  facts.writable_executable.clear();
  facts.data_end = std::max<std::size_t>(header_size, table + std::size_t{40} * section_count);
  for (std::size_t i = 0; i < section_count; ++i) {
    const std::size_t at = table + 40 * i;
    std::string name(image.substr(at, 8));
    name.resize(std::strlen(name.c_str()));
    sections.push_back({name, r.get<std::uint32_t>(at + 12), r.get<std::uint32_t>(at + 8),
                        r.get<std::uint32_t>(at + 20), r.get<std::uint32_t>(at + 16), r.get<std::uint32_t>(at + 36)});
    const SectionHeader& s = sections.back();
    if (!r.has(s.raw_offset, s.raw_size)) return "section " + name + " runs past the end of the file";
    facts.sections.push_back({name, {s.raw_offset, s.raw_size}});
    if (s.raw_size != 0) facts.data_end = std::max<std::size_t>(facts.data_end, std::size_t{s.raw_offset} + s.raw_size);
    if ((s.characteristics & kScnMemWrite) && (s.characteristics & kScnMemExecute)) {
      facts.writable_executable.push_back(name);
    }
  }
  facts.file_size = image.size();
  facts.relocations_size = directory(kRelocationDirectory).first != 0 ? directory(kRelocationDirectory).second : 0;
  std::tie(facts.certificate_offset, facts.certificate_size) = directory(kSecurityDirectory);
  facts.checksum = {optional + 64, 4};
  if (const std::size_t at = optional + 112 + 8 * kSecurityDirectory;
      kSecurityDirectory < directory_count && at + 8 <= optional + optional_size) {
    facts.certificate_entry = {at, 8};
  }

  const auto [resource_rva, resource_size] = directory(kResourceDirectory);
  facts.has_resources = resource_rva != 0 || resource_size != 0 ||
                        std::any_of(sections.begin(), sections.end(), [](const SectionHeader& s) { return s.name == ".rsrc"; });

  facts.has_tls = directory(kTlsDirectory).first != 0;

  if (const auto [rva, size] = directory(kLoadConfigurationDirectory); rva != 0) {
    const SectionHeader* holder = section_of(sections, rva);
    if (holder == nullptr || !in_raw_data(*holder, rva, std::max<std::uint32_t>(size, 4))) {
      return "load configuration outside the raw data of every section"s;
    }
    const std::size_t at = file_offset(sections, rva);
    LoadConfiguration& load = facts.load_configuration.emplace();
    load.size = r.get<std::uint32_t>(at);
    if (!in_raw_data(*holder, rva, load.size)) return "load configuration cut short"s;
    if (load.size >= kLoadConfigMinimumSize) {
      load.dependent_load_flags = r.get<std::uint16_t>(at + kLoadConfigDependentLoadFlags);
      load.guard_flags = r.get<std::uint32_t>(at + kLoadConfigGuardFlags);
      const auto image_base = r.get<std::uint64_t>(optional + 24);
      const auto cookie = r.get<std::uint64_t>(at + kLoadConfigSecurityCookie) - image_base;  // wraps when below
      const SectionHeader* data = section_of(sections, cookie);
      if (data != nullptr && (data->characteristics & kScnMemWrite) && in_raw_data(*data, cookie, 8)) {
        load.security_cookie = r.get<std::uint64_t>(file_offset(sections, cookie));
      }
    }
  }

  // IMAGE_DEBUG_DIRECTORY entries, 28 bytes each: Type at 12, the data's
  // address at 20.
  if (const auto [rva, size] = directory(kDebugDirectory); rva != 0) {
    const SectionHeader* holder = section_of(sections, rva);
    if (holder == nullptr || !in_raw_data(*holder, rva, size)) return "debug directory outside every section"s;
    for (std::uint32_t entry = 0; entry + 28 <= size; entry += 28) {
      const std::size_t at = file_offset(sections, rva + entry);
      if (r.get<std::uint32_t>(at + 12) != kDebugTypeExDllCharacteristics) continue;
      const auto data = r.get<std::uint32_t>(at + 20);
      const SectionHeader* data_holder = section_of(sections, data);
      if (data_holder == nullptr || !in_raw_data(*data_holder, data, 4)) return "debug data outside every section"s;
      facts.dll_characteristics_ex = r.get<std::uint32_t>(file_offset(sections, data));
    }
  }

  facts.imports.clear();
  facts.kernel32_functions.clear();
  const auto [import_rva, import_size] = directory(kImportDirectory);
  if (import_rva == 0) return facts;
  std::size_t descriptor = file_offset(sections, import_rva);
  if (descriptor == 0) return "import table outside every section"s;
  facts.imports_executable = section_of(sections, import_rva)->characteristics & kScnMemExecute;
  for (;; descriptor += 20) {
    if (!r.has(descriptor, 20)) return "import table cut short"s;
    const auto name_rva = r.get<std::uint32_t>(descriptor + 12);
    if (name_rva == 0) break;
    const std::size_t name = file_offset(sections, name_rva);
    if (name == 0) return "imported DLL name outside every section"s;
    if (!r.c_string(name, facts.imports.emplace_back())) return "imported DLL name cut short"s;
    if (lower(facts.imports.back()) != "kernel32.dll") continue;
    // The import lookup table (or, without one, the address table): 64-bit
    // entries up to a null one; an entry without bit 63 is the address of
    // a 2-byte hint and the function's name.
    const auto lookup_rva = r.get<std::uint32_t>(descriptor) ? r.get<std::uint32_t>(descriptor)
                                                               : r.get<std::uint32_t>(descriptor + 16);
    std::size_t entry = file_offset(sections, lookup_rva);
    if (entry == 0) return "import lookup table outside every section"s;
    for (;; entry += 8) {
      if (!r.has(entry, 8)) return "import lookup table cut short"s;
      const auto value = r.get<std::uint64_t>(entry);
      if (value == 0) break;
      if (value >> 63) continue;  // by ordinal
      const std::size_t hint = file_offset(sections, value & 0x7FFFFFFF);
      if (hint == 0) return "imported function name outside every section"s;
      if (!r.c_string(hint + 2, facts.kernel32_functions.emplace_back())) return "imported function name cut short"s;
    }
  }
  return facts;
}

std::vector<std::string> shipping_problems(const ImageFacts& facts) {
  std::vector<std::string> problems;
  if (facts.machine != kMachineAmd64) problems.push_back("not built for x86-64");
  if (facts.magic != kMagicPe32Plus) problems.push_back("not PE32+");
  if (facts.subsystem != kSubsystemConsole) problems.push_back("not a console program");
  if (facts.subsystem_major < kMinimumSubsystemMajor ||
      (facts.subsystem_major == kMinimumSubsystemMajor && facts.subsystem_minor < kMinimumSubsystemMinor)) {
    problems.push_back("declares subsystem version " + std::to_string(facts.subsystem_major) + "." +
                       std::to_string(facts.subsystem_minor) +
                       ", older than 6.2 (Windows 8), which would start it without the functions it imports");
  }
  if (facts.has_resources) problems.push_back("carries resources (icon, manifest or version information)");
  if (facts.time_stamp != 0) problems.push_back("carries a link time stamp, so builds differ");
  for (const auto& [bit, lacks] : kRequiredDllCharacteristics) {
    if (!(facts.dll_characteristics & bit)) problems.emplace_back(lacks);
  }
  if (facts.relocations_size == 0) problems.push_back("has no base relocations, so ASLR cannot move it");
  for (const auto& name : facts.writable_executable) problems.push_back("section " + name + " is both writable and executable");
  // Authenticode appends the table, 8-byte aligned, after everything else;
  // anything there or beyond would be bytes outside what the signature covers.
  if (facts.certificate_offset != 0 || facts.certificate_size != 0) {
    const std::uint64_t end = std::uint64_t{facts.certificate_offset} + facts.certificate_size;
    if (facts.certificate_size < 8 || facts.certificate_offset % 8 != 0 || facts.certificate_offset < facts.data_end ||
        end != facts.file_size) {
      problems.push_back("has a certificate table that is not the last thing in the file");
    }
  }
  if (facts.has_tls) problems.push_back("has a TLS directory, whose callbacks run before the entry point");
  if (facts.imports_executable) problems.push_back("has its import table in an executable section");
  bool imports_allowed_only = true;
  for (const auto& dll : facts.imports) {
    const std::string name = lower(dll);
    const auto refused = std::find_if(std::begin(kRefusedDlls), std::end(kRefusedDlls),
                                      [&](const auto& r) { return r.dll == name; });
    if (refused != std::end(kRefusedDlls)) {
      problems.push_back("imports " + dll + ", " + std::string(refused->why));
      imports_allowed_only = false;
    } else if (std::find(kAllowedDlls.begin(), kAllowedDlls.end(), name) == kAllowedDlls.end()) {
      problems.push_back("imports " + dll + ", which is not KERNEL32 or WS2_32");
      imports_allowed_only = false;
    }
  }
  // Judged once the DLLs themselves pass: an image that imports only what
  // it may must import this too.
  if (!facts.imports.empty() && imports_allowed_only &&
      std::find(facts.kernel32_functions.begin(), facts.kernel32_functions.end(), "SetDefaultDllDirectories") ==
          facts.kernel32_functions.end()) {
    problems.push_back("does not import SetDefaultDllDirectories from KERNEL32, so DLLs loaded at run time may be "
                       "searched beside it");
  }
  if (!facts.load_configuration) {
    problems.push_back("has no load configuration");
  } else if (const LoadConfiguration& load = *facts.load_configuration; load.size < kLoadConfigMinimumSize) {
    problems.push_back("has a load configuration too short to hold GuardFlags");
  } else {
    if (load.dependent_load_flags != kLoadLibrarySearchSystem32) {
      problems.push_back("has DependentLoadFlags other than LOAD_LIBRARY_SEARCH_SYSTEM32, so its imports may be "
                         "searched beside it");
    }
    if (load.security_cookie != kDefaultSecurityCookie) {
      problems.push_back("has a SecurityCookie that is not the default value in writable data, so the loader does "
                         "not seed it");
    }
    if ((load.guard_flags & (kGuardCfInstrumented | kGuardCfFunctionTablePresent)) !=
        (kGuardCfInstrumented | kGuardCfFunctionTablePresent)) {
      problems.push_back("has GuardFlags without Control Flow Guard's instrumentation and function table");
    }
  }
  if (!(facts.dll_characteristics_ex & kCetCompatible)) problems.push_back("is not marked CET shadow-stack compatible");
  return problems;
}

std::vector<Span> covered_spans(const ImageFacts& facts) {
  // What is left out, in file order; a table that runs past the end of the
  // file is left out up to the end (whether it may do so is the signature
  // check's question).
  std::vector<Span> left_out = {facts.checksum, facts.certificate_entry};
  if (facts.certificate_offset != 0 || facts.certificate_size != 0) {
    const std::size_t start = std::min<std::size_t>(facts.certificate_offset, facts.file_size);
    const std::size_t end = std::min<std::uint64_t>(std::uint64_t{facts.certificate_offset} + facts.certificate_size,
                                                    facts.file_size);
    left_out.push_back({start, end - start});
  }
  std::sort(left_out.begin(), left_out.end(), [](const Span& a, const Span& b) { return a.offset < b.offset; });
  std::vector<Span> covered;
  std::size_t at = 0;
  for (const Span& gap : left_out) {
    if (gap.offset > at) covered.push_back({at, gap.offset - at});
    at = std::max(at, gap.offset + gap.size);
  }
  if (at < facts.file_size) covered.push_back({at, facts.file_size - at});
  return covered;
}

namespace {

// Where file offset `at` lies, for a reader: a section's name, the headers,
// or the data after every section.
std::string place_of(const ImageFacts& facts, std::size_t at) {
  for (const Section& s : facts.sections) {
    if (at >= s.raw.offset && at - s.raw.offset < s.raw.size) return "in " + (s.name.empty() ? "a section" : s.name);
  }
  const bool before_every_section = std::all_of(facts.sections.begin(), facts.sections.end(), [&](const Section& s) {
    return s.raw.size == 0 || at < s.raw.offset;
  });
  if (before_every_section) return "in the headers";
  if (at < facts.data_end) return "between sections";
  if (facts.certificate_offset != 0 && at >= facts.certificate_offset) return "after the certificate table";
  return "after the last section";
}

std::string hex(std::size_t value) {
  char text[2 + 2 * sizeof value + 1];
  std::snprintf(text, sizeof text, "0x%zx", value);
  return text;
}

}  // namespace

std::string covered_difference(std::string_view a, const ImageFacts& a_facts, std::string_view b,
                               const ImageFacts& b_facts) {
  const auto a_spans = covered_spans(a_facts), b_spans = covered_spans(b_facts);
  std::size_t ai = 0, bi = 0, a_done = 0, b_done = 0;  // span index, bytes of that span compared
  while (ai < a_spans.size() && bi < b_spans.size()) {
    const std::size_t n = std::min(a_spans[ai].size - a_done, b_spans[bi].size - b_done);
    const std::string_view x = a.substr(a_spans[ai].offset + a_done, n), y = b.substr(b_spans[bi].offset + b_done, n);
    if (x != y) {
      std::size_t k = 0;
      while (x[k] == y[k]) ++k;
      const std::size_t at = a_spans[ai].offset + a_done + k;
      return "differs from byte " + hex(at) + " on, " + place_of(a_facts, at);
    }
    a_done += n, b_done += n;
    if (a_done == a_spans[ai].size) ++ai, a_done = 0;
    if (b_done == b_spans[bi].size) ++bi, b_done = 0;
  }
  std::size_t a_rest = 0, b_rest = 0;
  for (; ai < a_spans.size(); ++ai, a_done = 0) a_rest += a_spans[ai].size - a_done;
  for (; bi < b_spans.size(); ++bi, b_done = 0) b_rest += b_spans[bi].size - b_done;
  if (a_rest != 0) return "is " + std::to_string(a_rest) + " bytes longer";
  if (b_rest != 0) return "is " + std::to_string(b_rest) + " bytes shorter";
  return "";
}

Result<Span, std::string> carried_image(std::string_view installer, const ImageFacts& facts) {
  using namespace std::string_literals;
  std::vector<Span> found;
  const std::size_t end = std::min(facts.data_end, installer.size());
  for (std::size_t at = installer.find("MZ", 1); at != std::string_view::npos && at < end;
       at = installer.find("MZ", at + 1)) {
    const std::string_view rest = installer.substr(at);
    const auto image = read_image(rest);
    if (!image) continue;
    const bool has_table = image->certificate_offset != 0 || image->certificate_size != 0;
    const std::uint64_t length = std::max<std::uint64_t>(
        image->data_end, has_table ? std::uint64_t{image->certificate_offset} + image->certificate_size : 0);
    if (length > rest.size()) return "the image at byte " + hex(at) + " runs past the end of the file";
    // One whose tables reach past its own end is not an image of its own.
    if (!read_image(rest.substr(0, length))) continue;
    found.push_back({at, static_cast<std::size_t>(length)});
    at += length - 1;  // an image inside this one is part of it
  }
  if (found.empty()) return "carries no PE image"s;
  if (found.size() > 1) return "carries " + std::to_string(found.size()) + " PE images, not one";
  return found.front();
}

std::string headers_only_image() {
  std::string image(512, '\0');
  const auto put = [&](std::size_t at, std::uint64_t value, std::size_t size) { std::memcpy(&image[at], &value, size); };
  constexpr std::size_t pe = 0x40, optional = pe + 24;
  image[0] = 'M', image[1] = 'Z';
  put(0x3C, pe, 4);
  std::memcpy(&image[pe], "PE\0\0", 4);
  put(pe + 4, kMachineAmd64, 2);
  put(pe + 20, 240, 2);    // SizeOfOptionalHeader: 112 and 16 directories
  put(pe + 22, 0x22, 2);   // executable, large address aware
  put(optional, kMagicPe32Plus, 2);
  put(optional + 24, 0x140000000, 8);  // ImageBase
  put(optional + 32, 0x1000, 4);       // SectionAlignment
  put(optional + 36, 0x200, 4);        // FileAlignment
  put(optional + 56, 0x1000, 4);       // SizeOfImage
  put(optional + 60, 0x200, 4);        // SizeOfHeaders
  put(optional + 68, kSubsystemConsole, 2);
  put(optional + 70, 0x8160, 2);       // terminal server aware, NX, ASLR with high entropy
  put(optional + 108, 16, 4);          // NumberOfRvaAndSizes
  return image;
}

}  // namespace zur::pe
