// The desktop host's decisions, apart from the system calls that act on them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "../common/args.h"
#include "product.h"

namespace zur::host {

inline constexpr std::u16string_view kGatewayRoot = u"" ZUR_GATEWAY_BASE;
inline constexpr std::u16string_view kCockpitPage = u"" ZUR_GATEWAY_BASE "synergy-cockpit";
inline constexpr std::u16string_view kAppPagePrefix = u"" ZUR_GATEWAY_BASE "apps/";

inline constexpr std::uint16_t kGatewayPort = ZUR_GATEWAY_PORT;
inline constexpr unsigned kProbeTimeoutMs = 250;
inline constexpr unsigned kWaitCycleMs = 180;
inline constexpr int kWaitCycles = 20;

inline constexpr std::u16string_view kGatewayScriptVariable = u"ZUR_GATEWAY_SCRIPT";
inline constexpr std::u16string_view kGatewayScriptFileName = u"zur-unified-gateway-server.mjs";

// Tried in this order; fixed text, always on drive C:.
inline constexpr std::u16string_view kBrowserCandidates[] = {
    u"C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe",
    u"C:\\Program Files\\Microsoft\\Edge\\Application\\msedge.exe",
    u"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe",
};

// "--smoke-test" or "--version" anywhere, element 0 included.
bool is_report_mode(const ArgumentList& arguments);

// The one-line JSON status report, without its line end.
std::string smoke_test_report(std::string_view arch, std::string_view os, bool gateway_reachable);

// The page to open: the root, the cockpit for "--synergy-cockpit", or the
// app page for "--app=NAME"; the last page option after element 0 wins.
std::u16string page_url(const ArgumentList& arguments);

// The gateway script: the variable's value when it is set and valid Unicode
// (even empty), the build-time default otherwise.
std::u16string gateway_script(const std::optional<std::u16string>& variable, std::u16string_view default_path);

// The browser's profile folder under LOCALAPPDATA, inserted unchanged, or
// ".\webview-profile" without it.
std::u16string webview_profile_folder(const std::optional<std::u16string>& local_app_data);

// The four browser arguments, in order.
ArgumentList browser_arguments(std::u16string_view page_url, std::u16string_view profile_folder);

}  // namespace zur::host
