// The product's lines as the C++ tests expect them, spelled out once. Not
// taken from the product's generated header, so that a wrong constant there
// still fails a test.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zur::expected {

inline constexpr std::string_view kVersion = "3.4.0";
inline constexpr std::string_view kInstallerName = "ZUR-Vedozaruz-Setup-3.4.0-x64.exe";
// The gateway's port on 127.0.0.1.
inline constexpr std::uint16_t kGatewayPort = 4300;

// The install receipt for a folder text as it stands between the quotes.
inline std::string receipt(std::string_view install_dir, std::string_view exe_bytes) {
  return std::string(R"({"ok":true,"version":"3.4.0","installDir":")") + std::string(install_dir) +
         R"(","exeBytes":)" + std::string(exe_bytes) + "}";
}

// The bundle report for the carried lengths.
inline std::string bundle_report(std::string_view exe_bytes, std::string_view ico_bytes) {
  return std::string(R"({"ok":true,"installer":"ZUR-Vedozaruz-Setup-3.4.0-x64.exe","embeddedExeBytes":)") +
         std::string(exe_bytes) + R"(,"embeddedIcoBytes":)" + std::string(ico_bytes) + R"(,"peHeaderValid":true})";
}

// The smoke-test report of an x86-64 Windows build.
inline std::string smoke_test_report(std::string_view gateway_reachable) {
  return std::string(R"({"ok":true,"product":"ZUR WORKSPACE PALISADE-34","version":"3.4.0","arch":"x86_64",)") +
         R"("os":"windows","skus":34,"synergyHighways":6,"gatewayReachable":)" + std::string(gateway_reachable) + "}";
}

}  // namespace zur::expected
