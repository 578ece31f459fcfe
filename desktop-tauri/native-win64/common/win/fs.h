// File-system operations, with paths handed to the system by the rules of
// classify_path so that folders beyond the classic length limit work.
#pragma once

#include <string>
#include <string_view>

#include "handles.h"

namespace zur::win {

// `path` as the system is given it: unchanged, or made absolute by the
// full-path service and put in the extended-length form.
std::u16string system_path(std::u16string_view path);

// What the system's full-path service makes of `path`: absolute, with "."
// and ".." components resolved and trailing blanks and dots dropped from
// the last component; empty when it fails.
std::u16string full_path(std::u16string_view path);

// A metadata query on `path` that follows links succeeds: a file or a
// directory exists there. An empty path exists nowhere.
bool path_exists(std::u16string_view path);

// As path_exists, and what exists is a directory.
bool is_directory(std::u16string_view path);

// Every open of both programs: CreateFileW, shared as `share` says, with the
// quality of service of an identification (a name that leads to a pipe
// lets its server learn who we are, never act as us).
unique_file open_file(const std::u16string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags);

// Shared for reading, writing and deletion.
inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The system's name for what `handle` is open on, every link resolved;
// empty when it does not say. `same_volume` is a path on the same volume.
std::u16string final_path(HANDLE handle, std::u16string_view same_volume);

}  // namespace zur::win
