// Test helper standing in for the programs the desktop host starts (node,
// the browsers, cmd's default handler): it appends one JSON line about how
// it was started to the file named by ZUR_TEST_RECORD.
//
// Line: {"exe":..., "cmd":..., "cwd":..., "stdout":..., "env":{...}}
// where "cmd" is the exact command line (every code unit outside printable
// ASCII as \uXXXX, so unpaired surrogates survive) and "stdout" tells
// whether a standard output handle was inherited.
//
// As node.exe, it can also play a gateway that is slow to start: with
// ZUR_TEST_LISTEN_AFTER_MS set it listens on 127.0.0.1:4300 after that many
// milliseconds, for ZUR_TEST_LISTEN_FOR_MS (default 4000).

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "json_text.h"

namespace {

std::wstring variable(const wchar_t* name, bool* present = nullptr) {
  wchar_t buffer[32768];
  SetLastError(0);
  const DWORD n = GetEnvironmentVariableW(name, buffer, 32768);
  const bool found = n != 0 || GetLastError() == 0;
  if (present) *present = found;
  return found && n < 32768 ? std::wstring(buffer, n) : std::wstring();
}

void append_record(const std::string& line) {
  const std::wstring path = variable(L"ZUR_TEST_RECORD");
  if (path.empty()) return;
  const HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

void listen_for_a_while(DWORD after_ms, DWORD for_ms) {
  Sleep(after_ms);
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(4300);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 16) != 0) return;
  Sleep(for_ms);
  closesocket(s);
}

}  // namespace

int wmain() {
  wchar_t exe[32768];
  const DWORD exe_length = GetModuleFileNameW(nullptr, exe, 32768);
  wchar_t cwd[32768];
  const DWORD cwd_length = GetCurrentDirectoryW(32768, cwd);
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);

  std::string line = "{\"exe\":" + json_string(std::wstring(exe, exe_length)) +
                     ",\"cmd\":" + json_string(GetCommandLineW()) +
                     ",\"cwd\":" + json_string(std::wstring(cwd, cwd_length)) +
                     ",\"stdout\":" + (output && output != INVALID_HANDLE_VALUE ? "true" : "false") +
                     ",\"consoleWindow\":" + (GetConsoleWindow() ? "true" : "false") +
                     ",\"consoleCP\":" + std::to_string(GetConsoleCP()) + ",\"env\":{";
  const wchar_t* names[] = {L"LOCALAPPDATA", L"ZUR_GATEWAY_SCRIPT", L"ZUR_TEST_TAG"};
  bool first = true;
  for (const wchar_t* name : names) {
    bool present = false;
    const std::wstring value = variable(name, &present);
    if (!present) continue;
    line += (first ? "" : ",") + json_string(name) + ":" + json_string(value);
    first = false;
  }
  line += "}}\n";
  append_record(line);

  // Only as node: the browsers and handlers it also stands in for inherit
  // the same environment and must not take the port.
  const std::wstring own(exe, exe_length);
  const bool as_node = own.size() >= 9 && lstrcmpiW(own.c_str() + own.size() - 9, L"\\node.exe") == 0;
  bool listen = false;
  const std::wstring after = variable(L"ZUR_TEST_LISTEN_AFTER_MS", &listen);
  if (listen && as_node) {
    const std::wstring duration = variable(L"ZUR_TEST_LISTEN_FOR_MS");
    listen_for_a_while(std::wcstoul(after.c_str(), nullptr, 10),
                       duration.empty() ? 4000 : std::wcstoul(duration.c_str(), nullptr, 10));
  }
  return 0;
}
