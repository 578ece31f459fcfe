#include "pe_image.h"

#include <gtest/gtest.h>

#include "authenticode.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>

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
void put_directory(std::string& image, std::size_t at, std::uint32_t rva, std::uint32_t size) {
  put32(image, at, rva);
  put32(image, at + 4, size);
}

constexpr std::size_t kDllCharacteristics = kOptional + 70;
constexpr std::size_t kImportDirectory = kOptional + 112 + 8 * 1;
constexpr std::size_t kResourceDirectory = kOptional + 112 + 8 * 2;
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

// Appends `table` as the certificate table and points the security
// directory at it, as signing does.
void sign(std::string& image, const std::string& table = std::string(0x18, '\x5A')) {
  put_directory(image, kSecurityDirectory, static_cast<std::uint32_t>(image.size()),
                static_cast<std::uint32_t>(table.size()));
  image += table;
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
  put_directory(image, kImportDirectory, 0x1000, static_cast<std::uint32_t>(20 * (dlls.size() + 1)));
  put_directory(image, kRelocationDirectory, 0x2100, 0x0C);
  // IMAGE_LOAD_CONFIG_DIRECTORY64 up to the code integrity fields: Size,
  // DependentLoadFlags, SecurityCookie (an address), GuardFlags.
  put_directory(image, kLoadConfigDirectory, 0x1000 + kLoadConfig, 0xA0);
  put32(image, kIdata + kLoadConfig, 0xA0);
  put16(image, kIdata + kLoadConfig + 78, 0x800);
  put64(image, kIdata + kLoadConfig + 88, kImageBase + 0x3000);
  put32(image, kIdata + kLoadConfig + 144, 0x10500);
  put64(image, kDataSection, 0x00002B992DDFA232);
  // One IMAGE_DEBUG_DIRECTORY entry, of type EX_DLLCHARACTERISTICS (20),
  // whose data says CET_COMPAT.
  put_directory(image, kDebugDirectory, 0x2000 + kDebug, 28);
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

// A change to the image above, and the ones most tests make.
using Change = std::function<void(std::string&)>;
Change set16(std::size_t at, std::uint16_t v) { return [=](std::string& i) { put16(i, at, v); }; }
Change set32(std::size_t at, std::uint32_t v) { return [=](std::string& i) { put32(i, at, v); }; }
Change set64(std::size_t at, std::uint64_t v) { return [=](std::string& i) { put64(i, at, v); }; }
Change directory(std::size_t at, std::uint32_t rva, std::uint32_t size) {
  return [=](std::string& i) { put_directory(i, at, rva, size); };
}
Change cut_to(std::size_t size) { return [=](std::string& i) { i.resize(size); }; }
Change importing(const std::vector<std::string>& dlls) { return [=](std::string& i) { i = make_image(dlls); }; }

std::string changed(const Change& change) {
  std::string image = make_image();
  change(image);
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
  EXPECT_EQ(shipping_problems(facts), std::vector<std::string>{});
}

TEST(ShippingProblems, AcceptsACertificateTableThatEndsTheFile) {
  for (const std::uint32_t size : {8u, 0x18u, 0x1000u}) {
    const auto read = read_image(changed([=](std::string& i) { sign(i, std::string(size, '\x5A')); }));
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read->certificate_offset, kImageSize);
    EXPECT_EQ(shipping_problems(*read), std::vector<std::string>{}) << size;
  }
}

TEST(ShippingProblems, AcceptsTheAllowedDllsInAnyCase) {
  for (const auto& dlls : std::vector<std::vector<std::string>>{{}, {"WS2_32.dll", "kernel32.DLL"}, {"KERNEL32.DLL"}}) {
    const auto read = read_image(make_image(dlls));
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read->imports, dlls);
    EXPECT_EQ(shipping_problems(*read), std::vector<std::string>{});
  }
}

