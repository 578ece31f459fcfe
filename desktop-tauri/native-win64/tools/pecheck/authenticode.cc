#include "authenticode.h"

#include <cstdint>
#include <cstring>
#include <optional>

namespace zur::pe {
namespace {

using namespace std::string_literals;

constexpr std::uint16_t kWinCertRevision2 = 0x0200;
constexpr std::uint16_t kWinCertTypePkcsSignedData = 0x0002;
constexpr std::size_t kAlignment = 8;

// DER tags.
constexpr std::uint8_t kInteger = 0x02, kOctetString = 0x04, kOid = 0x06, kUtcTime = 0x17, kGeneralizedTime = 0x18,
                       kSequence = 0x30, kSet = 0x31, kContext0 = 0xA0, kContext1 = 0xA1;

// Object identifiers, as DER writes their content.
constexpr std::string_view kSignedData("\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02", 9);           // 1.2.840.113549.1.7.2
constexpr std::string_view kSpcIndirectData("\x2B\x06\x01\x04\x01\x82\x37\x02\x01\x04", 10);  // 1.3.6.1.4.1.311.2.1.4
constexpr std::string_view kRfc3161Timestamp("\x2B\x06\x01\x04\x01\x82\x37\x03\x03\x01", 10); // 1.3.6.1.4.1.311.3.3.1
constexpr std::string_view kCounterSignature("\x2A\x86\x48\x86\xF7\x0D\x01\x09\x06", 9);      // 1.2.840.113549.1.9.6
constexpr std::string_view kSigningTime("\x2A\x86\x48\x86\xF7\x0D\x01\x09\x05", 9);           // 1.2.840.113549.1.9.5
constexpr std::string_view kTstInfo("\x2A\x86\x48\x86\xF7\x0D\x01\x09\x10\x01\x04", 11);     // 1.2.840.113549.1.9.16.1.4
constexpr std::string_view kNestedSignature("\x2B\x06\x01\x04\x01\x82\x37\x02\x04\x01", 10);  // 1.3.6.1.4.1.311.2.4.1

struct Element {
  std::uint8_t tag = 0;
  std::string_view content;
  std::size_t size = 0;  // tag, length and content
};

// The DER element at the start of `bytes`: a one-byte tag and a definite
// length of at most four bytes that the bytes hold.
std::optional<Element> element(std::string_view bytes) {
  if (bytes.size() < 2 || (bytes[0] & 0x1F) == 0x1F) return std::nullopt;
  const auto first = static_cast<std::uint8_t>(bytes[1]);
  std::size_t header = 2, length = first;
  if (first & 0x80) {
    const std::size_t count = first & 0x7F;
    if (count == 0 || count > 4 || bytes.size() < 2 + count) return std::nullopt;  // 0: BER's indefinite length
    length = 0;
    for (std::size_t i = 0; i < count; ++i) length = length << 8 | static_cast<std::uint8_t>(bytes[2 + i]);
    header += count;
  }
  if (length > bytes.size() - header) return std::nullopt;
  return Element{static_cast<std::uint8_t>(bytes[0]), bytes.substr(header, length), header + length};
}

// The elements of a constructed element's content, one after the other.
class Elements {
 public:
  explicit Elements(std::string_view content) : rest_(content) {}
  bool done() const { return rest_.empty(); }
  // The next element when it has `tag`; nothing (and nothing taken) when not.
  std::optional<Element> take(std::uint8_t tag) {
    const auto next = element(rest_);
    if (!next || next->tag != tag) return std::nullopt;
    rest_.remove_prefix(next->size);
    return next;
  }
  std::optional<Element> take_any() {
    const auto next = element(rest_);
    if (next) rest_.remove_prefix(next->size);
    return next;
  }

