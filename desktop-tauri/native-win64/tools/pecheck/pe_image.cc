#include "pe_image.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <tuple>

namespace zur::pe {
namespace {

constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint16_t kSubsystemConsole = 3;
constexpr std::size_t kImportDirectory = 1;
constexpr std::size_t kResourceDirectory = 2;
constexpr std::size_t kSecurityDirectory = 4;
constexpr std::size_t kRelocationDirectory = 5;

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
    {0x8000, "lacks TERMINAL_SERVER_AWARE"},
};

// DLLs that every 64-bit Windows has in its system folder.
constexpr std::array<std::string_view, 8> kSystemDlls = {
    "kernel32.dll", "msvcrt.dll", "ws2_32.dll", "ntdll.dll",
    "advapi32.dll", "user32.dll", "shell32.dll", "ole32.dll",
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

struct Section {
  std::string name;
  std::uint32_t virtual_address;
  std::uint32_t virtual_size;
  std::uint32_t raw_offset;
  std::uint32_t raw_size;
};

// File offset of a relative virtual address, or 0 when no section holds it.
std::size_t file_offset(const std::vector<Section>& sections, std::uint32_t rva) {
  for (const auto& s : sections) {
    const std::uint32_t span = std::max(s.virtual_size, s.raw_size);
    if (rva >= s.virtual_address && rva - s.virtual_address < span) return s.raw_offset + (rva - s.virtual_address);
  }
  return 0;
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
  facts.dll_characteristics = r.get<std::uint16_t>(optional + 70);
  const auto header_size = r.get<std::uint32_t>(optional + 60);
  const auto directory_count = r.get<std::uint32_t>(optional + 108);
  auto directory = [&](std::size_t index) {
    const std::size_t at = optional + 112 + 8 * index;
    if (index >= directory_count || at + 8 > optional + optional_size) return std::pair<std::uint32_t, std::uint32_t>{};
    return std::pair{r.get<std::uint32_t>(at), r.get<std::uint32_t>(at + 4)};
  };

  std::vector<Section> sections;
  const std::size_t table = optional + optional_size;
  if (!r.has(table, std::size_t{40} * section_count)) return "section table cut short"s;
  facts.writable_executable.clear();
  facts.data_end = std::max<std::size_t>(header_size, table + std::size_t{40} * section_count);
  for (std::size_t i = 0; i < section_count; ++i) {
    const std::size_t at = table + 40 * i;
    std::string name(image.substr(at, 8));
    name.resize(std::strlen(name.c_str()));
    sections.push_back({name, r.get<std::uint32_t>(at + 12), r.get<std::uint32_t>(at + 8),
                        r.get<std::uint32_t>(at + 20), r.get<std::uint32_t>(at + 16)});
    const Section& s = sections.back();
    if (!r.has(s.raw_offset, s.raw_size)) return "section " + name + " runs past the end of the file";
    if (s.raw_size != 0) facts.data_end = std::max<std::size_t>(facts.data_end, std::size_t{s.raw_offset} + s.raw_size);
    const auto characteristics = r.get<std::uint32_t>(at + 36);
    if ((characteristics & kScnMemWrite) && (characteristics & kScnMemExecute)) facts.writable_executable.push_back(name);
  }
  facts.file_size = image.size();
  facts.relocations_size = directory(kRelocationDirectory).first != 0 ? directory(kRelocationDirectory).second : 0;
  std::tie(facts.certificate_offset, facts.certificate_size) = directory(kSecurityDirectory);

  const auto [resource_rva, resource_size] = directory(kResourceDirectory);
  facts.has_resources = resource_rva != 0 || resource_size != 0 ||
                        std::any_of(sections.begin(), sections.end(), [](const Section& s) { return s.name == ".rsrc"; });

  facts.imports.clear();
  const auto [import_rva, import_size] = directory(kImportDirectory);
  if (import_rva == 0) return facts;
  std::size_t descriptor = file_offset(sections, import_rva);
  if (descriptor == 0) return "import table outside every section"s;
  for (;; descriptor += 20) {
    if (!r.has(descriptor, 20)) return "import table cut short"s;
    const auto name_rva = r.get<std::uint32_t>(descriptor + 12);
    if (name_rva == 0) break;
    const std::size_t name = file_offset(sections, name_rva);
    if (name == 0) return "imported DLL name outside every section"s;
    if (!r.c_string(name, facts.imports.emplace_back())) return "imported DLL name cut short"s;
  }
  return facts;
}

std::vector<std::string> shipping_problems(const ImageFacts& facts) {
  std::vector<std::string> problems;
  if (facts.machine != kMachineAmd64) problems.push_back("not built for x86-64");
  if (facts.magic != kMagicPe32Plus) problems.push_back("not PE32+");
  if (facts.subsystem != kSubsystemConsole) problems.push_back("not a console program");
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
  for (const auto& dll : facts.imports) {
    if (std::find(kSystemDlls.begin(), kSystemDlls.end(), lower(dll)) == kSystemDlls.end()) {
      problems.push_back("imports " + dll + ", which is not a system DLL");
    }
  }
  return problems;
}

}  // namespace zur::pe
