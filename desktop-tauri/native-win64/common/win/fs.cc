#include "fs.h"

#include "../paths.h"
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

IoStatus write_file(std::u16string_view path, std::string_view bytes) {
  const std::u16string target = system_path(path);
  const unique_file file(CreateFileW(wide(target), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  const IoError opened = last_error();  // ERROR_ALREADY_EXISTS: the file was there
  if (!file) return opened;
  const HANDLE handle = file.get().value;
  if (opened.code == ERROR_ALREADY_EXISTS) {
    // The file itself stays (its attributes, links and security); only its
    // content goes.
    FILE_END_OF_FILE_INFO end{};
    if (!SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end)) return last_error();
  }
  return write_all(handle, bytes);
}

}  // namespace zur::win
