// The link rule: which names in the installation folder may be cut and
// written in place, and which are links whose place must never be written
// through.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "win32.h"

namespace zur::win {

// What the system shows of a name in a folder, opened itself (not what a
// link leads to), and of the folder that holds it.
struct NameFacts {
  std::uint32_t attributes = 0;   // FILE_ATTRIBUTE_*
  std::uint32_t reparse_tag = 0;  // with FILE_ATTRIBUTE_REPARSE_POINT: which kind
  std::uint32_t links = 0;        // names the file has; 0 when unknown
  std::u16string final_path;         // the file's, as the system names it; empty when unknown
  std::u16string folder_final_path;  // the folder's; empty when it cannot be named
};

enum class NameKind {
  Ordinary,     // a file of its own under that name: cut and written in place
  ReparseFile,  // a reparse point that is no link (a cloud placeholder, a
                // deduplicated or compressed file): written as an ordinary
                // file once opened normally
  Link,         // a symbolic link, a junction, an app execution alias or
                // their kind, a file with other names, or a name whose
                // place is other or unknown
};

// How a name `name` (the last component) with `facts` is written.
NameKind classify_name(const NameFacts& facts, std::u16string_view name);

// Two file ids, as FileIdInfo gives them, name one file: one volume, one
// file id. "For file systems that do not support a 128-bit file ID, this
// field must be set to 0, and must be ignored": a zero id tells nothing, so
// it matches nothing.
bool same_file_id(const FILE_ID_INFO& a, const FILE_ID_INFO& b);

// Two paths that the system takes for one (ordinal, ignoring case).
bool same_path(const std::u16string& a, const std::u16string& b);

}  // namespace zur::win
