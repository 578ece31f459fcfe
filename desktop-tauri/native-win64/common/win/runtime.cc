#include "runtime.h"

#include <algorithm>
#include <cwchar>
#include <vector>

#include "../text.h"
#include "../utf.h"
#include "handles.h"

namespace zur::win {
namespace {

constexpr UINT kUtf8CodePage = 65001;

// The text through WriteConsoleW, as UTF-16, continuing partial writes.
IoResult write_console(HANDLE console, std::string_view text) {
  // Our lines are valid UTF-8; were one not, its bytes would show widened
  // rather than vanish.
  const std::u16string wide_text = to_utf16(text).value_or(std::u16string(text.begin(), text.end()));
  std::u16string_view rest = wide_text;
  while (!rest.empty()) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 8192));
    if (!WriteConsoleW(console, rest.data(), chunk, &written, nullptr)) {
      const DWORD code = GetLastError();
      return IoError::os(code);
    }
    if (written == 0) return IoError::write_zero();
    rest.remove_prefix(written);
  }
  return {};
}

// Standard error gets the report whole or in part; nothing is left to do
// when even that fails.
void write_report(std::string_view report) {
  const HANDLE error_output = GetStdHandle(STD_ERROR_HANDLE);
  if (error_output == nullptr || error_output == INVALID_HANDLE_VALUE) return;
  static_cast<void>(write_text(error_output, report));
}

// Module and offset of each return address on the stack, enough to find
// the code with the unstripped build.
std::vector<std::string> stack_frames() {
  void* addresses[62];
  const USHORT count = RtlCaptureStackBackTrace(2, 62, addresses, nullptr);
  std::vector<std::string> frames;
  for (USHORT i = 0; i < count && addresses[i] != nullptr; ++i) {
    HMODULE module = nullptr;
    wchar_t name[MAX_PATH];
    DWORD length = 0;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCWSTR>(addresses[i]), &module)) {
      length = GetModuleFileNameW(module, name, MAX_PATH);
    }
    if (length == 0 || length == MAX_PATH) {
      frames.push_back(hex(reinterpret_cast<std::uintptr_t>(addresses[i])));
      continue;
    }
    std::u16string_view path = narrow(name, length);
    path = path.substr(path.find_last_of(u"\\/") + 1);
    const auto offset = reinterpret_cast<std::uintptr_t>(addresses[i]) - reinterpret_cast<std::uintptr_t>(module);
    frames.push_back(to_utf8_lossy(path) + "+" + hex(offset));
  }
  return frames;
}

}  // namespace

IoResult write_all(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) {
      const DWORD code = GetLastError();
      if (error_kind_name(code) == "Interrupted") continue;  // the same bytes again
      return IoError::os(code);
    }
    if (written == 0) return IoError::write_zero();
    bytes.remove_prefix(written);
  }
  return {};
}

IoResult write_text(HANDLE output, std::string_view text) {
  DWORD mode = 0;
  if (GetConsoleMode(output, &mode) && GetConsoleOutputCP() != kUtf8CodePage) return write_console(output, text);
  return write_all(output, text);
}

IoResult write_line(HANDLE output, std::string_view text) {
  std::string line(text);
  line += '\n';
  return write_text(output, line);
}

void print_line(std::string_view text, std::source_location where) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
  const IoResult error = write_line(output, text);
  // A handle value that names nothing is a process without standard output.
  if (!error || *error == IoError::os(ERROR_INVALID_HANDLE)) return;
  fail(stdout_failure_line(*error, system_message(error->code)), where);
}

ArgumentList argument_list_of(std::u16string_view command_line) {
  return split_command_line(command_line, command_line.empty() ? executable_path() : std::u16string());
}

ArgumentList argument_list(std::source_location where) {
  const wchar_t* line = GetCommandLineW();
  ArgumentList arguments = argument_list_of(narrow(line, std::wcslen(line)));
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (!is_valid_utf16(arguments[i])) fail(invalid_argument_line(i, to_utf8_lossy(arguments[i])), where);
  }
  return arguments;
}

std::optional<std::u16string> environment_variable(const std::u16string& name) {
  std::u16string value(256, u'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);  // an empty value also returns 0
    const DWORD length = GetEnvironmentVariableW(wide(name), wide(value), static_cast<DWORD>(value.size()));
    const DWORD code = GetLastError();
    if (length == 0 && code != ERROR_SUCCESS) return std::nullopt;
    if (length < value.size()) {
      value.resize(length);
      break;
    }
    value.resize(length);  // too small: `length` counts the terminating null too
  }
  if (!is_valid_utf16(value)) return std::nullopt;
  return value;
}

std::u16string executable_path() {
  std::u16string path(MAX_PATH, u'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, wide(path), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);  // truncated
  }
}

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

void fail(std::string_view failure_line, std::source_location where) {
  std::vector<std::string> frames;
  if (backtrace_requested(environment_variable(std::u16string(kBacktraceVariable)))) frames = stack_frames();
  write_report(failure_report(GetCurrentThreadId(), {where.file_name(), where.line(), where.column()}, failure_line,
                              frames));
  ExitProcess(101);
}

void fail(std::string_view message, const IoError& error, std::source_location where) {
  const std::string description =
      describe_error(error, error.kind == IoError::Kind::Os ? system_message(error.code) : std::string());
  fail(fill_template("{}: {}", {message, description}), where);
}

}  // namespace zur::win
