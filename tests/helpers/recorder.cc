// Test helper standing in for the programs the desktop host starts (node,
// the browsers, cmd's default handler): it appends one JSON line about how
// it was started to the file named by ZUR_TEST_RECORD.
//
// Line: its start record (helper_io.h) with "cwd", "stdout" (whether a
// standard output handle was inherited), "consoleWindow" and "env":{...}.
//
// As node.exe, it can also play a gateway that is slow to start: with
// ZUR_TEST_LISTEN_AFTER_MS set it listens on 127.0.0.1:4300 after that many
// milliseconds, for ZUR_TEST_LISTEN_FOR_MS (default 4000).

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "expected.h"
#include "helper_io.h"

namespace {

void listen_for_a_while(DWORD after_ms, DWORD for_ms) {
  Sleep(after_ms);
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{.sin_family = AF_INET, .sin_port = htons(zur::expected::kGatewayPort)};
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 16) != 0) return;
  Sleep(for_ms);
  closesocket(s);
}

}  // namespace

int wmain() {
  wchar_t cwd[32768];
  const DWORD cwd_length = GetCurrentDirectoryW(32768, cwd);
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);

  JsonObject env;
  for (const wchar_t* name : {L"LOCALAPPDATA", L"ZUR_GATEWAY_SCRIPT", L"ZUR_TEST_TAG"}) {
    bool present = false;
    const std::wstring value = setting(name, &present);
    if (present) env.add(name, json_string(value));
  }
  const JsonObject record = start_record()
                                .add(L"cwd", json_string(std::wstring(cwd, cwd_length)))
                                .add(L"stdout", json_bool(output && output != INVALID_HANDLE_VALUE))
                                .add(L"consoleWindow", json_bool(GetConsoleWindow() != nullptr))
                                .add(L"env", env.text());
  (void)append_record(record);  // without a record file there is nothing to report to

  // Only as node: the browsers and handlers it also stands in for inherit
  // the same environment and must not take the port.
  const std::wstring own = own_path();
  const bool as_node = own.size() >= 9 && lstrcmpiW(own.c_str() + own.size() - 9, L"\\node.exe") == 0;
  bool listen = false;
  const std::wstring after = setting(L"ZUR_TEST_LISTEN_AFTER_MS", &listen);
  if (listen && as_node) {
    const std::wstring duration = setting(L"ZUR_TEST_LISTEN_FOR_MS");
    listen_for_a_while(std::wcstoul(after.c_str(), nullptr, 10),
                       duration.empty() ? 4000 : std::wcstoul(duration.c_str(), nullptr, 10));
  }
  return 0;
}
