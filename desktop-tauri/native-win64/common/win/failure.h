// Ending a failed run with the failure report, and the steps whose failure
// ends the run.
#pragma once

#include <string_view>

#include "../error.h"

namespace zur::win {

// As a default argument, the place of the call, as
// std::source_location::current() gives it; libstdc++'s std::source_location
// needs a builtin that clang 14 lacks.
constexpr SourcePlace caller(const char* file = __builtin_FILE(), std::uint32_t line = __builtin_LINE(),
                             std::uint32_t column = __builtin_COLUMN()) {
  return {file, line, column};
}

// Writes the failure report to standard error and ends the process with
// exit status 101.
[[noreturn]] void fail(std::string_view failure_line, SourcePlace where);
[[noreturn]] void fail(std::string_view message, const IoError& error,
                       SourcePlace where = caller());

// Ends the process with the failure report when `status` is a failure.
inline void expect(const IoStatus& status, std::string_view message,
                   SourcePlace where = caller()) {
  if (!status) fail(message, status.error(), where);
}

template <typename T>
void expect(const Result<T, IoError>& result, std::string_view message, SourcePlace where = caller()) {
  if (!result) fail(message, result.error(), where);
}

// Prints one line on standard output. Without a standard output handle the
// line is dropped; a failed write ends the process with the failure report.
void print_line(std::string_view text, SourcePlace where = caller());

}  // namespace zur::win
