// The installation folder: made with its missing parents, then held open
// for the rest of the run.
#pragma once

#include <string>
#include <string_view>

#include "../error.h"
#include "handles.h"

namespace zur::win {

// Who may use a folder that create_directory_all makes: what its parent
// hands down, or only its owner (private_folder_security).
enum class FolderAccess { Inherited, Private };

// Creates `folder` with every missing parent, outermost first, each one
// with `access`. An existing directory counts as created, also one that
// another process makes meanwhile; anything else in the way is an error, and so is a last component of blanks and dots only
// (ERROR_INVALID_NAME), for which nothing is made. The components are made
// literally, as the full-path service names them: "C:\Apps \Z" makes
// "Apps " and "Z" in it, never a stray "Apps".
IoStatus create_directory_all(std::u16string_view folder, FolderAccess access = FolderAccess::Inherited);

// The folder that create_directory_all(folder) makes, as a text to open:
// `folder` itself, unless the system drops trailing blanks or dots from its
// last component (loses_trailing_blanks), then the very text that
// create_directory_all made, in whatever form (relative, drive-relative,
// long, with trailing separators) `folder` was given.
std::u16string created_folder(std::u16string_view folder);

// A folder held open until the end of the run, shared for reading and
// writing but not for deletion: while it is held, nobody can rename or
// remove it (and Windows' own file systems refuse it for the folders above
// it too, though no API page promises that).
struct PinnedFolder {
  unique_file handle;
  std::u16string path;  // as the system names the handle, every link resolved
};

// Holds the directory that `folder` leads to (the current folder for an
// empty text). Fails when it is not a directory or when the system cannot
// tell where it is.
Result<PinnedFolder, IoError> pin_folder(std::u16string_view folder);

// The security of a private folder, in self-relative form: a protected DACL (nothing inherited from above) giving full control
// to the owner (OWNER RIGHTS), SYSTEM and Administrators, on the folder and
// everything below it, and read and execute to Users on the folder and the
// files directly in it (not on subfolders, such as the browser profile).
std::string_view private_folder_security();

}  // namespace zur::win
