// Reads the Authenticode signature of a PE image: its certificate table,
// held to one signature and nothing else, and the time of its timestamp.
#pragma once

#include <string>
#include <string_view>

#include "pe_image.h"

namespace zur::pe {

struct Signature {
  bool present = false;
  // The time a timestamp authority vouched for, as YYYY-MM-DDTHH:MM:SSZ;
  // empty when the signature is not timestamped.
  std::string timestamp;
};

// The signature of `image`, whose facts are `facts`, or what the image
// carries beyond its sections and one signature. A signed image's
// certificate table
// - starts after the data of every section (at most 7 zero bytes after the
//   last, to align it) and ends the file;
// - is one WIN_CERTIFICATE (revision 2, WIN_CERT_TYPE_PKCS_SIGNED_DATA)
//   whose length is the table's;
// - holds one DER PKCS#7 SignedData of Authenticode content with one
//   signer, followed by at most 7 zero bytes (the padding that aligns the
//   table: EnableCertPaddingCheck refuses anything more);
// - whose unsigned attributes, which anyone can change without the key, are
//   at most one timestamp (RFC 3161, or an Authenticode countersignature).
// An unsigned image ends with its last section's data.
Result<Signature, std::string> read_signature(std::string_view image, const ImageFacts& facts);

}  // namespace zur::pe
