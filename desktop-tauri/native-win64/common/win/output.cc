#include "output.h"

#include <algorithm>
#include <string>

#include "../utf.h"
#include "system.h"

namespace zur::win {
namespace {

constexpr UINT kUtf8CodePage = 65001;

// The text through WriteConsoleW, as UTF-16, continuing partial writes.
IoStatus write_console(HANDLE console, std::string_view text) {
  // Our lines are valid UTF-8; were one not, its bytes would show widened
  // rather than vanish.
  const std::u16string wide_text = to_utf16(text).value_or(std::u16string(text.begin(), text.end()));
  std::u16string_view rest = wide_text;
  while (!rest.empty()) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 8192));
    if (!WriteConsoleW(console, rest.data(), chunk, &written, nullptr)) return last_error();
    if (written == 0) return IoError::write_zero();
    rest.remove_prefix(written);
  }
  return {};
}

}  // namespace

IoStatus write_all(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) {
      const IoError error = last_error();
      if (error_kind_name(error.code) == "Interrupted") continue;  // the same bytes again
      return error;
    }
    if (written == 0) return IoError::write_zero();
    bytes.remove_prefix(written);
  }
  return {};
}

IoStatus write_text(HANDLE output, std::string_view text) {
  DWORD mode = 0;
  if (GetConsoleMode(output, &mode) && GetConsoleOutputCP() != kUtf8CodePage) return write_console(output, text);
  return write_all(output, text);
}

IoStatus write_line(HANDLE output, std::string_view text) {
  std::string line(text);
  line += '\n';
  return write_text(output, line);
}

}  // namespace zur::win
