// Test helper: starts one program with an exact UTF-16 command line and
// environment, and records what became of it.
//
//   launch.exe REQUEST
//
// REQUEST is a UTF-16LE file of key/value pairs, each key and value ended by
// U+0000 (so values may hold any other code unit, unpaired surrogates too):
//   app     application path given to CreateProcessW (optional)
//   cmd     the command line, exactly
//   cwd     working folder (optional)
//   set     NAME=VALUE, set in the child's environment (repeatable)
//   unset   NAME, removed from the child's environment (repeatable)
//   stdout  file (default) | none | closed (a pipe whose reader is gone)
//   hold    a file to keep open without write sharing while the child runs
//   out     folder for the results
//   timeout milliseconds before the child is killed (default 60000)
// Results in `out`: stdout.bin, stderr.bin and result.txt with the lines
// "exit=N" (or "start_error=N" or "timeout") and "elapsed_ms=N"; an empty
// file "starting" is made just before the child is created, so that a run
// without it provably never started the child. When the launcher's own
// environment names a file in ZUR_LAUNCH_THREAD_FILE, the id of the child's
// first thread is written there in decimal.

#include <windows.h>

#include <cwctype>
#include <string>
#include <vector>

namespace {

struct Request {
  std::wstring app, cmd, cwd, stdout_mode = L"file", hold, out;
  std::vector<std::wstring> set, unset;
  DWORD timeout = 60000;
};

struct Handle {
  HANDLE h = nullptr;
  Handle() = default;
  explicit Handle(HANDLE value) : h(value == INVALID_HANDLE_VALUE ? nullptr : value) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (h) CloseHandle(h);
  }
};

[[noreturn]] void die(const wchar_t* what) {
  const DWORD code = GetLastError();
  wchar_t text[512];
  wsprintfW(text, L"launch: %s (error %lu)\n", what, code);
  DWORD written;
  WriteConsoleW(GetStdHandle(STD_ERROR_HANDLE), text, lstrlenW(text), &written, nullptr) ||
      WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, lstrlenW(text) * 2, &written, nullptr);
  ExitProcess(2);
}

std::wstring read_request_text(const wchar_t* path) {
  Handle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.h) die(L"cannot open the request");
  std::string bytes;
  char buffer[65536];
  for (DWORD n = 0; ReadFile(file.h, buffer, sizeof buffer, &n, nullptr) && n > 0;) bytes.append(buffer, n);
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

Request parse_request(const std::wstring& text) {
  std::vector<std::wstring> items;
  std::size_t from = 0;
  for (std::size_t end; (end = text.find(L'\0', from)) != std::wstring::npos; from = end + 1) {
    items.push_back(text.substr(from, end - from));
  }
  Request r;
  for (std::size_t i = 0; i + 1 < items.size(); i += 2) {
    const std::wstring& key = items[i];
    const std::wstring& value = items[i + 1];
    if (key == L"app") r.app = value;
    else if (key == L"cmd") r.cmd = value;
    else if (key == L"cwd") r.cwd = value;
    else if (key == L"set") r.set.push_back(value);
    else if (key == L"unset") r.unset.push_back(value);
    else if (key == L"stdout") r.stdout_mode = value;
    else if (key == L"hold") r.hold = value;
    else if (key == L"out") r.out = value;
    else if (key == L"timeout") r.timeout = static_cast<DWORD>(std::wcstoul(value.c_str(), nullptr, 10));
    else die(L"unknown request key");
  }
  return r;
}

