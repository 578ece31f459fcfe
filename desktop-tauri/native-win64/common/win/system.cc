#include "system.h"

#include "../text.h"
#include "../utf.h"
#include "handles.h"

namespace zur::win {

std::optional<std::u16string> environment_variable(const std::u16string& name) {
  bool present = true;
  std::u16string value = call_with_buffer(
      [&](wchar_t* buffer, DWORD capacity) {
        SetLastError(ERROR_SUCCESS);  // an empty value also returns 0
        const DWORD length = GetEnvironmentVariableW(wide(name), buffer, capacity);
        present = length != 0 || GetLastError() == ERROR_SUCCESS;
        return length;
      },
      256);
  if (!present || !is_valid_utf16(value)) return std::nullopt;
  return value;
}

std::u16string executable_path() {
  return call_with_buffer([](wchar_t* buffer, DWORD capacity) { return GetModuleFileNameW(nullptr, buffer, capacity); });
}

std::u16string system_directory() { return call_with_buffer(GetSystemDirectoryW); }

std::u16string windows_directory() { return call_with_buffer(GetWindowsDirectoryW); }

std::string system_message(std::uint32_t code) {
  constexpr DWORD kFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  wchar_t* buffer = nullptr;
  // The user's default language first; any language the system has after.
  DWORD length = FormatMessageW(kFlags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  if (length == 0) {
    length = FormatMessageW(kFlags, nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  }
  const DWORD format_error = GetLastError();
  const unique_hlocal owner(buffer);
  if (length == 0) {
    return fill_template("OS Error {} (FormatMessageW() returned error {})", {decimal(code), decimal(format_error)});
  }
  return to_utf8_lossy(narrow(buffer, length));
}

}  // namespace zur::win
