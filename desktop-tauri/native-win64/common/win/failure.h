// Ending a failed run with the failure report, and the steps whose failure
// ends the run.
#pragma once

#include <source_location>
#include <string_view>

#include "../error.h"

namespace zur::win {

// Writes the failure report to standard error and ends the process with
// exit status 101.
[[noreturn]] void fail(std::string_view failure_line, std::source_location where);
[[noreturn]] void fail(std::string_view message, const IoError& error,
                       std::source_location where = std::source_location::current());

// Ends the process with the failure report when `status` is a failure.
inline void expect(const IoStatus& status, std::string_view message,
                   std::source_location where = std::source_location::current()) {
  if (!status) fail(message, status.error(), where);
}

// Prints one line on standard output. Without a standard output handle the
// line is dropped; a failed write ends the process with the failure report.
void print_line(std::string_view text, std::source_location where = std::source_location::current());

}  // namespace zur::win
