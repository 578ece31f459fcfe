#include "fs.h"

#include "../paths.h"
#include "handles.h"
#include "runtime.h"

namespace zur::win {
namespace {

enum class Existence { Missing, File, Directory };

Existence query(std::u16string_view path) {
  if (path.empty()) return Existence::Missing;
  const std::u16string target = system_path(path);
  // No access rights asked: attributes only. Backup semantics open
  // directories too; without FILE_FLAG_OPEN_REPARSE_POINT links are followed.
  const HANDLE handle = CreateFileW(wide(target), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Existence::Missing;
  const unique_handle owner(handle);
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return Existence::Missing;
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Existence::Directory : Existence::File;
}

// What the system's full-path service makes of `path`: absolute, with "."
// and ".." components resolved; nothing when it fails.
std::optional<std::u16string> full_path(std::u16string_view path) {
  const std::u16string given(path);
  std::u16string full(given.size() + MAX_PATH, u'\0');
  for (;;) {
    const DWORD length = GetFullPathNameW(wide(given), static_cast<DWORD>(full.size()), wide(full), nullptr);
    if (length == 0) return std::nullopt;
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);  // too small: `length` counts the terminating null too
  }
}

}  // namespace

std::u16string system_path(std::u16string_view path) {
  if (classify_path(path) == PathForm::AsIs) return std::u16string(path);
  // Without a full path the system is given the text as it is, and reports
  // what is wrong with it.
  const auto full = full_path(path);
  return full ? extended_length_form(*full) : std::u16string(path);
}

bool path_exists(std::u16string_view path) { return query(path) != Existence::Missing; }

bool is_directory(std::u16string_view path) { return query(path) == Existence::Directory; }

IoResult create_directory_all(std::u16string_view folder) {
  if (folder.empty()) return {};
  const std::u16string target = system_path(folder);
  if (is_directory(target)) return {};
  // The parents are those of the folder the system resolves: in "C:\new\..\x"
  // "C:\new" is none, and making it would leave a stray folder behind.
  // Verbatim paths (the long and relative ones are resolved by now) name
  // their components literally.
  const std::u16string resolved = is_verbatim_path(target) ? target : full_path(target).value_or(target);
  for (const std::u16string& step : folder_chain(resolved)) {
    if (CreateDirectoryW(wide(step), nullptr)) continue;
    const DWORD code = GetLastError();
    if (is_directory(step)) continue;  // there already, or made meanwhile
    return IoError::os(code);
  }
  return {};
}

IoResult write_file(std::u16string_view path, std::string_view bytes) {
  const std::u16string target = system_path(path);
  const HANDLE handle = CreateFileW(wide(target), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD opened = GetLastError();  // ERROR_ALREADY_EXISTS: the file was there
  if (handle == INVALID_HANDLE_VALUE) return IoError::os(opened);
  const unique_handle file(handle);
  if (opened == ERROR_ALREADY_EXISTS) {
    // The file itself stays (its attributes, links and security); only its
    // content goes.
    FILE_END_OF_FILE_INFO end{};
    if (!SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end)) {
      const DWORD code = GetLastError();
      return IoError::os(code);
    }
  }
  return write_all(handle, bytes);
}

}  // namespace zur::win
