#include "installer.h"

#include "../common/paths.h"
#include "../common/text.h"
#include "../common/utf.h"
#include "product.h"

namespace zur::installer {

namespace {

// The folder as a JSON string's content. Backslashes become slashes; a
// folder that the system accepts holds no quote or control character of its
// own, but its text can, in a component that a later ".." removes, so those
// are escaped rather than let out of the string or onto a second line.
std::string receipt_folder_text(std::u16string_view install_dir) {
  static constexpr char kHex[] = "0123456789abcdef";
  // The folder comes from the command line or the environment, both checked
  // to be valid Unicode, so nothing is lost here.
  const std::string utf8 = to_utf8_lossy(install_dir);
  std::string text;
  text.reserve(utf8.size());
  for (const char c : utf8) {
    switch (c) {
      case '\\': text += '/'; break;
      case '"': text += "\\\""; break;
      case '\t': text += "\\t"; break;
      case '\n': text += "\\n"; break;
      case '\r': text += "\\r"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          text += "\\u00";
          text += kHex[c >> 4];
          text += kHex[c & 0xF];
        } else {
          text += c;
        }
    }
  }
  return text;
}

}  // namespace

bool is_verify_bundle_mode(const ArgumentList& arguments) { return contains_element(arguments, u"--verify-bundle"); }

std::optional<std::u16string> install_dir_override(const ArgumentList& arguments) {
  std::optional<std::u16string> folder;
  for (std::size_t i = 1; i < arguments.size();) {
    if (arguments[i] == u"--install-dir" && i + 1 < arguments.size()) {
      folder = arguments[i + 1];
      i += 2;
    } else {
      i += 1;
    }
  }
  return folder;
}

std::u16string default_install_dir(const std::optional<std::u16string>& local_app_data) {
  return join_path(join_path(local_app_data.value_or(u"."), u"" ZUR_VENDOR_FOLDER), u"" ZUR_PRODUCT_FOLDER);
}

std::string install_receipt(std::u16string_view install_dir, std::uint64_t exe_bytes) {
  const std::string folder = receipt_folder_text(install_dir);
  return fill_template("{\"ok\":true,\"version\":\"" ZUR_PRODUCT_VERSION "\",\"installDir\":\"{}\",\"exeBytes\":{}}",
                       {folder, decimal(exe_bytes)});
}

std::string bundle_report(std::uint64_t exe_bytes, std::uint64_t ico_bytes) {
  return fill_template("{\"ok\":true,\"installer\":\"" ZUR_INSTALLER_FILE
                       "\",\"embeddedExeBytes\":{},\"embeddedIcoBytes\":{},\"peHeaderValid\":true}",
                       {decimal(exe_bytes), decimal(ico_bytes)});
}

}  // namespace zur::installer
