#include "link_rule.h"

#include <algorithm>
#include <iterator>

#include "../paths.h"

namespace zur::win {

bool same_path(const std::u16string& a, const std::u16string& b) {
  return CompareStringOrdinal(wide(a), static_cast<int>(a.size()), wide(b), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

bool same_file_id(const FILE_ID_INFO& a, const FILE_ID_INFO& b) {
  const auto& id = a.FileId.Identifier;
  return std::any_of(std::begin(id), std::end(id), [](BYTE byte) { return byte != 0; }) &&
         a.VolumeSerialNumber == b.VolumeSerialNumber && std::equal(std::begin(id), std::end(id), b.FileId.Identifier);
}

NameKind classify_name(const NameFacts& facts, std::u16string_view name) {
  const bool reparse_point = facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT;
  // Symbolic links, junctions and their kind name another place; a reparse
  // point whose kind is unknown may be one. An app execution alias is no
  // name surrogate, yet it leads to a program elsewhere, which is started
  // in its place.
  if (reparse_point && (facts.reparse_tag == 0 || IsReparseTagNameSurrogate(facts.reparse_tag) ||
                        facts.reparse_tag == IO_REPARSE_TAG_APPEXECLINK)) {
    return NameKind::Link;
  }
  if (facts.links != 1) return NameKind::Link;
  // Wine opens the file a Unix symbolic link points to even with
  // FILE_FLAG_OPEN_REPARSE_POINT and shows no reparse attribute, but names
  // that file. A name whose place the system does not tell is not trusted:
  // on Windows that is a folder swapped for a junction into the object
  // namespace, whose symbolic links lead anywhere.
  if (facts.final_path.empty() || facts.folder_final_path.empty()) return NameKind::Link;
  if (!same_path(facts.final_path, join_path(facts.folder_final_path, name))) return NameKind::Link;
  return reparse_point ? NameKind::ReparseFile : NameKind::Ordinary;
}

}  // namespace zur::win
