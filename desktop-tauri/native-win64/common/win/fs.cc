#include "fs.h"

#include <algorithm>
#include <iterator>

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

// What the system shows of the file open as `file` (opened under `path`
// with FILE_FLAG_OPEN_REPARSE_POINT) and of the folder that holds it; what
// it does not show stays unknown (empty, zero).
NameFacts facts_of(HANDLE file, const std::u16string& path) {
  NameFacts facts;
  if (BY_HANDLE_FILE_INFORMATION info; GetFileInformationByHandle(file, &info)) {
    facts.attributes = info.dwFileAttributes;
    facts.links = info.nNumberOfLinks;
  }
  if (FILE_ATTRIBUTE_TAG_INFO tag; GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)) {
    facts.reparse_tag = tag.ReparseTag;
  }
  facts.final_path = final_path(file);
  std::u16string_view folder = folder_of(path);
  // "C:\" and "\\?\C:\" keep their separator; other folders open without it.
  if (folder.size() > 1 && folder[folder.size() - 2] != u':') folder.remove_suffix(1);
  const unique_file directory(CreateFileW(wide(std::u16string(folder)), 0,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (directory) facts.folder_final_path = final_path(directory.get().value);
  return facts;
}

// Opens what `path` leads to for writing, through a reparse point that is
// no link (a cloud placeholder is then filled in by its sync engine).
unique_file open_plain(const std::u16string& path) {
  return unique_file(CreateFileW(wide(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Both handles are open on one file: one volume, one file id.
bool same_file(HANDLE a, HANDLE b) {
  FILE_ID_INFO x, y;
  return GetFileInformationByHandleEx(a, FileIdInfo, &x, sizeof x) &&
         GetFileInformationByHandleEx(b, FileIdInfo, &y, sizeof y) &&
         x.VolumeSerialNumber == y.VolumeSerialNumber &&
         std::equal(std::begin(x.FileId.Identifier), std::end(x.FileId.Identifier), std::begin(y.FileId.Identifier));
}

// An existing file stays (its attributes and security); only its content
// goes.
IoStatus rewrite(HANDLE file, std::string_view bytes) {
  FILE_END_OF_FILE_INFO end{};
  if (!SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end)) return last_error();
  return write_all(file, bytes);
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

// The folder that create_directory_all makes of `folder`: `target` as the
// system is first given it, `resolved` the text whose components are made
// one by one and into which created_folder has the files written.
struct FolderToMake {
  std::u16string target, resolved;
};

FolderToMake folder_to_make(std::u16string_view folder) {
  // A last component that loses its trailing blanks or dots loses them only
  // when it ends the path: before a separator the full-path service keeps
  // them ("Z \" stays "Z \"), and the extended-length form would then make
  // "Z " literally. Without the separators every path form drops them alike.
  if (loses_trailing_blanks(folder)) {
    while (folder.back() == u'\\' || folder.back() == u'/') folder.remove_suffix(1);
  }
  FolderToMake made{system_path(folder), {}};
  // The parents are those of the folder the system resolves: in "C:\new\..\x"
  // "C:\new" is none, and making it would leave a stray folder behind.
  // Verbatim paths (the long and relative ones are resolved by now) name
  // their components literally.
  if (!is_verbatim_path(made.target)) made.resolved = full_path(made.target);
  if (made.resolved.empty()) made.resolved = made.target;
  return made;
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
  const FolderToMake made = folder_to_make(folder);
  if (is_directory(made.target)) return {};
  for (const std::u16string& step : folder_chain(made.resolved)) {
    if (CreateDirectoryW(wide(step), nullptr)) continue;
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

IoStatus write_file(std::u16string_view path, std::string_view bytes) {
  const std::u16string target = system_path(path);
  const std::u16string_view name = std::u16string_view(target).substr(folder_of(target).size());
  // Two looks: a file that another process creates between our open and our
  // create is opened the second time.
  for (int look = 0; look < 2; ++look) {
    const unique_file existing = open_existing(target);
    if (existing) {
      const NameKind kind = classify_name(facts_of(existing.get().value, target), name);
      if (kind == NameKind::Link) break;
      if (kind == NameKind::Ordinary) return rewrite(existing.get().value, bytes);
      // A reparse point that is no link is written as the file it stands
      // for, once a plain open shows that same file (a tag that redirects
      // after all opens another one, which then goes the way of a link).
      const unique_file plain = open_plain(target);
      if (!plain) return last_error();
      if (!same_file(existing.get().value, plain.get().value)) break;
      return rewrite(plain.get().value, bytes);
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

NameKind classify_name(const NameFacts& facts, std::u16string_view name) {
  const bool reparse_point = facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT;
  // Symbolic links, junctions and their kind name another place; a reparse
  // point whose kind is unknown may be one.
  if (reparse_point && (facts.reparse_tag == 0 || IsReparseTagNameSurrogate(facts.reparse_tag))) return NameKind::Link;
  if (facts.links != 1) return NameKind::Link;
  // Wine opens the file a Unix symbolic link points to even with
  // FILE_FLAG_OPEN_REPARSE_POINT and shows no reparse attribute, but names
  // that file. The folder is named the same way, so a folder that is itself
  // a junction or a link still matches. A name whose place the system does
  // not tell is not trusted: on Windows that is a folder swapped for a
  // junction into the object namespace, whose symbolic links lead anywhere.
  if (facts.final_path.empty() || facts.folder_final_path.empty()) return NameKind::Link;
  if (!same_path(facts.final_path, join_path(facts.folder_final_path, name))) return NameKind::Link;
  return reparse_point ? NameKind::ReparseFile : NameKind::Ordinary;
}

}  // namespace zur::win
