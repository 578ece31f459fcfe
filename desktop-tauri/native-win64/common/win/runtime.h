// What both programs need from the process: arguments, environment,
// standard output, and the failure report that ends a failed run.
#pragma once

#include <cstdint>
#include <optional>
#include <source_location>
#include <string>
#include <string_view>

#include "../args.h"
#include "../error.h"
#include "win32.h"

namespace zur::win {

// This process's argument list. An element that is not valid Unicode ends
// the process with the failure report.
ArgumentList argument_list(std::source_location where = std::source_location::current());

// Splits `command_line` as argument_list does, without the check.
ArgumentList argument_list_of(std::u16string_view command_line);

// The value of an environment variable; nothing when it is absent or not
// valid Unicode text.
std::optional<std::u16string> environment_variable(const std::u16string& name);

// The full path of this process's executable; empty if even that fails.
std::u16string executable_path();

// The system's text for an error code, in the user's language, as UTF-8.
std::string system_message(std::uint32_t code);

// Writes the failure report to standard error and ends the process with
// exit status 101.
[[noreturn]] void fail(std::string_view failure_line, std::source_location where);
[[noreturn]] void fail(std::string_view message, const IoError& error,
                       std::source_location where = std::source_location::current());

// Ends the process with the failure report when `result` holds an error.
inline void expect(const IoResult& result, std::string_view message,
                   std::source_location where = std::source_location::current()) {
  if (result) fail(message, *result, where);
}

// Writes all of `bytes` to a file or pipe, continuing partial writes and
// repeating interrupted ones; a write of zero bytes ends with WriteZero.
IoResult write_all(HANDLE file, std::string_view bytes);

// Writes `text` to a console through WriteConsoleW when its code page is not
// UTF-8, otherwise (and to anything that is not a console) as bytes.
IoResult write_text(HANDLE output, std::string_view text);

// Writes `text` and one LF to `output` in one write_text.
IoResult write_line(HANDLE output, std::string_view text);

// Prints one line on standard output. Without a standard output handle the
// line is dropped; a failed write ends the process with the failure report.
void print_line(std::string_view text, std::source_location where = std::source_location::current());

}  // namespace zur::win