std::wstring upper(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

// Our environment with the request's changes, as a CreateProcessW block.
std::vector<wchar_t> environment_block(const Request& r) {
  std::vector<std::wstring> entries;
  const wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* p = strings; *p; p += lstrlenW(p) + 1) entries.emplace_back(p);
  FreeEnvironmentStringsW(const_cast<wchar_t*>(strings));
  auto name_of = [](const std::wstring& entry) {
    const auto eq = entry.find(L'=', 1);  // "=C:=C:\x" entries start with '='
    return upper(entry.substr(0, eq));
  };
  auto remove = [&](const std::wstring& name) {
    const std::wstring key = upper(name);
    std::erase_if(entries, [&](const std::wstring& e) { return name_of(e) == key; });
  };
  for (const auto& name : r.unset) remove(name);
  for (const auto& entry : r.set) {
    remove(entry.substr(0, entry.find(L'=', 1)));
    entries.push_back(entry);
  }
  std::vector<wchar_t> block;
  for (const auto& e : entries) block.insert(block.end(), e.c_str(), e.c_str() + e.size() + 1);  // with its U+0000
  block.push_back(L'\0');
  return block;
}

HANDLE create_output(const std::wstring& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) die(L"cannot create an output file");
  return h;
}

// Creates the file `path` anew with `bytes` (which may be empty), or ends
// the launcher saying what it could not do.
void create_file(const std::wstring& path, const std::string& bytes, const wchar_t* failure) {
  Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file.h) die(failure);
  DWORD written;
  if (!bytes.empty()) WriteFile(file.h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void write_result(const Request& r, const std::string& text) {
  create_file(r.out + L"\\result.txt", text, L"cannot write the result");
}

void write_thread_id(DWORD thread_id) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"ZUR_LAUNCH_THREAD_FILE", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  create_file(path, std::to_string(thread_id), L"cannot write the thread id");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    SetLastError(ERROR_INVALID_PARAMETER);
    die(L"usage: launch.exe REQUEST");
  }
  Request r = parse_request(read_request_text(argv[1]));

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  Handle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                           nullptr));
  Handle error(create_output(r.out + L"\\stderr.bin"));
  Handle output;
  if (r.stdout_mode == L"file") {
    output.h = create_output(r.out + L"\\stdout.bin");
  } else if (r.stdout_mode == L"closed") {
    HANDLE reader = nullptr;
    if (!CreatePipe(&reader, &output.h, &inherit, 0)) die(L"cannot create a pipe");
    CloseHandle(reader);
  } else if (r.stdout_mode != L"none") {
    SetLastError(ERROR_INVALID_PARAMETER);
    die(L"unknown stdout mode");
  }
  Handle held;
  if (!r.hold.empty()) {
    held.h = CreateFileW(r.hold.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held.h == INVALID_HANDLE_VALUE) die(L"cannot hold the file");
  }

  STARTUPINFOW startup{.cb = sizeof(STARTUPINFOW), .dwFlags = STARTF_USESTDHANDLES, .hStdInput = input.h,
                       .hStdOutput = output.h, .hStdError = error.h};
  std::vector<wchar_t> environment = environment_block(r);
  PROCESS_INFORMATION process{};
  LARGE_INTEGER frequency, started, ended;
  create_file(r.out + L"\\starting", "", L"cannot mark the start");
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&started);
  if (!CreateProcessW(r.app.empty() ? nullptr : r.app.c_str(), r.cmd.data(), nullptr, nullptr, TRUE,
                      CREATE_UNICODE_ENVIRONMENT, environment.data(), r.cwd.empty() ? nullptr : r.cwd.c_str(),
                      &startup, &process)) {
    write_result(r, "start_error=" + std::to_string(GetLastError()) + "\n");
    return 0;
  }
  Handle process_handle(process.hProcess);
  write_thread_id(process.dwThreadId);
  Handle thread_handle(process.hThread);
  const bool finished = WaitForSingleObject(process.hProcess, r.timeout) == WAIT_OBJECT_0;
  QueryPerformanceCounter(&ended);
  const auto elapsed_ms = (ended.QuadPart - started.QuadPart) * 1000 / frequency.QuadPart;
  std::string result;
  if (finished) {
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    result = "exit=" + std::to_string(status) + "\n";
  } else {
    TerminateProcess(process.hProcess, 1);
    result = "timeout\n";
  }
  write_result(r, result + "elapsed_ms=" + std::to_string(elapsed_ms) + "\n");
  return 0;
}
