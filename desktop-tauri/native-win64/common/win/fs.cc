#include "fs.h"

#include "../paths.h"
#include "system.h"

namespace zur::win {
namespace {

enum class Existence { Missing, File, Directory };

Existence query(std::u16string_view path) {
  if (path.empty()) return Existence::Missing;
  // No access rights asked: attributes only. Backup semantics open
  // directories too; without FILE_FLAG_OPEN_REPARSE_POINT links are followed.
  const unique_file file = open_file(system_path(path), 0, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !GetFileInformationByHandle(file.get().value, &info)) return Existence::Missing;
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Existence::Directory : Existence::File;
}

}  // namespace

std::u16string system_path(std::u16string_view path) {
  if (classify_path(path) == PathForm::AsIs) return std::u16string(path);
  // Without a full path the system is given the text as it is, and reports
  // what is wrong with it.
  const std::u16string full = full_path(path);
  return full.empty() ? std::u16string(path) : extended_length_form(full);
}

std::u16string full_path(std::u16string_view path) {
  const std::u16string given(path);
  return call_with_buffer(
      [&](wchar_t* buffer, DWORD capacity) { return GetFullPathNameW(wide(given), capacity, buffer, nullptr); },
      given.size() + MAX_PATH);
}

bool path_exists(std::u16string_view path) { return query(path) != Existence::Missing; }

bool is_directory(std::u16string_view path) { return query(path) == Existence::Directory; }

unique_file open_file(const std::u16string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  // "If the CreateFile function opens the client side of a named pipe, the
  // dwFlagsAndAttributes parameter can also contain Security Quality of
  // Service information"; a file ignores it.
  return unique_file(CreateFileW(wide(path), access, share, nullptr, disposition,
                                 flags | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
}

std::u16string final_path(HANDLE handle, std::u16string_view same_volume) {
  std::u16string path = call_with_buffer([&](wchar_t* buffer, DWORD capacity) {
    return GetFinalPathNameByHandleW(handle, buffer, capacity, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  });
  // Windows answers a buffer too small with the length it needs. Wine reads
  // the name into one of MAX_PATH characters of its own and fails beyond
  // with ERROR_MORE_DATA: there the handle's path on its volume
  // (FileNameInfo, which Wine gives at any length) goes below the root of
  // `same_volume`'s volume.
  if (!path.empty() || GetLastError() != ERROR_MORE_DATA) return path;
  const std::u16string_view root = path_root(same_volume);
  std::u16string buffer(sizeof(FILE_NAME_INFO) / sizeof(char16_t) + 32768, u'\0');
  auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
  if (root.empty() || !root.ends_with(u'\\') ||
      !GetFileInformationByHandleEx(handle, FileNameInfo, info, static_cast<DWORD>(buffer.size() * sizeof(char16_t)))) {
    return {};
  }
  const std::u16string_view name = narrow(info->FileName, info->FileNameLength / sizeof(wchar_t));
  if (!name.starts_with(u'\\')) return {};
  return extended_length_form(std::u16string(root).append(name.substr(1)));
}

}  // namespace zur::win
