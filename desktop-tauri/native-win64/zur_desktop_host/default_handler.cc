#include "default_handler.h"

#include "../common/utf.h"

namespace zur::host {
namespace {

bool is_hex_digit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// Blanks and line ends would split the command; a quote would end the
// quoting; "!" expands variables where delayed expansion is on; bytes of
// characters beyond ASCII would meet the handler's code page.
bool needs_escape(unsigned char byte) { return byte <= ' ' || byte == '"' || byte == '!' || byte >= 0x7F; }

}  // namespace

std::u16string default_handler_command_line(std::u16string_view page_url) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  // "%" and then an expansion of nothing: cmd gives `start` a single "%"
  // that it never pairs with a later one into a variable reference.
  static constexpr std::u16string_view kPercent = u"%%cd:~,%";
  // The page URL comes from the checked argument list: valid Unicode.
  const std::string url = to_utf8_lossy(page_url);
  std::u16string line = u"cmd /C start \"\" \"";
  for (std::size_t i = 0; i < url.size(); ++i) {
    const auto byte = static_cast<unsigned char>(url[i]);
    if (byte == '%') {
      // A "%" that starts no escape can only mean itself: written as %25, so
      // that the handler (whose ShellExecute may expand %NAME% pairs) cannot
      // read it as the start of a variable either.
      line += kPercent;
      if (!(i + 2 < url.size() && is_hex_digit(url[i + 1]) && is_hex_digit(url[i + 2]))) line += u"25";
    } else if (needs_escape(byte)) {
      line += kPercent;
      line += kHex[byte >> 4];
      line += kHex[byte & 0xF];
    } else {
      line += static_cast<char16_t>(byte);
    }
  }
  line += u'"';
  return line;
}

}  // namespace zur::host