TEST(ShippingProblems, CatchesEachSingleFault) {
  constexpr std::nullopt_t kUnreadable = std::nullopt;
  const struct {
    std::string_view fault;
    Change change;
    std::optional<std::string_view> problem;  // a text the one problem must hold; nothing when unreadable
  } cases[] = {
      {"no MZ", [](std::string& i) { i[0] = 'X'; }, kUnreadable},
      {"PE offset wrong", set32(0x3C, kPe + 4), kUnreadable},
      {"PE offset past the end", set32(0x3C, 0xFFFFFFF0), kUnreadable},
      {"PE offset near the end", set32(0x3C, kImageSize - 2), kUnreadable},
      {"PE32 magic", set16(kOptional, 0x10B), kUnreadable},
      {"machine i386", set16(kCoff, 0x14C), ""},
      {"GUI subsystem", set16(kOptional + 68, 2), ""},
      {"subsystem version 6.0, Vista", set16(kOptional + 50, 0), "6.0"},
      {"subsystem version 5.2", set16(kOptional + 48, 5), "5.2"},
      {"no SetDefaultDllDirectories", set64(kIdata + kLookup, 0), "SetDefaultDllDirectories"},
      {"SetDefaultDllDirectories from WS2_32",
       [](std::string& i) { i = make_image({"WS2_32.dll"}), put32(i, kIdata, 0x1000 + kLookup); },
       "SetDefaultDllDirectories"},
      {"another function by ordinal", set64(kIdata + kLookup, 0x8000000000000005), "SetDefaultDllDirectories"},
      {"import lookup table outside every section", set32(kIdata, 0x9000), kUnreadable},
      {"resource directory", set32(kResourceDirectory, 0x3000), ""},
      {"resource directory size only", set32(kResourceDirectory + 4, 0x10), ""},
      {".rsrc section", [](std::string& i) { std::memcpy(&i[kSections + 40], ".rsrc\0", 6); }, ""},
      {"time stamp", set32(kCoff + 4, 0x65000000), ""},
      {"no HIGH_ENTROPY_VA", set16(kDllCharacteristics, 0xC140), "HIGH_ENTROPY_VA"},
      {"no DYNAMIC_BASE", set16(kDllCharacteristics, 0xC120), "DYNAMIC_BASE"},
      {"no NX_COMPAT", set16(kDllCharacteristics, 0xC060), "NX_COMPAT"},
      {"no TERMINAL_SERVER_AWARE", set16(kDllCharacteristics, 0x4160), "TERMINAL_SERVER_AWARE"},
      {"no GUARD_CF", set16(kDllCharacteristics, 0x8160), "GUARD_CF"},
      {"relocations stripped", directory(kRelocationDirectory, 0, 0), "relocations"},
      {"empty relocation directory", set32(kRelocationDirectory + 4, 0), "relocations"},
      {"writable code", set32(kSections + 40 + 36, kCode | 0x80000000), ".text"},
      {"executable data", set32(kSections + 80 + 36, kData | 0x20000000), ".data"},
      {"certificate table short of the end", [](std::string& i) { sign(i), i.push_back('\0'); }, "certificate"},
      {"certificate table past the end", [](std::string& i) { sign(i), i.pop_back(); }, "certificate"},
      {"certificate table inside a section", directory(kSecurityDirectory, kText, kImageSize - kText), "certificate"},
      {"certificate table misaligned", [](std::string& i) { i.push_back('\0'), sign(i); }, "certificate"},
      {"certificate table of size 0 at the end", set32(kSecurityDirectory, kImageSize), "certificate"},
      {"certificate table offset wraps",
       [](std::string& i) { sign(i), put_directory(i, kSecurityDirectory, 0xFFFFFFF8, 0x18 + kImageSize + 8); },
       "certificate"},
      {"libstdc++ import", importing({"KERNEL32.dll", "libstdc++-6.dll"}), "libstdc++-6.dll"},
      {"winpthread import", importing({"libwinpthread-1.dll", "WS2_32.dll"}), "libwinpthread-1.dll"},
      {"ADVAPI32 import", importing({"KERNEL32.dll", "ADVAPI32.dll"}), "CRYPTBASE.dll"},
      {"C runtime import", importing({"KERNEL32.dll", "msvcrt.dll"}), "C runtime"},
      {"ntdll import", importing({"ntdll.dll"}), "not KERNEL32 or WS2_32"},
      {"import table in code", set32(kImportDirectory, 0x2100), "import table"},
      {"TLS directory", directory(kTlsDirectory, 0x1000, 0x28), "TLS"},
      {"no load configuration", set32(kLoadConfigDirectory, 0), "load configuration"},
      {"load configuration outside every section", set32(kLoadConfigDirectory, 0x9000), kUnreadable},
      {"load configuration past its section", set32(kIdata + kLoadConfig, 0x1000), kUnreadable},
      {"load configuration without GuardFlags", set32(kIdata + kLoadConfig, 0x90), "GuardFlags"},
      {"imports searched beside the program", set16(kIdata + kLoadConfig + 78, 0), "DependentLoadFlags"},
      {"cookie seeded in the file", set64(kDataSection, 0x1234), "SecurityCookie"},
      {"cookie in code", set64(kIdata + kLoadConfig + 88, kImageBase + 0x2000), "SecurityCookie"},
      {"cookie below the image", set64(kIdata + kLoadConfig + 88, 0x1000), "SecurityCookie"},
      {"cookie in a read-only section", set32(kSections + 80 + 36, 0x40000040), "SecurityCookie"},
      {"guard not instrumented", set32(kIdata + kLoadConfig + 144, 0x400), "GuardFlags"},
      {"not CET compatible", set32(kText + kDebug + 28, 0), "CET"},
      {"no debug directory", set32(kDebugDirectory, 0), "CET"},
      {"garbage after the import descriptors",
       [](std::string& i) { std::memset(&i[kIdata + 40], 0x11, kImageSize - kIdata - 40); }, kUnreadable},
      {"import table outside every section", set32(kImportDirectory, 0x9000), kUnreadable},
      // truncated files
      {"cut in the MZ header", cut_to(0x30), kUnreadable},
      {"cut in the COFF header", cut_to(kCoff + 10), kUnreadable},
      {"cut in the optional header", cut_to(kOptional + 100), kUnreadable},
      {"cut in the section table", cut_to(kSections + 50), kUnreadable},
      {"cut in the import descriptors", cut_to(kIdata + 30), kUnreadable},
      {"cut in a DLL name", cut_to(kIdata + kNames + 15), kUnreadable},
      {"cut in the last section", cut_to(kText + 0x100), kUnreadable},
  };
  for (const auto& c : cases) {
    const auto read = read_image(changed(c.change));
    if (!c.problem) {
      EXPECT_FALSE(read) << c.fault;
      EXPECT_FALSE(!read && read.error().empty()) << c.fault;
      continue;
    }
    ASSERT_TRUE(read) << c.fault << ": " << read.error();
    const auto problems = shipping_problems(*read);
    ASSERT_EQ(problems.size(), 1u) << c.fault << ": " << ::testing::PrintToString(problems);
    EXPECT_NE(problems[0].find(*c.problem), std::string::npos) << c.fault << ": " << problems[0];
  }
}

