// The four artifacts the installer carries, fixed when it is built.
#pragma once

#include <string_view>

// Generated in the build tree from the built desktop host,
// desktop-tauri/icons/icon.ico and desktop-tauri/tauri.conf.json.
#include "payload_data.h"
#include "product.h"

namespace zur::payload {

// Each array ends in the null of its string literal, which is not carried.
inline constexpr std::string_view kHostExecutable(kHostExecutableData, sizeof kHostExecutableData - 1);
inline constexpr std::string_view kIcon(kIconData, sizeof kIconData - 1);
inline constexpr std::string_view kConfiguration(kConfigurationData, sizeof kConfigurationData - 1);

// Starts the host from the script's own folder with the script's arguments.
inline constexpr std::string_view kLauncherScript =
    "@echo off\r\n"
    "start \"\" \"%~dp0" ZUR_HOST_FILE "\" %*\r\n";

}  // namespace zur::payload
