#include "write.h"

#include <algorithm>

#include "../paths.h"
#include "../text.h"
#include "file_place.h"
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