// DER, written out for the signatures below: a length below 0x80 in its one
// byte, a longer one in two after 0x82.
std::string tlv(std::uint8_t tag, std::string_view content) {
  std::string out(1, static_cast<char>(tag));
  if (content.size() >= 0x80) out += '\x82', out += static_cast<char>(content.size() >> 8);
  out += static_cast<char>(content.size() & 0xFF);
  return out.append(content);
}
std::string seq(std::string_view content = {}) { return tlv(0x30, content); }
const std::string kSignedDataOid = tlv(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02");
const std::string kIndirectDataOid = tlv(0x06, "\x2B\x06\x01\x04\x01\x82\x37\x02\x01\x04");
const std::string kRfc3161Oid = tlv(0x06, "\x2B\x06\x01\x04\x01\x82\x37\x03\x03\x01");
const std::string kCounterSignatureOid = tlv(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x06");
const std::string kNestedOid = tlv(0x06, "\x2B\x06\x01\x04\x01\x82\x37\x02\x04\x01");
const std::string kTstInfoOid = tlv(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x10\x01\x04");
const std::string kOne = tlv(0x02, "\x01");

std::string attribute(const std::string& oid, const std::string& value) { return seq(oid + tlv(0x31, value)); }
std::string signer(const std::string& unsigned_attributes = "") {
  return seq(kOne + seq() + seq() + tlv(0xA0, "") + seq() + tlv(0x04, "signature") +
             (unsigned_attributes.empty() ? "" : tlv(0xA1, unsigned_attributes)));
}
// SignedData in its ContentInfo: version 1, no digest algorithms, then `rest`.
std::string signed_data(const std::string& rest) {
  return seq(kSignedDataOid + tlv(0xA0, seq(kOne + tlv(0x31, "") + rest)));
}
std::string content_info(const std::string& content_type, const std::string& signers) {
  return signed_data(seq(content_type + tlv(0xA0, seq())) + tlv(0xA0, seq()) + tlv(0x31, signers));
}
std::string countersignature(std::string_view utc_time) {
  return seq(kOne + seq() + seq() +
             tlv(0xA0, attribute(tlv(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x05"), tlv(0x17, utc_time))) + seq() +
             tlv(0x04, "signature"));
}

// Authenticode content signed once, with the given unsigned attributes.
std::string authenticode(const std::string& unsigned_attributes = "") {
  return content_info(kIndirectDataOid, signer(unsigned_attributes));
}
// An RFC 3161 timestamp token whose TSTInfo gives `time`, as an unsigned attribute.
std::string rfc3161_stamp(std::string_view time) {
  const std::string tst = seq(kOne + tlv(0x06, "\x2A\x03") + seq() + tlv(0x02, "\x05") + tlv(0x18, time));
  const std::string content = seq(kTstInfoOid + tlv(0xA0, tlv(0x04, tst)));
  return attribute(kRfc3161Oid, signed_data(content + tlv(0x31, signer())));
}

// A WIN_CERTIFICATE of `blob` padded to 8 bytes, appended as the image's
// certificate table.
void sign_with(std::string& image, const std::string& blob, std::uint16_t revision = 0x0200, std::uint16_t type = 2) {
  std::string table = std::string(8, '\0') + blob;
  table.append((8 - table.size() % 8) % 8, '\0');
  put32(table, 0, static_cast<std::uint32_t>(table.size()));
  put16(table, 4, revision);
  put16(table, 6, type);
  sign(image, table);
}
Change signing(const std::string& blob) { return [=](std::string& i) { sign_with(i, blob); }; }
// Grows the table by `count` zero bytes (inside it, as the padding check refuses).
void grow_table(std::string& image, std::size_t count) {
  image.append(count, '\0');
  const auto size = static_cast<std::uint32_t>(image.size() - kImageSize);
  put32(image, kSecurityDirectory + 4, size);
  put32(image, kImageSize, size);
}

TEST(ReadSignature, HoldsTheTableToOneSignature) {
  const std::string plain = authenticode();
  const struct {
    std::string_view what;
    Change make;
    std::string_view outcome;  // the timestamp, "unsigned", "signed", or a text the refusal holds
  } cases[] = {
      {"unsigned", [](std::string&) {}, "unsigned"},
      {"signed", signing(plain), "signed"},
      {"RFC 3161 timestamp", signing(authenticode(rfc3161_stamp("20261209165743Z"))), "2026-12-09T16:57:43Z"},
      {"RFC 3161 timestamp with a fraction", signing(authenticode(rfc3161_stamp("20261209165743.25Z"))),
       "2026-12-09T16:57:43Z"},
      {"Authenticode countersignature",
       signing(authenticode(attribute(kCounterSignatureOid, countersignature("991231235959Z")))),
       "1999-12-31T23:59:59Z"},
      {"8 bytes of padding", [&](std::string& i) { sign_with(i, plain), grow_table(i, 8); }, "after the signature"},
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
      {"not Authenticode content", signing(content_info(kSignedDataOid, signer())), "Authenticode"},
      {"two signers", signing(content_info(kIndirectDataOid, signer() + signer())), "signers"},
      {"a nested signature", signing(authenticode(attribute(kNestedOid, plain))), "nested"},
      {"another unsigned attribute", signing(authenticode(attribute(tlv(0x06, "\x2A\x03"), kOne))), "not a timestamp"},
      {"two timestamps", signing(authenticode(rfc3161_stamp("20261209165743Z") + rfc3161_stamp("20261209165743Z"))),
       "more than one timestamp"},
      {"a timestamp without a time", signing(authenticode(rfc3161_stamp("2026Z"))), "cannot be read"},
  };
  for (const auto& c : cases) {
    const std::string image = changed(c.make);
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
  const std::string signed_host = changed(signing(authenticode()));
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
    Change change;
    std::string_view difference;
  } cases[] = {
      {"the same", [](std::string&) {}, ""},
      {"signed, with a checksum",
       [](std::string& i) { put32(i, kOptional + 64, 0x1234), sign_with(i, authenticode()); }, ""},
      {"a byte of code", [](std::string& i) { i[kText + 0x40] ^= 1; }, "differs from byte 0x440 on, in .text"},
      {"a byte of the headers", [](std::string& i) { i[kPe - 1] = 1; }, "differs from byte 0x7f on, in the headers"},
      {"a byte after the last section", [](std::string& i) { i += 'x'; }, "is 1 bytes longer"},
  };
  const std::string rebuilt = make_image();
  const auto rebuilt_facts = read_image(rebuilt);
  ASSERT_TRUE(rebuilt_facts);
  for (const auto& c : cases) {
    const std::string image = changed(c.change);
    const auto facts = read_image(image);
    ASSERT_TRUE(facts) << c.what << ": " << facts.error();
    EXPECT_EQ(covered_difference(image, *facts, rebuilt, *rebuilt_facts), c.difference) << c.what;
  }
}

}  // namespace
}  // namespace zur::pe
