#include "write.h"

#include <algorithm>
#include <vector>

#include "../paths.h"
#include "../text.h"
#include "fs.h"
#include "link_rule.h"
#include "output.h"
#include "system.h"

namespace zur::win {
namespace {

// What stands at `path` itself, for its facts only: a symbolic link or a
// junction, not what it points to (FILE_FLAG_OPEN_REPARSE_POINT).
unique_file open_name(const std::u16string& path) {
  return open_file(path, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
}

// "Fails if the file already exists", also when a link stands there. Delete
// access lets a file that lands elsewhere be removed through its handle.
unique_file create_new(const std::u16string& path) {
  return open_file(path, GENERIC_WRITE | DELETE, kShareAll, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
}

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

// The file `file` is open on is `name` in the folder held.
bool inside(HANDLE file, const PinnedFolder& folder, std::u16string_view name) {
  const std::u16string path = final_path(file, folder.path);
  return !path.empty() && same_path(path, join_path(folder.path, name));
}

// Both handles are open on one file (same_file_id).
bool same_file(HANDLE a, HANDLE b) {
  FILE_ID_INFO x, y;
  return GetFileInformationByHandleEx(a, FileIdInfo, &x, sizeof x) &&
         GetFileInformationByHandleEx(b, FileIdInfo, &y, sizeof y) && same_file_id(x, y);
}

// Removes the file open as `file` through its handle, whatever its name
// leads to by now.
void discard(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  static_cast<void>(SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition));
}

// Renames the file open as `file` to `name` in the folder held, replacing
// what stands there: the name itself, never what a link leads to.
IoStatus rename_to(HANDLE file, const std::u16string& target, HANDLE root) {
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(char16_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = root;
  rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(char16_t));
  std::copy(target.begin(), target.end(), reinterpret_cast<char16_t*>(rename->FileName));
  if (!SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) return last_error();
  return {};
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

// An existing file stays (its attributes and security); only its content
// goes.
IoStatus rewrite(HANDLE file, std::string_view bytes) {
  FILE_END_OF_FILE_INFO end{};
  if (!SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end)) return last_error();
  return write_all(file, bytes);
}

// Puts a new file holding `bytes` under `name` in place of what stands
// there (a link, or a name that is there yet cannot be opened: Wine follows
// a symbolic link that leads nowhere). The file is written under a name of
// its own beside it (CREATE_NEW: a name planted there meanwhile is refused,
// not followed), then renamed over the old name. Removing the name first
// would not do: Wine deletes the file a symbolic link leads to.
IoStatus replace_name(const PinnedFolder& folder, std::u16string_view name, std::string_view bytes) {
  std::u16string fresh(name);
  fresh += u".";
  for (const char digit : decimal(GetCurrentProcessId())) fresh += char16_t(digit);
  fresh += u".new";
  const unique_file created = create_new(join_path(folder.path, fresh));
  if (!created) return last_error();
  const HANDLE file = created.get().value;
  IoStatus status = IoError::os(ERROR_CANT_RESOLVE_FILENAME);
  if (inside(file, folder, fresh) && (status = write_all(file, bytes)) && (status = rename_into(file, folder, name))) {
    return {};
  }
  discard(file);
  return status;
}

}  // namespace

unique_file open_for_writing(const std::u16string& path) {
  return open_file(path, GENERIC_WRITE, kShareAll, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
}

IoStatus write_file(const PinnedFolder& folder, std::u16string_view name, std::string_view bytes,
                    unique_file (*open)(const std::u16string&)) {
  const std::u16string path = join_path(folder.path, name);
  // Two looks: a file that another process creates between our open and our
  // create is opened the second time.
  for (int look = 0; look < 2; ++look) {
    if (const unique_file existing = open_name(path)) {
      if (classify_name(facts_of(existing.get().value, folder), name) == NameKind::Link) break;
      // Written through a plain open, so that a placeholder shown to us as
      // an ordinary file is still filled in by its filter, once that open
      // shows the very file classified (a name swapped meanwhile, or a tag
      // that redirects after all, opens another one, which then goes the
      // way of a link).
      const unique_file plain = open(path);
      if (!plain) return last_error();
      if (!same_file(existing.get().value, plain.get().value)) break;
      return rewrite(plain.get().value, bytes);
    }
    const IoError not_opened = last_error();
    if (not_opened.code != ERROR_FILE_NOT_FOUND) return not_opened;
    if (const unique_file created = create_new(path)) {
      if (inside(created.get().value, folder, name)) return write_all(created.get().value, bytes);
      discard(created.get().value);
      return IoError::os(ERROR_CANT_RESOLVE_FILENAME);
    }
    const IoError not_created = last_error();
    if (not_created.code != ERROR_FILE_EXISTS) return not_created;
  }
  return replace_name(folder, name, bytes);
}

}  // namespace zur::win
