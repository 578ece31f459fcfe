// Path rules of the Windows file system, as pure text operations.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zur {

// `folder` joined with `name`: a backslash goes between them unless the
// folder is empty, already ends in a backslash or slash, or is a bare drive
// such as "D:".
std::u16string join_path(std::u16string_view folder, std::u16string_view name);

// How a path is handed to the system.
enum class PathForm {
  AsIs,          // "\\?\" or "\??\" paths, and short drive-absolute, bare-drive or network paths
  NeedsFullPath  // relative, drive-relative or long: make absolute, then extended_length_form
};

// Paths of this many UTF-16 units or more always go in the extended-length form.
inline constexpr std::size_t kLongPathUnits = 247;

PathForm classify_path(std::u16string_view path);

// An absolute path (as the system's full-path service returns it) in the
// extended-length form: "\\?\" before a drive path, "\\?\UNC\" in place of
// the two leading backslashes of a network path. Paths already verbatim or
// naming a device ("\\.\") stay as they are.
std::u16string extended_length_form(std::u16string_view full_path);

// The folders that make up `path` below its root, outermost first and
// `path` itself last: "C:\a\b" gives "C:\a" and "C:\a\b". A drive root, a
// share root or an empty path gives none.
std::vector<std::u16string> folder_chain(std::u16string_view path);

// The part of `path` that names its volume: a drive root ("C:\", "\\?\C:\"),
// a share root with its separator, or a bare drive; empty for a relative
// path.
std::u16string_view path_root(std::u16string_view path);

// The folder part of a file path, up to and including its last separator;
// empty when there is none.
std::u16string_view folder_of(std::u16string_view path);

// The system drops trailing blanks and dots from the last component of a
// path it is given (not from inner ones, and not in a verbatim path): for
// "C:\Apps\Z " it makes "C:\Apps\Z", yet looks for "C:\Apps\Z \x" inside
// a folder "Z ". True when `folder`'s last component, before any trailing
// separators, ends in a blank or a dot and is not "." or "..".
bool loses_trailing_blanks(std::u16string_view folder);

// `folder`'s last component, before any trailing separators, is made of
// blanks and dots only and is not "." or "..": the system would drop all of
// it and name the parent instead ("C:\Apps\ " is "C:\Apps").
bool has_blank_last_name(std::u16string_view folder);

// A path in the form the system takes literally: "\\?\" or "\??\".
bool is_verbatim_path(std::u16string_view path);

// A path that names the same place whatever the current folder and drive:
// a drive letter, a colon and a separator, a network path ("\\server\share",
// "\\.\") or a verbatim one ("\\?\", "\??\"). "dir", ".", "\dir" and "D:dir" are
// not.
bool is_absolute_path(std::u16string_view path);

// The entries of a PATH-style list: separated by semicolons, where a part in
// double quotes may hold semicolons and the quotes themselves are dropped.
// Empty entries are kept, for the caller to judge.
std::vector<std::u16string> split_path_list(std::u16string_view list);

}  // namespace zur
