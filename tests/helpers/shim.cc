// Test helper standing in for a program the desktop host starts (node.exe,
// msedge.exe, chrome.exe, any other). What it does depends on the variable
// ZUR_SHIM_<NAME>, NAME being its own file name without ".exe" in upper
// case (ZUR_SHIM_NODE, ZUR_SHIM_MSEDGE, ...; tests/lib/sandbox.mjs derives
// the browsers' names from the table of browser paths):
//
//   "profile"  appends its start record (helper_io.h) with "profile" and
//              "profileExisted":true|false to the file named by
//              ZUR_TEST_RECORD: the value of its last "--user-data-dir="
//              argument and whether that folder existed when it started.
//   otherwise  the value is a command line whose first element is a Linux
//              program; that program is started through Wine with the rest
//              of the value and then the shim's own arguments, each
//              argument that is an absolute Windows path ("C:\...")
//              translated to its Linux path. The shim does not wait for it.
//
// Exit status 0 when it did its part, 1 otherwise.

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "helper_io.h"

namespace {

std::vector<std::wstring> split(const wchar_t* line) {
  if (!line || !*line) return {};
  int count = 0;
  wchar_t** items = CommandLineToArgvW(line, &count);
  if (!items) return {};
  std::vector<std::wstring> out(items, items + count);
  LocalFree(items);
  return out;
}

std::wstring widen_utf8(const char* text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring out(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), n);
  return out;
}

// Wine's own translation of a Windows path into a Linux one.
std::wstring unix_path(const std::wstring& path) {
  using Translate = char*(CDECL*)(const wchar_t*);
  const auto translate = reinterpret_cast<Translate>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!translate) return path;
  char* result = translate(path.c_str());
  if (!result) return path;
  std::wstring out = widen_utf8(result);
  HeapFree(GetProcessHeap(), 0, result);
  return out;
}

bool is_windows_path(const std::wstring& text) {
  return text.size() >= 3 && iswalpha(text[0]) && text[1] == L':' && text[2] == L'\\';
}

int record_profile(const std::vector<std::wstring>& arguments) {
  static const std::wstring option = L"--user-data-dir=";
  std::optional<std::wstring> profile;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i].rfind(option, 0) == 0) profile = arguments[i].substr(option.size());
  }
  const DWORD attributes = profile ? GetFileAttributesW(profile->c_str()) : INVALID_FILE_ATTRIBUTES;
  const bool existed = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  const JsonObject record =
      start_record().add(L"profile", json_string(profile.value_or(L""))).add(L"profileExisted", json_bool(existed));
  return append_record(record) ? 0 : 1;
}

int start_linux_program(const std::wstring& command, const std::vector<std::wstring>& arguments) {
  const std::vector<std::wstring> prefix = split(command.c_str());
  if (prefix.empty() || prefix[0].empty() || prefix[0][0] != L'/') return 1;
  std::wstring application = L"Z:" + prefix[0];
  std::replace(application.begin(), application.end(), L'/', L'\\');
  std::wstring line;
  for (const auto& part : prefix) append_argument(line, part);
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    append_argument(line, is_windows_path(arguments[i]) ? unix_path(arguments[i]) : arguments[i]);
  }
  STARTUPINFOW startup{.cb = sizeof(STARTUPINFOW)};
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return 1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}

}  // namespace

int wmain() {
  const std::wstring exe = own_path();
  std::wstring stem = exe.substr(exe.find_last_of(L"\\/") + 1);
  if (const auto dot = stem.rfind(L'.'); dot != std::wstring::npos) stem.resize(dot);
  for (auto& c : stem) c = static_cast<wchar_t>(towupper(c));

  const std::wstring mode = setting(L"ZUR_SHIM_" + stem);
  const std::vector<std::wstring> arguments = split(GetCommandLineW());
  if (mode == L"profile") return record_profile(arguments);
  return start_linux_program(mode, arguments);
}
