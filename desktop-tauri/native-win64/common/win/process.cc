#include "process.h"

#include <array>
#include <vector>

#include "../paths.h"
#include "fs.h"
#include "handles.h"
#include "system.h"

namespace zur::win {
namespace {

bool is_file(const std::u16string& path) { return path_exists(path) && !is_directory(path); }

// The standard handle `which`, duplicated as inheritable so that the child
// gets it whatever its flags; none when we have none.
unique_handle inheritable_std_handle(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE copy = nullptr;
  const HANDLE self = GetCurrentProcess();
  if (!DuplicateHandle(self, handle, self, &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) return nullptr;
  return unique_handle(copy);
}

}  // namespace

std::optional<std::u16string> find_program(std::u16string_view name) {
  const std::u16string file_name = std::u16string(name) + u".exe";
  const std::u16string own = executable_path();
  std::vector<std::u16string> folders = {
      std::u16string(folder_of(own)),
      system_directory(),
      windows_directory(),
  };
  if (const auto path = environment_variable(u"PATH")) {
    for (auto& folder : split_path_list(*path)) folders.push_back(std::move(folder));
  }
  for (const auto& folder : folders) {
    // A relative entry (".", "bin", "D:tools", an unexpanded "%VAR%\bin")
    // would be completed with the current folder, which may be a download
    // folder or another user's.
    if (!is_absolute_path(folder)) continue;
    std::u16string candidate = join_path(folder, file_name);
    if (is_file(candidate)) return candidate;
  }
  return std::nullopt;
}

std::optional<std::u16string> system_program(std::u16string_view name) {
  const std::u16string folder = system_directory();
  if (!is_absolute_path(folder)) return std::nullopt;
  return join_path(folder, std::u16string(name) + u".exe");
}

IoStatus start_process(const std::u16string& application, std::u16string command_line, DWORD creation_flags) {
  const std::array handles = {inheritable_std_handle(STD_INPUT_HANDLE), inheritable_std_handle(STD_OUTPUT_HANDLE),
                              inheritable_std_handle(STD_ERROR_HANDLE)};
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = handles[0].get();
  startup.hStdOutput = handles[1].get();
  startup.hStdError = handles[2].get();
  PROCESS_INFORMATION process{};
  // CreateProcessW may write into the command line, so it gets a copy.
  if (!CreateProcessW(wide(application), wide(command_line), nullptr, nullptr, TRUE,
                      creation_flags, nullptr, nullptr, &startup, &process)) {
    return last_error();
  }
  const unique_handle process_handle(process.hProcess);
  const unique_handle thread_handle(process.hThread);
  return {};
}

}  // namespace zur::win
