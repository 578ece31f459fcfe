// File-system operations, with paths handed to the system by the rules of
// classify_path so that folders beyond the classic length limit work.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "../error.h"

namespace zur::win {

// `path` as the system is given it: unchanged, or made absolute by the
// full-path service and put in the extended-length form.
std::u16string system_path(std::u16string_view path);

// A metadata query on `path` that follows links succeeds: a file or a
// directory exists there. An empty path exists nowhere.
bool path_exists(std::u16string_view path);

// As path_exists, and what exists is a directory.
bool is_directory(std::u16string_view path);

// Creates `folder` with every missing parent, outermost first. An existing
// directory counts as created, also one that another process makes
// meanwhile; anything else in the way is an error.
IoStatus create_directory_all(std::u16string_view folder);

// The folder that create_directory_all(folder) makes, as a text to join file
// names to: `folder` itself, unless the system drops trailing blanks or dots
// from its last component (loses_trailing_blanks), then the very text that
// create_directory_all made, in whatever form (relative, drive-relative,
// long, with trailing separators) `folder` was given.
std::u16string created_folder(std::u16string_view folder);

// Writes `bytes` as the whole content of the file at `path`: created when
// missing, cut to length zero when present, open to other readers, writers
// and deleters while it is written. What stands at `path` is looked at
// itself first (classify_name): a link is never written through: a new file
// is written beside it and renamed over that name.
IoStatus write_file(std::u16string_view path, std::string_view bytes);

// What the system shows of a name in a folder, opened itself (not what a
// link leads to) and its folder opened as a directory.
struct NameFacts {
  std::uint32_t attributes = 0;   // FILE_ATTRIBUTE_*
  std::uint32_t reparse_tag = 0;  // with FILE_ATTRIBUTE_REPARSE_POINT: which kind
  std::uint32_t links = 0;        // names the file has; 0 when unknown
  std::u16string final_path;         // the file's, as the system names it; empty when unknown
  std::u16string folder_final_path;  // the folder's; empty when it cannot be opened or named
};

enum class NameKind {
  Ordinary,     // a file of its own under that name: cut and written in place
  ReparseFile,  // a reparse point that is no link (a cloud placeholder, a
                // deduplicated or compressed file): written as an ordinary
                // file once opened normally
  Link,         // a symbolic link, a junction or their kind, a file with
                // other names, or a name whose place is other or unknown
};

// How write_file treats a name `name` (the last component) with `facts`.
NameKind classify_name(const NameFacts& facts, std::u16string_view name);

}  // namespace zur::win