 private:
  std::string_view rest_;
};

// The content of a ContentInfo of type signedData: the SignedData sequence.
std::optional<Element> signed_data(const Element& content_info) {
  if (content_info.tag != kSequence) return std::nullopt;
  Elements info(content_info.content);
  const auto type = info.take(kOid);
  const auto wrapped = info.take(kContext0);
  if (!type || type->content != kSignedData || !wrapped || !info.done()) return std::nullopt;
  Elements inner(wrapped->content);
  const auto data = inner.take(kSequence);
  if (!data || !inner.done()) return std::nullopt;
  return data;
}

bool digits(std::string_view text) {
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// YYYY-MM-DDTHH:MM:SSZ of a GeneralizedTime (YYYYMMDDHHMMSS[.f]Z) or a
// UTCTime (YYMMDDHHMMSSZ, 19YY from 50 on); empty when it is neither.
std::string time_of(const Element& time) {
  std::string_view text = time.content;
  std::string year;
  if (time.tag == kUtcTime && text.size() >= 12 && digits(text.substr(0, 2))) {
    year = std::string(text[0] >= '5' ? "19" : "20") + std::string(text.substr(0, 2));
    text.remove_prefix(2);
  } else if (time.tag == kGeneralizedTime && text.size() >= 14 && digits(text.substr(0, 4))) {
    year = text.substr(0, 4);
    text.remove_prefix(4);
  } else {
    return "";
  }
  if (!digits(text.substr(0, 10)) || text.back() != 'Z') return "";
  const auto part = [&](std::size_t at) { return std::string(text.substr(at, 2)); };
  return year + "-" + part(0) + "-" + part(2) + "T" + part(4) + ":" + part(6) + ":" + part(8) + "Z";
}

// The genTime of an RFC 3161 timestamp token (a ContentInfo of SignedData
// whose content is a TSTInfo).
std::string rfc3161_time(const Element& token) {
  const auto data = signed_data(token);
  if (!data) return "";
  Elements fields(data->content);
  if (!fields.take(kInteger) || !fields.take(kSet)) return "";
  const auto encapsulated = fields.take(kSequence);
  if (!encapsulated) return "";
  Elements content(encapsulated->content);
  const auto type = content.take(kOid);
  const auto wrapped = content.take(kContext0);
  if (!type || type->content != kTstInfo || !wrapped) return "";
  Elements octets(wrapped->content);
  const auto tst_der = octets.take(kOctetString);
  const auto tst = tst_der ? element(tst_der->content) : std::nullopt;
  if (!tst || tst->tag != kSequence) return "";
  // TSTInfo: version, policy, messageImprint, serialNumber, genTime.
  Elements info(tst->content);
  if (!info.take(kInteger) || !info.take(kOid) || !info.take(kSequence) || !info.take(kInteger)) return "";
  const auto time = info.take(kGeneralizedTime);
  return time ? time_of(*time) : "";
}

// The signingTime among the signed attributes of an Authenticode
// countersignature (a SignerInfo).
std::string countersignature_time(const Element& signer) {
  if (signer.tag != kSequence) return "";
  Elements fields(signer.content);
  if (!fields.take(kInteger) || !fields.take_any() || !fields.take(kSequence)) return "";
  const auto attributes = fields.take(kContext0);
  if (!attributes) return "";
  for (Elements list(attributes->content); !list.done();) {
    const auto attribute = list.take(kSequence);
    if (!attribute) return "";
    Elements parts(attribute->content);
    const auto type = parts.take(kOid);
    const auto values = parts.take(kSet);
    if (!type || !values || type->content != kSigningTime) continue;
    const auto time = element(values->content);
    return time ? time_of(*time) : "";
  }
  return "";
}

// The timestamp among a signer's unsigned attributes `attributes` (their
// [1] element), or what else they hold.
Result<Signature, std::string> timestamp_of(const Element& attributes) {
  Signature signature{true, ""};
  for (Elements list(attributes.content); !list.done();) {
    const auto attribute = list.take(kSequence);
    if (!attribute) return "has a signature whose unsigned attributes are not DER"s;
    Elements parts(attribute->content);
    const auto type = parts.take(kOid);
    const auto values = parts.take(kSet);
    if (!type || !values || !parts.done()) return "has a signature whose unsigned attributes are not DER"s;
    if (type->content == kNestedSignature) return "has a second signature nested in its signature"s;
    if (type->content != kRfc3161Timestamp && type->content != kCounterSignature) {
      return "has an unsigned attribute in its signature that is not a timestamp"s;
    }
    Elements value_list(values->content);
    const auto value = value_list.take_any();
    if (!signature.timestamp.empty() || !value || !value_list.done()) return "has more than one timestamp"s;
    signature.timestamp = type->content == kRfc3161Timestamp ? rfc3161_time(*value) : countersignature_time(*value);
    if (signature.timestamp.empty()) return "has a timestamp whose time cannot be read"s;
  }
  return signature;
}

// The signature that the DER `bytes` hold: a ContentInfo of SignedData with
// Authenticode content and one signer.
Result<Signature, std::string> pkcs7_signature(const Element& content_info) {
  const auto data = signed_data(content_info);
  if (!data) return "has a certificate table that holds no PKCS#7 SignedData"s;
  Elements fields(data->content);
  if (!fields.take(kInteger) || !fields.take(kSet)) return "has a SignedData that is not DER"s;
  const auto encapsulated = fields.take(kSequence);
  const auto type = encapsulated ? Elements(encapsulated->content).take(kOid) : std::nullopt;
  if (!type || type->content != kSpcIndirectData) return "has a SignedData whose content is not Authenticode's"s;
  static_cast<void>(fields.take(kContext0));  // certificates
  static_cast<void>(fields.take(kContext1));  // revocation lists
  const auto signers = fields.take(kSet);
  if (!signers || !fields.done()) return "has a SignedData that is not DER"s;
  Elements signer_list(signers->content);
  const auto signer = signer_list.take(kSequence);
  if (!signer || !signer_list.done()) return "has a signature of more or fewer signers than one"s;
  // SignerInfo: version, signer, digest algorithm, [0] signed attributes,
  // signature algorithm, signature, [1] unsigned attributes.
  Elements info(signer->content);
  if (!info.take(kInteger) || !info.take_any() || !info.take(kSequence)) return "has a SignerInfo that is not DER"s;
  static_cast<void>(info.take(kContext0));
  if (!info.take(kSequence) || !info.take(kOctetString)) return "has a SignerInfo that is not DER"s;
  const auto unsigned_attributes = info.take(kContext1);
  if (!info.done()) return "has a SignerInfo that is not DER"s;
  if (!unsigned_attributes) return Signature{true, ""};
  return timestamp_of(*unsigned_attributes);
}

}  // namespace

Result<Signature, std::string> read_signature(std::string_view image, const ImageFacts& facts) {
  const std::size_t data_end = std::min(facts.data_end, image.size());
  if (facts.certificate_offset == 0 && facts.certificate_size == 0) {
    if (image.size() > data_end) return "has " + std::to_string(image.size() - data_end) + " bytes after its last section";
    return Signature{};
  }
  const std::uint64_t offset = facts.certificate_offset, end = offset + facts.certificate_size;
  if (offset < data_end) return "has section data at or after its certificate table"s;
  if (end > image.size()) return "has a certificate table that runs past the end of the file"s;
  if (end < image.size()) return "has " + std::to_string(image.size() - end) + " bytes after its certificate table";
  const std::string_view gap = image.substr(data_end, offset - data_end);
  if (offset % kAlignment != 0 || gap.size() >= kAlignment || gap.find_first_not_of('\0') != std::string_view::npos) {
    return "has " + std::to_string(gap.size()) + " bytes between its last section and its certificate table";
  }

  const std::string_view table = image.substr(offset, facts.certificate_size);
  if (table.size() < 8) return "has a certificate table too short for a WIN_CERTIFICATE"s;
  std::uint32_t length;
  std::uint16_t revision, type;
  std::memcpy(&length, table.data(), 4);
  std::memcpy(&revision, table.data() + 4, 2);
  std::memcpy(&type, table.data() + 6, 2);
  if (length != table.size()) {
    return "has a WIN_CERTIFICATE of " + std::to_string(length) + " bytes in a certificate table of " +
           std::to_string(table.size());
  }
  if (revision != kWinCertRevision2) return "has a WIN_CERTIFICATE of another revision than 2"s;
  if (type != kWinCertTypePkcsSignedData) return "has a WIN_CERTIFICATE that is not PKCS_SIGNED_DATA"s;

  const std::string_view blob = table.substr(8);
  const auto content_info = element(blob);
  if (!content_info) return "has a certificate table that holds no PKCS#7 SignedData"s;
  const std::string_view padding = blob.substr(content_info->size);
  if (padding.size() >= kAlignment) {
    return "has " + std::to_string(padding.size()) + " bytes in its certificate table after the signature";
  }
  if (padding.find_first_not_of('\0') != std::string_view::npos) {
    return "has padding in its certificate table that is not zero"s;
  }
  return pkcs7_signature(*content_info);
}

}  // namespace zur::pe
