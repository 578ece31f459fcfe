#include "pe_image.h"

#include <gtest/gtest.h>

#include "authenticode.h"

#include <cstdint>
#include <cstring>
#include <functional>

namespace zur::pe {
namespace {

// Layout of the synthetic image: headers in the first 0x200 bytes, then
// .idata (RVA 0x1000) with the import descriptors, the load configuration
// and the DLL names, then .text with the debug directory and its one entry's
// data, then .data (RVA 0x3000) with the security cookie.
constexpr std::size_t kPe = 0x80;
constexpr std::size_t kCoff = kPe + 4;
constexpr std::size_t kOptional = kCoff + 20;
constexpr std::size_t kOptionalSize = 112 + 16 * 8;
constexpr std::size_t kSections = kOptional + kOptionalSize;
constexpr std::size_t kIdata = 0x200;
constexpr std::size_t kText = 0x400;
constexpr std::size_t kDataSection = 0x600;
constexpr std::size_t kImageSize = 0x800;
constexpr std::size_t kLoadConfig = 0x80;  // within .idata
constexpr std::size_t kNames = 0x140;      // DLL names, within .idata
constexpr std::size_t kLookup = 0x180;     // KERNEL32's import lookup table, within .idata
constexpr std::size_t kHintName = 0x190;   // the one function it names
constexpr std::size_t kDebug = 0x20;       // debug directory, within .text
constexpr std::uint64_t kImageBase = 0x140000000;

void put16(std::string& image, std::size_t at, std::uint16_t v) { std::memcpy(&image[at], &v, 2); }
void put32(std::string& image, std::size_t at, std::uint32_t v) { std::memcpy(&image[at], &v, 4); }
void put64(std::string& image, std::size_t at, std::uint64_t v) { std::memcpy(&image[at], &v, 8); }

constexpr std::size_t kDllCharacteristics = kOptional + 70;
constexpr std::size_t kSecurityDirectory = kOptional + 112 + 8 * 4;
constexpr std::size_t kRelocationDirectory = kOptional + 112 + 8 * 5;
constexpr std::size_t kDebugDirectory = kOptional + 112 + 8 * 6;
constexpr std::size_t kTlsDirectory = kOptional + 112 + 8 * 9;
constexpr std::size_t kLoadConfigDirectory = kOptional + 112 + 8 * 10;
constexpr std::uint32_t kData = 0xC0000040;  // initialised data, read, write
constexpr std::uint32_t kCode = 0x60000020;  // code, execute, read

void put_section(std::string& image, int index, std::string_view name, std::uint32_t rva, std::uint32_t raw,
                 std::uint32_t characteristics) {
  const std::size_t at = kSections + 40 * index;
  std::memcpy(&image[at], name.data(), name.size());
  put32(image, at + 8, 0x180);   // VirtualSize
  put32(image, at + 12, rva);    // VirtualAddress
  put32(image, at + 16, 0x200);  // SizeOfRawData
  put32(image, at + 20, raw);    // PointerToRawData
  put32(image, at + 36, characteristics);
}

// Appends a certificate table of `size` bytes and points the security
// directory at it, as signing does.
void sign(std::string& image, std::uint32_t size = 0x18) {
  put32(image, kSecurityDirectory, static_cast<std::uint32_t>(image.size()));
  put32(image, kSecurityDirectory + 4, size);
  image.append(size, '\x5A');
}

// A console PE32+ image for x86-64 as the shipped programs should be.
std::string make_image(const std::vector<std::string>& dlls = {"KERNEL32.dll", "WS2_32.dll"}) {
  std::string image(kImageSize, '\0');
  image[0] = 'M', image[1] = 'Z';
  put32(image, 0x3C, kPe);
  std::memcpy(&image[kPe], "PE\0\0", 4);
  put16(image, kCoff, 0x8664);
  put16(image, kCoff + 2, 3);  // sections
  put16(image, kCoff + 16, kOptionalSize);
  put16(image, kCoff + 18, 0x22);
  put16(image, kOptional, 0x20B);
  put32(image, kOptional + 60, kIdata);  // SizeOfHeaders
  put16(image, kOptional + 68, 3);  // console
  put16(image, kOptional + 48, 6);  // subsystem version 6.2, Windows 8
  put16(image, kOptional + 50, 2);
  put64(image, kOptional + 24, kImageBase);
  put16(image, kDllCharacteristics, 0xC160);
  put32(image, kOptional + 108, 16);
  put32(image, kOptional + 112 + 8 * 1, 0x1000);  // import directory
  put32(image, kOptional + 112 + 8 * 1 + 4, static_cast<std::uint32_t>(20 * (dlls.size() + 1)));
  put32(image, kRelocationDirectory, 0x2100);
  put32(image, kRelocationDirectory + 4, 0x0C);
  // IMAGE_LOAD_CONFIG_DIRECTORY64 up to the code integrity fields: Size,
  // DependentLoadFlags, SecurityCookie (an address), GuardFlags.
  put32(image, kLoadConfigDirectory, 0x1000 + kLoadConfig);
  put32(image, kLoadConfigDirectory + 4, 0xA0);
  put32(image, kIdata + kLoadConfig, 0xA0);
  put16(image, kIdata + kLoadConfig + 78, 0x800);
  put64(image, kIdata + kLoadConfig + 88, kImageBase + 0x3000);
  put32(image, kIdata + kLoadConfig + 144, 0x10500);
  put64(image, kDataSection, 0x00002B992DDFA232);
  // One IMAGE_DEBUG_DIRECTORY entry, of type EX_DLLCHARACTERISTICS (20),
  // whose data says CET_COMPAT.
  put32(image, kDebugDirectory, 0x2000 + kDebug);
  put32(image, kDebugDirectory + 4, 28);
  put32(image, kText + kDebug + 12, 20);
  put32(image, kText + kDebug + 16, 4);
  put32(image, kText + kDebug + 20, 0x2000 + kDebug + 28);
  put32(image, kText + kDebug + 24, kText + kDebug + 28);
  put32(image, kText + kDebug + 28, 1);
  put_section(image, 0, ".idata", 0x1000, kIdata, kData);
  put_section(image, 1, ".text", 0x2000, kText, kCode);
  put_section(image, 2, ".data", 0x3000, kDataSection, kData);
  std::size_t name = kNames;
  for (std::size_t i = 0; i < dlls.size(); ++i) {
    put32(image, kIdata + 20 * i + 12, static_cast<std::uint32_t>(0x1000 + name));
    std::memcpy(&image[kIdata + name], dlls[i].data(), dlls[i].size());
    name += dlls[i].size() + 1;
    // KERNEL32 (in any case) gives SetDefaultDllDirectories, by name.
    if (dlls[i].size() == 12 && (dlls[i][0] == 'K' || dlls[i][0] == 'k')) put32(image, kIdata + 20 * i, 0x1000 + kLookup);
  }
  put64(image, kIdata + kLookup, 0x1000 + kHintName);
  std::memcpy(&image[kIdata + kHintName + 2], "SetDefaultDllDirectories", 24);
  return image;
}

TEST(ReadImage, ReadsAGoodConsoleImage) {
  const auto read = read_image(make_image());
  ASSERT_TRUE(read) << read.error();
  const ImageFacts& facts = *read;
  EXPECT_EQ(facts.machine, 0x8664);
  EXPECT_EQ(facts.magic, 0x20B);
  EXPECT_EQ(facts.subsystem, 3);
  EXPECT_EQ(facts.time_stamp, 0u);
  EXPECT_FALSE(facts.has_resources);
  EXPECT_EQ(facts.imports, (std::vector<std::string>{"KERNEL32.dll", "WS2_32.dll"}));
  ASSERT_TRUE(facts.load_configuration);
  EXPECT_EQ(facts.load_configuration->dependent_load_flags, 0x800);
  EXPECT_EQ(facts.load_configuration->security_cookie, 0x00002B992DDFA232u);
  EXPECT_TRUE(shipping_problems(facts).empty());
}

TEST(ShippingProblems, AcceptsACertificateTableThatEndsTheFile) {
  for (const std::uint32_t size : {8u, 0x18u, 0x1000u}) {
    std::string image = make_image();
    sign(image, size);
    const auto read = read_image(image);
    ASSERT_TRUE(read) << read.error();
    const ImageFacts& facts = *read;
    EXPECT_EQ(facts.certificate_offset, kImageSize);
    EXPECT_TRUE(shipping_problems(facts).empty()) << size << ": " << ::testing::PrintToString(shipping_problems(facts));
  }
}

TEST(ShippingProblems, AcceptsTheAllowedDllsInAnyCase) {
  for (const auto& dlls : std::vector<std::vector<std::string>>{{}, {"WS2_32.dll", "kernel32.DLL"}, {"KERNEL32.DLL"}}) {
    const auto read = read_image(make_image(dlls));
    ASSERT_TRUE(read) << read.error();
    const ImageFacts& facts = *read;
    EXPECT_EQ(facts.imports, dlls);
    EXPECT_TRUE(shipping_problems(facts).empty()) << ::testing::PrintToString(shipping_problems(facts));
  }
}

TEST(ShippingProblems, CatchesEachSingleFault) {
  enum Outcome { Unreadable, OneProblem };
  const struct {
    std::string_view fault;
    std::function<void(std::string&)> mutate;
    Outcome outcome;
    std::string_view problem_names;  // for OneProblem, a text the problem must hold
  } cases[] = {
      {"no MZ", [](std::string& i) { i[0] = 'X'; }, Unreadable, ""},
      {"PE offset wrong", [](std::string& i) { put32(i, 0x3C, kPe + 4); }, Unreadable, ""},
      {"PE offset past the end", [](std::string& i) { put32(i, 0x3C, 0xFFFFFFF0); }, Unreadable, ""},
      {"PE offset near the end", [](std::string& i) { put32(i, 0x3C, static_cast<std::uint32_t>(i.size() - 2)); },
       Unreadable, ""},
      {"PE32 magic", [](std::string& i) { put16(i, kOptional, 0x10B); }, Unreadable, ""},
      {"machine i386", [](std::string& i) { put16(i, kCoff, 0x14C); }, OneProblem, ""},
      {"GUI subsystem", [](std::string& i) { put16(i, kOptional + 68, 2); }, OneProblem, ""},
      {"subsystem version 6.0, Vista", [](std::string& i) { put16(i, kOptional + 50, 0); }, OneProblem, "6.0"},
      {"subsystem version 5.2", [](std::string& i) { put16(i, kOptional + 48, 5); }, OneProblem, "5.2"},
      {"no SetDefaultDllDirectories", [](std::string& i) { put64(i, kIdata + kLookup, 0); }, OneProblem,
       "SetDefaultDllDirectories"},
      {"SetDefaultDllDirectories from WS2_32",
       [](std::string& i) { i = make_image({"WS2_32.dll"}), put32(i, kIdata, 0x1000 + kLookup); }, OneProblem,
       "SetDefaultDllDirectories"},
      {"another function by ordinal", [](std::string& i) { put64(i, kIdata + kLookup, 0x8000000000000005); },
       OneProblem, "SetDefaultDllDirectories"},
      {"import lookup table outside every section", [](std::string& i) { put32(i, kIdata, 0x9000); }, Unreadable, ""},
      {"resource directory", [](std::string& i) { put32(i, kOptional + 112 + 16, 0x3000); }, OneProblem, ""},
      {"resource directory size only", [](std::string& i) { put32(i, kOptional + 112 + 20, 0x10); }, OneProblem, ""},
      {".rsrc section", [](std::string& i) { std::memcpy(&i[kSections + 40], ".rsrc\0", 6); }, OneProblem, ""},
      {"time stamp", [](std::string& i) { put32(i, kCoff + 4, 0x65000000); }, OneProblem, ""},
      {"no HIGH_ENTROPY_VA", [](std::string& i) { put16(i, kDllCharacteristics, 0xC140); }, OneProblem, "HIGH_ENTROPY_VA"},
      {"no DYNAMIC_BASE", [](std::string& i) { put16(i, kDllCharacteristics, 0xC120); }, OneProblem, "DYNAMIC_BASE"},
      {"no NX_COMPAT", [](std::string& i) { put16(i, kDllCharacteristics, 0xC060); }, OneProblem, "NX_COMPAT"},
      {"no TERMINAL_SERVER_AWARE", [](std::string& i) { put16(i, kDllCharacteristics, 0x4160); }, OneProblem,
       "TERMINAL_SERVER_AWARE"},
      {"no GUARD_CF", [](std::string& i) { put16(i, kDllCharacteristics, 0x8160); }, OneProblem, "GUARD_CF"},
      {"relocations stripped", [](std::string& i) { put32(i, kRelocationDirectory, 0), put32(i, kRelocationDirectory + 4, 0); },
       OneProblem, "relocations"},
      {"empty relocation directory", [](std::string& i) { put32(i, kRelocationDirectory + 4, 0); }, OneProblem,
       "relocations"},
      {"writable code", [](std::string& i) { put32(i, kSections + 40 + 36, kCode | 0x80000000); }, OneProblem, ".text"},
      {"executable data", [](std::string& i) { put32(i, kSections + 80 + 36, kData | 0x20000000); }, OneProblem, ".data"},
      {"certificate table short of the end", [](std::string& i) { sign(i), i.push_back('\0'); }, OneProblem,
       "certificate"},
      {"certificate table past the end", [](std::string& i) { sign(i), i.pop_back(); }, OneProblem, "certificate"},
      {"certificate table inside a section",
       [](std::string& i) { put32(i, kSecurityDirectory, kText), put32(i, kSecurityDirectory + 4, kImageSize - kText); },
       OneProblem, "certificate"},
      {"certificate table misaligned", [](std::string& i) {
         i.push_back('\0'), sign(i);
       }, OneProblem, "certificate"},
      {"certificate table of size 0 at the end", [](std::string& i) { put32(i, kSecurityDirectory, kImageSize); },
       OneProblem, "certificate"},
      {"certificate table offset wraps", [](std::string& i) {
         sign(i), put32(i, kSecurityDirectory, 0xFFFFFFF8), put32(i, kSecurityDirectory + 4, 0x18 + kImageSize + 8);
       }, OneProblem, "certificate"},
      {"libstdc++ import", [](std::string& i) { i = make_image({"KERNEL32.dll", "libstdc++-6.dll"}); }, OneProblem,
       "libstdc++-6.dll"},
      {"winpthread import", [](std::string& i) { i = make_image({"libwinpthread-1.dll", "WS2_32.dll"}); }, OneProblem,
       "libwinpthread-1.dll"},
      {"ADVAPI32 import", [](std::string& i) { i = make_image({"KERNEL32.dll", "ADVAPI32.dll"}); }, OneProblem,
       "CRYPTBASE.dll"},
      {"C runtime import", [](std::string& i) { i = make_image({"KERNEL32.dll", "msvcrt.dll"}); }, OneProblem,
       "C runtime"},
      {"ntdll import", [](std::string& i) { i = make_image({"ntdll.dll"}); }, OneProblem, "not KERNEL32 or WS2_32"},
      {"import table in code", [](std::string& i) { put32(i, kOptional + 120, 0x2100); }, OneProblem, "import table"},
      {"TLS directory", [](std::string& i) { put32(i, kTlsDirectory, 0x1000), put32(i, kTlsDirectory + 4, 0x28); },
       OneProblem, "TLS"},
      {"no load configuration", [](std::string& i) { put32(i, kLoadConfigDirectory, 0); }, OneProblem,
       "load configuration"},
      {"load configuration outside every section", [](std::string& i) { put32(i, kLoadConfigDirectory, 0x9000); },
       Unreadable, ""},
      {"load configuration past its section", [](std::string& i) { put32(i, kIdata + kLoadConfig, 0x1000); },
       Unreadable, ""},
      {"load configuration without GuardFlags", [](std::string& i) { put32(i, kIdata + kLoadConfig, 0x90); },
       OneProblem, "GuardFlags"},
      {"imports searched beside the program", [](std::string& i) { put16(i, kIdata + kLoadConfig + 78, 0); },
       OneProblem, "DependentLoadFlags"},
      {"cookie seeded in the file", [](std::string& i) { put64(i, kDataSection, 0x1234); }, OneProblem,
       "SecurityCookie"},
      {"cookie in code", [](std::string& i) { put64(i, kIdata + kLoadConfig + 88, kImageBase + 0x2000); }, OneProblem,
       "SecurityCookie"},
      {"cookie below the image", [](std::string& i) { put64(i, kIdata + kLoadConfig + 88, 0x1000); }, OneProblem,
       "SecurityCookie"},
      {"cookie in a read-only section",
       [](std::string& i) { put32(i, kSections + 80 + 36, 0x40000040); }, OneProblem, "SecurityCookie"},
      {"guard not instrumented", [](std::string& i) { put32(i, kIdata + kLoadConfig + 144, 0x400); }, OneProblem,
       "GuardFlags"},
      {"not CET compatible", [](std::string& i) { put32(i, kText + kDebug + 28, 0); }, OneProblem, "CET"},
      {"no debug directory", [](std::string& i) { put32(i, kDebugDirectory, 0); }, OneProblem, "CET"},
      {"garbage after the import descriptors", [](std::string& i) { std::memset(&i[kIdata + 40], 0x11, kImageSize - kIdata - 40); },
       Unreadable, ""},
      {"import table outside every section", [](std::string& i) { put32(i, kOptional + 120, 0x9000); }, Unreadable, ""},
      // truncated files
      {"cut in the MZ header", [](std::string& i) { i.resize(0x30); }, Unreadable, ""},
      {"cut in the COFF header", [](std::string& i) { i.resize(kCoff + 10); }, Unreadable, ""},
      {"cut in the optional header", [](std::string& i) { i.resize(kOptional + 100); }, Unreadable, ""},
      {"cut in the section table", [](std::string& i) { i.resize(kSections + 50); }, Unreadable, ""},
      {"cut in the import descriptors", [](std::string& i) { i.resize(kIdata + 30); }, Unreadable, ""},
      {"cut in a DLL name", [](std::string& i) { i.resize(kIdata + kNames + 15); }, Unreadable, ""},
      {"cut in the last section", [](std::string& i) { i.resize(kText + 0x100); }, Unreadable, ""},
  };
  for (const auto& c : cases) {
    std::string image = make_image();
    c.mutate(image);
    const auto read = read_image(image);
    if (c.outcome == Unreadable) {
      EXPECT_FALSE(read) << c.fault;
      EXPECT_FALSE(!read && read.error().empty()) << c.fault;
      continue;
    }
    ASSERT_TRUE(read) << c.fault << ": " << read.error();
    const auto problems = shipping_problems(*read);
    ASSERT_EQ(problems.size(), 1u) << c.fault << ": " << ::testing::PrintToString(problems);
    EXPECT_NE(problems[0].find(c.problem_names), std::string::npos) << c.fault << ": " << problems[0];
  }
}

// DER, written out for the signatures below.
std::string tlv(std::uint8_t tag, std::string_view content) {
  std::string out(1, static_cast<char>(tag));
  if (content.size() < 0x80) {
    out += static_cast<char>(content.size());
  } else {
    out += '\x82', out += static_cast<char>(content.size() >> 8), out += static_cast<char>(content.size() & 0xFF);
  }
  return out.append(content);
}
std::string seq(std::string_view content = {}) { return tlv(0x30, content); }
const std::string kSignedDataOid = tlv(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02");
const std::string kIndirectDataOid = tlv(0x06, "\x2B\x06\x01\x04\x01\x82\x37\x02\x01\x04");
const std::string kRfc3161Oid = tlv(0x06, "\x2B\x06\x01\x04\x01\x82\x37\x03\x03\x01");
const std::string kCounterSignatureOid = tlv(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x06");
const std::string kNestedOid = tlv(0x06, "\x2B\x06\x01\x04\x01\x82\x37\x02\x04\x01");
const std::string kOne = tlv(0x02, "\x01");

std::string attribute(const std::string& oid, const std::string& value) { return seq(oid + tlv(0x31, value)); }
std::string signer(const std::string& unsigned_attributes = "") {
  return seq(kOne + seq() + seq() + tlv(0xA0, "") + seq() + tlv(0x04, "signature") +
             (unsigned_attributes.empty() ? "" : tlv(0xA1, unsigned_attributes)));
}
std::string content_info(const std::string& content_type, const std::string& signers) {
  const std::string data = seq(kOne + tlv(0x31, "") + seq(content_type + tlv(0xA0, seq())) + tlv(0xA0, seq()) +
                               tlv(0x31, signers));
  return seq(kSignedDataOid + tlv(0xA0, data));
}
std::string rfc3161_token(std::string_view time) {
  const std::string tst = seq(kOne + tlv(0x06, "\x2A\x03") + seq() + tlv(0x02, "\x05") + tlv(0x18, time));
  const std::string data = seq(kOne + tlv(0x31, "") +
                               seq(tlv(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x10\x01\x04") +
                                   tlv(0xA0, tlv(0x04, tst))) +
                               tlv(0x31, signer()));
  return seq(kSignedDataOid + tlv(0xA0, data));
}
std::string countersignature(std::string_view utc_time) {
  return seq(kOne + seq() + seq() +
             tlv(0xA0, attribute(tlv(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x05"), tlv(0x17, utc_time))) + seq() +
             tlv(0x04, "signature"));
}

// A WIN_CERTIFICATE of `blob` padded to 8 bytes, appended as the image's
// certificate table.
void sign_with(std::string& image, const std::string& blob, std::uint16_t revision = 0x0200, std::uint16_t type = 2) {
  std::string table(8, '\0');
  table += blob;
  table.append((8 - table.size() % 8) % 8, '\0');
  put32(table, 0, static_cast<std::uint32_t>(table.size()));
  put16(table, 4, revision);
  put16(table, 6, type);
  put32(image, kSecurityDirectory, static_cast<std::uint32_t>(image.size()));
  put32(image, kSecurityDirectory + 4, static_cast<std::uint32_t>(table.size()));
  image += table;
}
// Grows the table by `bytes` (inside it, as the padding check refuses).
void grow_table(std::string& image, std::string_view bytes) {
  image += bytes;
  const auto size = static_cast<std::uint32_t>(image.size() - kImageSize);
  put32(image, kSecurityDirectory + 4, size);
  put32(image, kImageSize, size);
}

TEST(ReadSignature, HoldsTheTableToOneSignature) {
  const std::string plain = content_info(kIndirectDataOid, signer());
  const struct {
    std::string_view what;
    std::function<void(std::string&)> make;
    std::string_view outcome;  // the timestamp, "unsigned", "signed", or a text the refusal holds
  } cases[] = {
      {"unsigned", [](std::string&) {}, "unsigned"},
      {"signed", [&](std::string& i) { sign_with(i, plain); }, "signed"},
      {"RFC 3161 timestamp",
       [](std::string& i) { sign_with(i, content_info(kIndirectDataOid, signer(attribute(kRfc3161Oid, rfc3161_token("20261209165743Z")))));
       }, "2026-12-09T16:57:43Z"},
      {"RFC 3161 timestamp with a fraction",
       [](std::string& i) { sign_with(i, content_info(kIndirectDataOid, signer(attribute(kRfc3161Oid, rfc3161_token("20261209165743.25Z")))));
       }, "2026-12-09T16:57:43Z"},
      {"Authenticode countersignature",
       [](std::string& i) { sign_with(i, content_info(kIndirectDataOid, signer(attribute(kCounterSignatureOid, countersignature("991231235959Z")))));
       }, "1999-12-31T23:59:59Z"},
      {"8 bytes of padding", [&](std::string& i) { sign_with(i, plain), grow_table(i, std::string(8, '\0')); },
       "after the signature"},
      {"padding that is not zero", [&](std::string& i) { sign_with(i, plain), i.back() = 1; }, "not zero"},
      {"bytes after the table", [&](std::string& i) { sign_with(i, plain), i += "appended"; }, "after its certificate table"},
      {"bytes after an unsigned image", [](std::string& i) { i += "appended"; }, "8 bytes after its last section"},
      {"table inside the last section", [&](std::string& i) { i.resize(kImageSize - 8), sign_with(i, plain); },
       "section data"},
      {"8 bytes before the table", [&](std::string& i) { i.append(8, '\0'), sign_with(i, plain); }, "between"},
      {"WIN_CERTIFICATE shorter than the table", [&](std::string& i) { sign_with(i, plain), put32(i, kImageSize, 8); },
       "WIN_CERTIFICATE of 8 bytes"},
      {"revision 1", [&](std::string& i) { sign_with(i, plain, 0x0100); }, "revision"},
      {"an X.509 certificate", [&](std::string& i) { sign_with(i, plain, 0x0200, 1); }, "PKCS_SIGNED_DATA"},
      {"DER length past the table", [&](std::string& i) { sign_with(i, plain), i[kImageSize + 9] = '\x7F'; },
       "no PKCS#7"},
      {"indefinite length", [&](std::string& i) { sign_with(i, plain), i[kImageSize + 9] = '\x80'; }, "no PKCS#7"},
      {"not Authenticode content", [](std::string& i) { sign_with(i, content_info(kSignedDataOid, signer())); },
       "Authenticode"},
      {"two signers", [](std::string& i) { sign_with(i, content_info(kIndirectDataOid, signer() + signer())); },
       "signers"},
      {"a nested signature",
       [&](std::string& i) { sign_with(i, content_info(kIndirectDataOid, signer(attribute(kNestedOid, plain)))); },
       "nested"},
      {"another unsigned attribute",
       [](std::string& i) { sign_with(i, content_info(kIndirectDataOid, signer(attribute(tlv(0x06, "\x2A\x03"), kOne)))); },
       "not a timestamp"},
      {"two timestamps",
       [](std::string& i) {
         const std::string stamp = attribute(kRfc3161Oid, rfc3161_token("20261209165743Z"));
         sign_with(i, content_info(kIndirectDataOid, signer(stamp + stamp)));
       }, "more than one timestamp"},
      {"a timestamp without a time",
       [](std::string& i) { sign_with(i, content_info(kIndirectDataOid, signer(attribute(kRfc3161Oid, rfc3161_token("2026Z"))))); },
       "cannot be read"},
  };
  for (const auto& c : cases) {
    std::string image = make_image();
    c.make(image);
    const auto facts = read_image(image);
    ASSERT_TRUE(facts) << c.what << ": " << facts.error();
    const auto signature = read_signature(image, *facts);
    if (!signature) {
      EXPECT_NE(signature.error().find(c.outcome), std::string::npos) << c.what << ": " << signature.error();
    } else if (!signature->present) {
      EXPECT_EQ(c.outcome, "unsigned") << c.what;
    } else {
      EXPECT_EQ(c.outcome, signature->timestamp.empty() ? "signed" : signature->timestamp) << c.what;
    }
  }
}

// The image with `carried` appended to its last section, as the installer
// carries the host.
std::string carrying(const std::vector<std::string>& carried) {
  std::string image = make_image();
  for (const auto& c : carried) image += c;
  put32(image, kSections + 80 + 16, static_cast<std::uint32_t>(image.size() - kDataSection));
  return image;
}

TEST(CarriedImage, FindsTheOneImageAnInstallerCarries) {
  std::string signed_host = make_image();
  sign_with(signed_host, content_info(kIndirectDataOid, signer()));
  const struct {
    std::string_view what;
    std::vector<std::string> carried;
    std::string_view outcome;  // empty when found at kImageSize, else a text of the refusal
  } cases[] = {
      {"an unsigned host", {make_image()}, ""},
      {"a signed host", {signed_host}, ""},
      {"nothing", {"MZ not a PE image"}, "no PE image"},
      {"a host cut short", {make_image().substr(0, kText)}, "no PE image"},
      {"two hosts", {make_image(), make_image()}, "2 PE images"},
  };
  for (const auto& c : cases) {
    const std::string installer = carrying(c.carried);
    const auto facts = read_image(installer);
    ASSERT_TRUE(facts) << c.what << ": " << facts.error();
    const auto found = carried_image(installer, *facts);
    if (c.outcome.empty()) {
      ASSERT_TRUE(found) << c.what << ": " << found.error();
      EXPECT_EQ(*found, (Span{kImageSize, c.carried[0].size()})) << c.what;
    } else {
      ASSERT_FALSE(found) << c.what;
      EXPECT_NE(found.error().find(c.outcome), std::string::npos) << c.what << ": " << found.error();
    }
  }
}

TEST(CoveredDifference, NamesWhereTwoImagesDifferOutsideTheSignature) {
  const struct {
    std::string_view what;
    std::function<void(std::string&)> change;
    std::string_view difference;
  } cases[] = {
      {"the same", [](std::string&) {}, ""},
      {"signed, with a checksum", [](std::string& i) {
         put32(i, kOptional + 64, 0x1234), sign_with(i, content_info(kIndirectDataOid, signer()));
       }, ""},
      {"a byte of code", [](std::string& i) { i[kText + 0x40] ^= 1; }, "differs from byte 0x440 on, in .text"},
      {"a byte of the headers", [](std::string& i) { i[kPe - 1] = 1; }, "differs from byte 0x7f on, in the headers"},
      {"a byte after the last section", [](std::string& i) { i += 'x'; }, "is 1 bytes longer"},
  };
  const std::string rebuilt = make_image();
  const auto rebuilt_facts = read_image(rebuilt);
  ASSERT_TRUE(rebuilt_facts);
  for (const auto& c : cases) {
    std::string image = make_image();
    c.change(image);
    const auto facts = read_image(image);
    ASSERT_TRUE(facts) << c.what << ": " << facts.error();
    EXPECT_EQ(covered_difference(image, *facts, rebuilt, *rebuilt_facts), c.difference) << c.what;
  }
}

}  // namespace
}  // namespace zur::pe
