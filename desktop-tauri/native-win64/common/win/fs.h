// File-system operations, with paths handed to the system by the rules of
// classify_path so that folders beyond the classic length limit work.
#pragma once

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
// from its last component (loses_trailing_blanks), then the folder as the
// full-path service resolves it.
std::u16string created_folder(std::u16string_view folder);

// Writes `bytes` as the whole content of the file at `path`: created when
// missing, cut to length zero when present, open to other readers, writers
// and deleters while it is written. What stands at `path` is looked at
// itself first: a link (a reparse point of any kind, a file with more than
// one name, or a name that leads elsewhere) is never written through: a new
// file is written beside it and renamed over that name.
IoStatus write_file(std::u16string_view path, std::string_view bytes);

}  // namespace zur::win
