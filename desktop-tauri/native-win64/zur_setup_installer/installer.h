// The installer's decisions, apart from the system calls that act on them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "../common/args.h"

namespace zur::installer {

// "--verify-bundle" anywhere, element 0 included.
bool is_verify_bundle_mode(const ArgumentList& arguments);

// The value of the last complete "--install-dir" pair after element 0. A
// value is never itself read as an option; a lone final "--install-dir" is
// ignored.
std::optional<std::u16string> install_dir_override(const ArgumentList& arguments);

// LOCALAPPDATA (or "." without a valid one) joined with the vendor and
// product folders: %LOCALAPPDATA%\OLVENTA\ZUR-Vedozaruz.
std::u16string default_install_dir(const std::optional<std::u16string>& local_app_data);

// The receipt: the folder as resolved, with backslashes turned into slashes,
// and the length of the host executable written. No line end.
std::string install_receipt(std::u16string_view install_dir, std::uint64_t exe_bytes);

// The bundle report, from the lengths settled when the installer was built.
// The build refuses a host executable whose header is not a valid PE32+
// console image, so "ok" and "peHeaderValid" are true in every installer.
std::string bundle_report(std::uint64_t exe_bytes, std::uint64_t ico_bytes);

}  // namespace zur::installer
