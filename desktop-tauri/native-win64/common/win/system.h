// What the system tells about itself and this process: the last error, the
// environment, its own folders and file, and its texts for error codes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "../error.h"
#include "win32.h"

namespace zur::win {

// The calling thread's last error, to be taken on the line right after the
// call that failed, before anything else can change it.
inline IoError last_error() { return IoError::os(GetLastError()); }

// The text a sized W call writes: `call(buffer, capacity)` returns the length
// written when it fits, and otherwise the capacity it needs or (as
// GetModuleFileNameW does) the capacity it was given; the buffer grows until
// the text fits. A call that returns 0 gives an empty text, with the last
// error left for the caller.
template <typename Call>
std::u16string call_with_buffer(Call call, std::size_t capacity = MAX_PATH) {
  std::u16string buffer(capacity, u'\0');
  for (;;) {
    const std::size_t length = call(wide(buffer), static_cast<DWORD>(buffer.size()));
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(std::max(length, buffer.size() * 2));
  }
}

// From here on the process loads DLLs from the system folder only: what is
// loaded at run time, by us or inside WS2_32, never comes from the program's
// own folder, the current folder or PATH. SetDefaultDllDirectories is in
// Windows 8 and later, and in Windows 7 with KB2533623; it fails only for
// flags it does not know.
inline void load_dlls_from_system_folder_only() {
  static_cast<void>(SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32));
}

// From here on the process follows no junction that a user without
// administrator rights made (RedirectionGuard: "prevent the process from
// following filesystem junctions created by non-admin users and log the
// attempt"). A system without the policy refuses it, and nothing changes.
inline void follow_no_user_junctions() {
  PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY policy{};
  policy.EnforceRedirectionTrust = 1;
  static_cast<void>(SetProcessMitigationPolicy(ProcessRedirectionTrustPolicy, &policy, sizeof policy));
}

// The value of an environment variable; nothing when it is absent or not
// valid Unicode text.
std::optional<std::u16string> environment_variable(const std::u16string& name);

// The full path of this process's executable; empty if even that fails.
std::u16string executable_path();

// The system folder (GetSystemDirectoryW) and the Windows folder; empty
// when the system does not say.
std::u16string system_directory();
std::u16string windows_directory();

// The system's text for an error code, in the user's language, as UTF-8.
std::string system_message(std::uint32_t code);

}  // namespace zur::win
