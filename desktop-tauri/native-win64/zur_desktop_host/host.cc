#include "host.h"

#include "../common/text.h"

namespace zur::host {
namespace {

constexpr std::u16string_view kAppOption = u"--app=";

bool is_hex_digit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

}  // namespace

bool is_report_mode(const ArgumentList& arguments) {
  return contains_element(arguments, u"--smoke-test") || contains_element(arguments, u"--version");
}

std::string smoke_test_report(std::string_view arch, std::string_view os, bool gateway_reachable) {
  return fill_template(
      "{\"ok\":true,\"product\":\"ZUR WORKSPACE PALISADE-34\",\"version\":\"" ZUR_PRODUCT_VERSION
      "\",\"arch\":\"{}\",\"os\":\"{}\",\"skus\":34,\"synergyHighways\":6,\"gatewayReachable\":{}}",
      {arch, os, gateway_reachable ? "true" : "false"});
}

std::u16string page_url(const ArgumentList& arguments) {
  std::u16string url(kGatewayRoot);
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::u16string& element = arguments[i];
    if (element.starts_with(kAppOption)) {
      url = std::u16string(kAppPagePrefix) + element.substr(kAppOption.size());
    } else if (element == u"--synergy-cockpit") {
      url = kCockpitPage;
    }
  }
  return url;
}

std::u16string gateway_script(const std::optional<std::u16string>& variable, std::u16string_view default_path) {
  return variable ? *variable : std::u16string(default_path);
}

std::u16string webview_profile_folder(const std::optional<std::u16string>& local_app_data) {
  if (!local_app_data) return u".\\webview-profile";
  return *local_app_data + u"\\OLVENTA\\ZUR-Vedozaruz\\webview-profile";
}

ArgumentList browser_arguments(std::u16string_view page_url, std::u16string_view profile_folder) {
  return {
      std::u16string(u"--app=").append(page_url),
      std::u16string(u"--user-data-dir=").append(profile_folder),
      u"--no-first-run",
      u"--window-size=1480,920",
  };
}

std::u16string default_handler_command_line(std::u16string_view page_url) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  // "%" and then an expansion of nothing: cmd gives `start` a single "%"
  // that it never pairs with a later one into a variable reference.
  static constexpr std::u16string_view kPercent = u"%%cd:~,%";
  std::u16string line = u"cmd /C start \"\" \"";
  for (std::size_t i = 0; i < page_url.size(); ++i) {
    const char16_t c = page_url[i];
    if (c == u'%') {
      // A "%" that starts no escape can only mean itself: written as %25, so
      // that the handler (whose ShellExecute may expand %NAME% pairs) cannot
      // read it as the start of a variable either.
      line += kPercent;
      if (!(i + 2 < page_url.size() && is_hex_digit(page_url[i + 1]) && is_hex_digit(page_url[i + 2]))) line += u"25";
    } else if (c <= u' ' || c == u'"' || c == u'!' || c == 0x7F) {
      // Blanks and line ends would split the command; a quote would end the
      // quoting; "!" expands variables where delayed expansion is on.
      line += kPercent;
      line += kHex[c >> 4];
      line += kHex[c & 0xF];
    } else {
      line += c;
    }
  }
  line += u'"';
  return line;
}

}  // namespace zur::host
