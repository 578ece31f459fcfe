#include "fs.h"

#include "../paths.h"
#include "../text.h"
#include "handles.h"
#include "output.h"
#include "system.h"

namespace zur::win {
namespace {

enum class Existence { Missing, File, Directory };

Existence query(std::u16string_view path) {
  if (path.empty()) return Existence::Missing;
  const std::u16string target = system_path(path);
  // No access rights asked: attributes only. Backup semantics open
  // directories too; without FILE_FLAG_OPEN_REPARSE_POINT links are followed.
  const unique_file file(CreateFileW(wide(target), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !GetFileInformationByHandle(file.get().value, &info)) return Existence::Missing;
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Existence::Directory : Existence::File;
}

// What the system's full-path service makes of `path`: absolute, with "."
// and ".." components resolved; empty when it fails.
std::u16string full_path(std::u16string_view path) {
  const std::u16string given(path);
  return call_with_buffer(
      [&](wchar_t* buffer, DWORD capacity) { return GetFullPathNameW(wide(given), capacity, buffer, nullptr); },
      given.size() + MAX_PATH);
}

// Opens what stands at `path` itself for writing: a symbolic link or a
// junction, not what it points to (FILE_FLAG_OPEN_REPARSE_POINT).
unique_file open_existing(const std::u16string& path) {
  return unique_file(CreateFileW(wide(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// "Fails if the file already exists", also when a link stands there.
unique_file create_new(const std::u16string& path) {
  return unique_file(CreateFileW(wide(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The system's name for what `handle` is open on; empty when it does not say.
std::u16string final_path(HANDLE handle) {
  return call_with_buffer([&](wchar_t* buffer, DWORD capacity) {
    return GetFinalPathNameByHandleW(handle, buffer, capacity, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  });
}

bool same_path(const std::u16string& a, const std::u16string& b) {
  return CompareStringOrdinal(wide(a), static_cast<int>(a.size()), wide(b), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// Whether the file at `path`, open as `file`, is reached through its folder
// under that name. Wine opens the file a Unix symbolic link points to even
// with FILE_FLAG_OPEN_REPARSE_POINT and shows no reparse attribute, but
// names that file. The folder is resolved the same way, so a folder that is
// itself a junction or a link still matches. A system that names neither
// tells nothing here.
bool reached_by_its_name(HANDLE file, const std::u16string& path) {
  std::u16string_view folder = folder_of(path);
  const std::u16string_view name = std::u16string_view(path).substr(folder.size());
  // "C:\" and "\\?\C:\" keep their separator; other folders open without it.
  if (folder.size() > 1 && folder[folder.size() - 2] != u':') folder.remove_suffix(1);
  const unique_file directory(CreateFileW(wide(std::u16string(folder)), 0,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const std::u16string file_name = final_path(file);
  const std::u16string folder_name = directory ? final_path(directory.get().value) : std::u16string();
  if (file_name.empty() || folder_name.empty()) return true;
  return same_path(file_name, join_path(folder_name, name));
}

// A name that leads to a file that other names or another place share.
bool is_link(HANDLE file, const std::u16string& path) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || info.nNumberOfLinks > 1) return true;
  return !reached_by_its_name(file, path);
}

// Puts a new file holding `bytes` at `path` in place of what stands there (a
// link, or a name that is there yet cannot be opened: Wine follows a
// symbolic link that leads nowhere). The file is written under a name of
// its own beside it, then renamed over the old name: a rename replaces the
// name itself, never what a link leads to. Removing the name first would
// not do: Wine deletes the file a symbolic link leads to.
IoStatus replace_name(const std::u16string& path, std::string_view bytes) {
  std::u16string fresh = path + u".";
  for (const char digit : decimal(GetCurrentProcessId())) fresh += char16_t(digit);
  fresh += u".new";
  IoStatus status;
  {
    // CREATE_NEW: a name planted here meanwhile is refused, not followed.
    const unique_file created = create_new(fresh);
    if (!created) return last_error();
    status = write_all(created.get().value, bytes);
  }
  if (status) {
    if (MoveFileExW(wide(fresh), wide(path), MOVEFILE_REPLACE_EXISTING)) return {};
    status = last_error();
  }
  static_cast<void>(DeleteFileW(wide(fresh)));
  return status;
}

}  // namespace

std::u16string system_path(std::u16string_view path) {
  if (classify_path(path) == PathForm::AsIs) return std::u16string(path);
  // Without a full path the system is given the text as it is, and reports
  // what is wrong with it.
  const std::u16string full = full_path(path);
  return full.empty() ? std::u16string(path) : extended_length_form(full);
}

bool path_exists(std::u16string_view path) { return query(path) != Existence::Missing; }

bool is_directory(std::u16string_view path) { return query(path) == Existence::Directory; }

IoStatus create_directory_all(std::u16string_view folder) {
  if (folder.empty()) return {};
  const std::u16string target = system_path(folder);
  if (is_directory(target)) return {};
  // The parents are those of the folder the system resolves: in "C:\new\..\x"
  // "C:\new" is none, and making it would leave a stray folder behind.
  // Verbatim paths (the long and relative ones are resolved by now) name
  // their components literally.
  std::u16string resolved = is_verbatim_path(target) ? std::u16string() : full_path(target);
  if (resolved.empty()) resolved = target;
  for (const std::u16string& step : folder_chain(resolved)) {
    if (CreateDirectoryW(wide(step), nullptr)) continue;
    const IoError error = last_error();
    if (is_directory(step)) continue;  // there already, or made meanwhile
    return error;
  }
  return {};
}

std::u16string created_folder(std::u16string_view folder) {
  if (!loses_trailing_blanks(folder)) return std::u16string(folder);
  // Without its final separators, as the last step of create_directory_all
  // hands it over: "Z \" would keep its blank as an inner component.
  while (folder.back() == u'\\' || folder.back() == u'/') folder.remove_suffix(1);
  const std::u16string resolved = full_path(folder);
  return resolved.empty() ? std::u16string(folder) : resolved;
}

IoStatus write_file(std::u16string_view path, std::string_view bytes) {
  const std::u16string target = system_path(path);
  // Two looks: a file that another process creates between our open and our
  // create is opened the second time.
  for (int look = 0; look < 2; ++look) {
    const unique_file existing = open_existing(target);
    if (existing) {
      if (is_link(existing.get().value, target)) break;
      // An ordinary file stays (its attributes and security); only its
      // content goes.
      FILE_END_OF_FILE_INFO end{};
      if (!SetFileInformationByHandle(existing.get().value, FileEndOfFileInfo, &end, sizeof end)) return last_error();
      return write_all(existing.get().value, bytes);
    }
    const IoError not_opened = last_error();
    if (not_opened.code != ERROR_FILE_NOT_FOUND) return not_opened;
    const unique_file created = create_new(target);
    if (created) return write_all(created.get().value, bytes);
    const IoError not_created = last_error();
    if (not_created.code != ERROR_FILE_EXISTS) return not_created;
  }
  return replace_name(target, bytes);
}

}  // namespace zur::win
