#include "error.h"

#include "text.h"

namespace zur {
namespace {

struct KindEntry {
  std::uint32_t code;
  std::string_view kind;
};

// Windows error codes (winerror.h, winsock2.h) and their categories. The
// Windows-side tests check these numbers against the system headers.
constexpr KindEntry kKinds[] = {
    {2, "NotFound"},               // ERROR_FILE_NOT_FOUND
    {3, "NotFound"},               // ERROR_PATH_NOT_FOUND
    {5, "PermissionDenied"},       // ERROR_ACCESS_DENIED
    {8, "OutOfMemory"},            // ERROR_NOT_ENOUGH_MEMORY
    {14, "OutOfMemory"},           // ERROR_OUTOFMEMORY
    {15, "NotFound"},              // ERROR_INVALID_DRIVE
    {19, "ReadOnlyFilesystem"},    // ERROR_WRITE_PROTECT
    {32, "ResourceBusy"},          // ERROR_SHARING_VIOLATION
    {33, "ResourceBusy"},          // ERROR_LOCK_VIOLATION
    {39, "StorageFull"},           // ERROR_HANDLE_DISK_FULL
    {50, "Unsupported"},           // ERROR_NOT_SUPPORTED
    {53, "NotFound"},              // ERROR_BAD_NETPATH
    {80, "AlreadyExists"},         // ERROR_FILE_EXISTS
    {87, "InvalidInput"},          // ERROR_INVALID_PARAMETER
    {109, "BrokenPipe"},           // ERROR_BROKEN_PIPE
    {112, "StorageFull"},          // ERROR_DISK_FULL
    {120, "Unsupported"},          // ERROR_CALL_NOT_IMPLEMENTED
    {123, "InvalidFilename"},      // ERROR_INVALID_NAME
    {145, "DirectoryNotEmpty"},    // ERROR_DIR_NOT_EMPTY
    {161, "InvalidFilename"},      // ERROR_BAD_PATHNAME
    {170, "ResourceBusy"},         // ERROR_BUSY
    {183, "AlreadyExists"},        // ERROR_ALREADY_EXISTS
    {206, "InvalidFilename"},      // ERROR_FILENAME_EXCED_RANGE
    {232, "BrokenPipe"},           // ERROR_NO_DATA
    {233, "BrokenPipe"},           // ERROR_PIPE_NOT_CONNECTED
    {267, "NotADirectory"},        // ERROR_DIRECTORY
    {1392, "InvalidData"},         // ERROR_FILE_CORRUPT
    {1460, "TimedOut"},            // ERROR_TIMEOUT
    {1920, "PermissionDenied"},    // ERROR_CANT_ACCESS_FILE
    {1921, "FilesystemLoop"},      // ERROR_CANT_RESOLVE_FILENAME
    {10004, "Interrupted"},        // WSAEINTR
    {10013, "PermissionDenied"},   // WSAEACCES
    {10022, "InvalidInput"},       // WSAEINVAL
    {10035, "WouldBlock"},         // WSAEWOULDBLOCK
    {10048, "AddrInUse"},          // WSAEADDRINUSE
    {10049, "AddrNotAvailable"},   // WSAEADDRNOTAVAIL
    {10050, "NetworkDown"},        // WSAENETDOWN
    {10051, "NetworkUnreachable"}, // WSAENETUNREACH
    {10053, "ConnectionAborted"},  // WSAECONNABORTED
    {10054, "ConnectionReset"},    // WSAECONNRESET
    {10057, "NotConnected"},       // WSAENOTCONN
    {10060, "TimedOut"},           // WSAETIMEDOUT
    {10061, "ConnectionRefused"},  // WSAECONNREFUSED
    {10065, "HostUnreachable"},    // WSAEHOSTUNREACH
};

constexpr std::string_view kWriteZeroMessage = "failed to write whole buffer";

}  // namespace

std::string_view error_kind_name(std::uint32_t code) {
  for (const auto& entry : kKinds) {
    if (entry.code == code) return entry.kind;
  }
  return "Uncategorized";
}

std::string describe_error(const IoError& error, std::string_view system_message) {
  if (error.kind == IoError::Kind::WriteZero) {
    return fill_template("Error { kind: WriteZero, message: {} }", {quoted_for_message(kWriteZeroMessage)});
  }
  return fill_template("Os { code: {}, kind: {}, message: {} }",
                       {decimal(error.code), error_kind_name(error.code),
                        quoted_for_message(trim_end(system_message))});
}

std::string stdout_failure_line(const IoError& error, std::string_view system_message) {
  if (error.kind == IoError::Kind::WriteZero) return fill_template("failed printing to stdout: {}", {kWriteZeroMessage});
  return fill_template("failed printing to stdout: {} (os error {})", {trim_end(system_message), decimal(error.code)});
}

std::string invalid_argument_line(std::size_t index, std::string_view lossy) {
  return fill_template("Failed converting argument {} to Unicode text: {}", {decimal(index), quoted_for_message(lossy)});
}

std::string failure_report(std::uint32_t thread_id, const SourcePlace& place, std::string_view failure_line,
                           const std::vector<std::string>& frames) {
  std::string report = fill_template("\nthread 'main' ({}) failed at {}:{}:{}:\n{}\n",
                                     {decimal(thread_id), place.file, decimal(place.line), decimal(place.column),
                                      failure_line});
  if (frames.empty()) {
    report += "note: run with `ZUR_BACKTRACE=1` environment variable to display a stack backtrace\n";
    return report;
  }
  report += "stack backtrace:\n";
  for (std::size_t i = 0; i < frames.size(); ++i) {
    report += fill_template("  {}: {}\n", {decimal(i), frames[i]});
  }
  return report;
}

bool backtrace_requested(std::optional<std::u16string_view> value) {
  return value && !value->empty() && *value != u"0";
}

}  // namespace zur
