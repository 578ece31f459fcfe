#include "app_window.h"

#include <optional>

#include "../common/win/folder.h"
#include "../common/win/fs.h"
#include "../common/win/process.h"
#include "../common/win/system.h"
#include "default_handler.h"
#include "host.h"

namespace zur::host {
namespace {

std::optional<std::u16string> installed_browser() {
  for (const auto candidate : kBrowserCandidates) {
    if (win::path_exists(candidate)) return std::u16string(candidate);
  }
  return std::nullopt;
}

}  // namespace

void open_app_window(const std::u16string& page_url, bool gateway_reachable) {
  const auto browser = installed_browser();
  if (!browser) {
    if (!gateway_reachable) return;
    // The system's own interpreter only: a cmd.exe beside the host (which a
    // download folder may be) or on PATH is not ours to run.
    if (const auto cmd = win::system_program(u"cmd")) {
      static_cast<void>(win::start_process(*cmd, default_handler_command_line(page_url), 0));
    }
    return;
  }
  const std::u16string profile = webview_profile_folder(win::environment_variable(u"LOCALAPPDATA"));
  // The browser makes what it lacks itself; a folder we cannot create is
  // not a reason to keep the window closed.
  static_cast<void>(win::create_directory_all(profile));
  static_cast<void>(win::start_process(*browser, make_command_line(*browser, browser_arguments(page_url, profile)), 0));
}

}  // namespace zur::host
