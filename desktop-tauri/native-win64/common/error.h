// System errors and the failure report that ends a program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "result.h"

namespace zur {

// What made an operation fail: a Windows error code, or the system taking
// zero bytes in the middle of a write, which carries no code.
struct IoError {
  enum class Kind { Os, WriteZero };
  Kind kind = Kind::Os;
  std::uint32_t code = 0;  // meaningful for Kind::Os only

  static IoError os(std::uint32_t code) { return {Kind::Os, code}; }
  static IoError write_zero() { return {Kind::WriteZero, 0}; }
  friend bool operator==(const IoError&, const IoError&) = default;
};

// Success, or the IoError an operation failed with.
using IoStatus = Result<void, IoError>;

// The category of a Windows error code (NotFound, PermissionDenied, ...),
// "Uncategorized" when the code is not one we name.
std::string_view error_kind_name(std::uint32_t code);

// The error description of a failure line:
//   Os { code: 5, kind: PermissionDenied, message: "Access is denied." }
//   Error { kind: WriteZero, message: "failed to write whole buffer" }
// `system_message` is the system's text for the code; it is used for Os only.
std::string describe_error(const IoError& error, std::string_view system_message);

// "failed printing to stdout: <message> (os error <code>)", or for a write
// that the system took with zero bytes "failed printing to stdout: failed to
// write whole buffer".
std::string stdout_failure_line(const IoError& error, std::string_view system_message);

// The failure line for an element of the argument list that is not valid
// Unicode text; `lossy` shows it with U+FFFD in place of what is invalid.
std::string invalid_argument_line(std::size_t index, std::string_view lossy);

// Where a failure happened, as std::source_location gives it.
struct SourcePlace {
  std::string_view file;
  std::uint32_t line = 0;
  std::uint32_t column = 0;
};

// Environment variable that adds the stack frames to the failure report.
inline constexpr std::u16string_view kBacktraceVariable = u"ZUR_BACKTRACE";

// The report written to standard error before exit status 101: an empty line,
// the header naming thread "main", its id and the place, the failure line,
// then the hint on kBacktraceVariable, or, when frames are given, the frames.
std::string failure_report(std::uint32_t thread_id, const SourcePlace& place, std::string_view failure_line,
                           const std::vector<std::string>& frames);

// Whether a value of kBacktraceVariable asks for the frames: any value but
// an empty one or "0".
bool backtrace_requested(std::optional<std::u16string_view> value);

}  // namespace zur
