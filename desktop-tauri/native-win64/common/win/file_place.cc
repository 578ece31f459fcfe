#include "file_place.h"

#include <algorithm>

#include "../paths.h"
#include "fs.h"
#include "link_rule.h"
#include "system.h"

namespace zur::win {
namespace {

// Renames the file open as `file` to `target`, relative to `root` when
// that is a folder's handle.
IoStatus rename_to(HANDLE file, const std::u16string& target, HANDLE root) {
  // Room for the structure and the name, zeroed (so the name ends in a NUL),
  // on the heap, which aligns it for the structure's handle.
  std::u16string buffer(sizeof(FILE_RENAME_INFO) / sizeof(char16_t) + target.size(), u'\0');
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = root;
  rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(char16_t));
  std::copy(target.begin(), target.end(), reinterpret_cast<char16_t*>(rename->FileName));
  if (!SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size() * sizeof(char16_t)))) {
    return last_error();
  }
  return {};
}

}  // namespace

NameFacts facts_of(HANDLE file, const PinnedFolder& folder) {
  NameFacts facts;
  if (BY_HANDLE_FILE_INFORMATION info; GetFileInformationByHandle(file, &info)) {
    facts.attributes = info.dwFileAttributes;
    facts.links = info.nNumberOfLinks;
  }
  if (FILE_ATTRIBUTE_TAG_INFO tag; GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)) {
    facts.reparse_tag = tag.ReparseTag;
  }
  facts.final_path = final_path(file, folder.path);
  facts.folder_final_path = folder.path;
  return facts;
}

bool inside(HANDLE file, const PinnedFolder& folder, std::u16string_view name) {
  const std::u16string path = final_path(file, folder.path);
  return !path.empty() && same_path(path, join_path(folder.path, name));
}

bool same_file(HANDLE a, HANDLE b) {
  FILE_ID_INFO x, y;
  return GetFileInformationByHandleEx(a, FileIdInfo, &x, sizeof x) &&
         GetFileInformationByHandleEx(b, FileIdInfo, &y, sizeof y) && same_file_id(x, y);
}

void discard(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  static_cast<void>(SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition));
}

IoStatus rename_into(HANDLE file, const PinnedFolder& folder, std::u16string_view name) {
  // "If FileName specifies a relative name, this field can be a handle to
  // the directory relative to which the new name is resolved."
  IoStatus status = rename_to(file, std::u16string(name), folder.handle.get().value);
  // Wine makes a relative name absolute against the current folder, and then
  // refuses the pair: there the folder's full name goes, and the check below
  // tells whether it led into the folder held.
  if (!status && status.error().code == ERROR_INVALID_PARAMETER) {
    status = rename_to(file, join_path(folder.path, name), nullptr);
  }
  if (status && !inside(file, folder, name)) return IoError::os(ERROR_CANT_RESOLVE_FILENAME);
  return status;
}

}  // namespace zur::win
