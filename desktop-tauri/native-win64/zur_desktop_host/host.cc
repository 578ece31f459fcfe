#include "host.h"

#include "../common/text.h"

namespace zur::host {
namespace {

constexpr std::u16string_view kAppOption = u"--app=";

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
  if (!local_app_data) return u".\\" ZUR_PROFILE_FOLDER;
  return *local_app_data + u"\\" ZUR_VENDOR_FOLDER "\\" ZUR_PRODUCT_FOLDER "\\" ZUR_PROFILE_FOLDER;
}

ArgumentList browser_arguments(std::u16string_view page_url, std::u16string_view profile_folder) {
  return {
      std::u16string(u"--app=").append(page_url),
      std::u16string(u"--user-data-dir=").append(profile_folder),
      u"--no-first-run",
      u"--window-size=" ZUR_WINDOW_SIZE,
  };
}

}  // namespace zur::host
