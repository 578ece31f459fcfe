// Starting programs that outlive us.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "../error.h"
#include "win32.h"

namespace zur::win {

// The file `name`.exe in the folder of our own executable, the system
// folder, the Windows folder, then each absolute folder of PATH; never the
// current folder. Nothing when none holds such a file.
std::optional<std::u16string> find_program(std::u16string_view name);

// The file `name`.exe in the system folder, which only administrators can
// write; nothing when the system does not name that folder.
std::optional<std::u16string> system_program(std::u16string_view name);

// Starts `application` with `command_line`, inheriting our working folder,
// environment and standard handles, and lets go of it at once.
IoStatus start_process(const std::u16string& application, std::u16string command_line, DWORD creation_flags);

}  // namespace zur::win
