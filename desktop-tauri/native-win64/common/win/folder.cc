#include "folder.h"

#include "../paths.h"
#include "fs.h"
#include "system.h"

namespace zur::win {
namespace {

// SECURITY_DESCRIPTOR_RELATIVE and its ACL, laid out as winnt.h defines
// them (little-endian; a SID's identifier authority is big-endian).
constexpr unsigned char kPrivateFolder[] = {
    // Revision 1; SE_SELF_RELATIVE | SE_DACL_PROTECTED | SE_DACL_PRESENT. No
    // owner, group or SACL: the creator's owner and group apply. The DACL
    // follows at offset 20.
    1, 0, 0x04, 0x90, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 20, 0, 0, 0,
    // ACL revision 2, 96 bytes, 4 ACEs.
    2, 0, 96, 0, 4, 0, 0, 0,
    // ACCESS_ALLOWED_ACE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, 20
    // bytes: FILE_ALL_ACCESS (0x1F01FF) to S-1-3-4 (OWNER RIGHTS), which also
    // takes the place of the owner's implicit right to change the DACL.
    0, 0x03, 20, 0, 0xFF, 0x01, 0x1F, 0, 1, 1, 0, 0, 0, 0, 0, 3, 4, 0, 0, 0,
    // The same to S-1-5-18 (SYSTEM).
    0, 0x03, 20, 0, 0xFF, 0x01, 0x1F, 0, 1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0,
    // The same, 24 bytes, to S-1-5-32-544 (Administrators).
    0, 0x03, 24, 0, 0xFF, 0x01, 0x1F, 0, 1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0,
    // OBJECT_INHERIT_ACE | NO_PROPAGATE_INHERIT_ACE: FILE_GENERIC_READ |
    // FILE_GENERIC_EXECUTE (0x1200A9) to S-1-5-32-545 (Users), on the folder
    // and its own files only.
    0, 0x05, 24, 0, 0xA9, 0, 0x12, 0, 1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x21, 0x02, 0, 0,
};
static_assert(sizeof kPrivateFolder == 20 + 96);

// The folder that create_directory_all makes of `folder`: `target` as the
// system is first given it, `resolved` the text that created_folder has
// the files written into, `steps` the form in which its components are
// made one by one.
struct FolderToMake {
  std::u16string target, resolved, steps;
};

FolderToMake folder_to_make(std::u16string_view folder) {
  // A last component that loses its trailing blanks or dots loses them only
  // when it ends the path: before a separator the full-path service keeps
  // them ("Z \" stays "Z \"), and the extended-length form would then make
  // "Z " literally. Without the separators every path form drops them alike.
  if (loses_trailing_blanks(folder)) {
    while (folder.back() == u'\\' || folder.back() == u'/') folder.remove_suffix(1);
  }
  FolderToMake made{system_path(folder), {}, {}};
  // The parents are those of the folder the system resolves: in "C:\new\..\x"
  // "C:\new" is none, and making it would leave a stray folder behind.
  // Verbatim paths (the long and relative ones are resolved by now) name
  // their components literally.
  if (!is_verbatim_path(made.target)) made.resolved = full_path(made.target);
  if (made.resolved.empty()) made.resolved = made.target;
  // Made in the extended-length form, every component is taken as it
  // stands: an inner "Apps " is made as "Apps ", which is what the path
  // names, where a plain "C:\Apps " would make "C:\Apps".
  made.steps = is_absolute_path(made.resolved) ? extended_length_form(made.resolved) : made.resolved;
  return made;
}

}  // namespace

IoStatus create_directory_all(std::u16string_view folder, FolderAccess access) {
  if (folder.empty()) return {};
  if (has_blank_last_name(folder)) return IoError::os(ERROR_INVALID_NAME);
  const FolderToMake made = folder_to_make(folder);
  if (is_directory(made.target)) return {};
  SECURITY_ATTRIBUTES private_folder{sizeof private_folder, const_cast<unsigned char*>(kPrivateFolder), FALSE};
  SECURITY_ATTRIBUTES* const security = access == FolderAccess::Private ? &private_folder : nullptr;
  for (const std::u16string& step : folder_chain(made.steps)) {
    if (CreateDirectoryW(wide(step), security)) continue;
    const IoError error = last_error();
    if (is_directory(step)) continue;  // there already, or made meanwhile
    return error;
  }
  return {};
}

std::u16string created_folder(std::u16string_view folder) {
  if (!loses_trailing_blanks(folder)) return std::u16string(folder);
  return folder_to_make(folder).resolved;
}

Result<PinnedFolder, IoError> pin_folder(std::u16string_view folder) {
  // Renaming or removing a folder asks for delete access, which the missing
  // FILE_SHARE_DELETE refuses to every other open while this one lasts. A
  // share mode binds others only when its own open asks for data or delete
  // access: listing (FILE_LIST_DIRECTORY is FILE_READ_DATA) is data access.
  // Links on the way are followed: the folder held is the one they lead to.
  const std::u16string target = system_path(folder.empty() ? u"." : folder);
  unique_file handle = open_file(target,
                                 FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (!handle) return last_error();
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle.get().value, &info)) return last_error();
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return IoError::os(ERROR_DIRECTORY);
  // A folder the system cannot name (a junction into the object namespace)
  // is not trusted.
  std::u16string path = final_path(handle.get().value, target);
  if (path.empty()) return IoError::os(ERROR_CANT_RESOLVE_FILENAME);
  return PinnedFolder{std::move(handle), std::move(path)};
}

std::string_view private_folder_security() {
  return {reinterpret_cast<const char*>(kPrivateFolder), sizeof kPrivateFolder};
}

}  // namespace zur::win
