#include "failure.h"

#include <string>
#include <vector>

#include "../text.h"
#include "../utf.h"
#include "output.h"
#include "system.h"

namespace zur::win {
namespace {

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

void fail(std::string_view failure_line, SourcePlace where) {
  std::vector<std::string> frames;
  if (backtrace_requested(environment_variable(std::u16string(kBacktraceVariable)))) frames = stack_frames();
  write_report(failure_report(GetCurrentThreadId(), where, failure_line,
                              frames));
  ExitProcess(101);
}

void fail(std::string_view message, const IoError& error, SourcePlace where) {
  const std::string description =
      describe_error(error, error.kind == IoError::Kind::Os ? system_message(error.code) : std::string());
  fail(fill_template("{}: {}", {message, description}), where);
}

void print_line(std::string_view text, SourcePlace where) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
  const IoStatus printed = write_line(output, text);
  // A handle value that names nothing is a process without standard output.
  if (printed || printed.error() == IoError::os(ERROR_INVALID_HANDLE)) return;
  fail(stdout_failure_line(printed.error(), system_message(printed.error().code)), where);
}

}  // namespace zur::win
