// ZUR-Vedozaruz-Setup-3.4.0-x64.exe: copies the desktop host and its files
// into the user's application-data folder and prints a receipt.

#include "../common/paths.h"
#include "../common/win/fs.h"
#include "../common/win/arguments.h"
#include "../common/win/failure.h"
#include "../common/win/system.h"
#include "installer.h"
#include "payload.h"

int main() {
  using namespace zur;
  const ArgumentList arguments = win::argument_list();

  if (installer::is_verify_bundle_mode(arguments)) {
    win::print_line(installer::bundle_report(payload::kHostExecutable.size(), payload::kIcon.size()));
    return 0;
  }

  const auto override_dir = installer::install_dir_override(arguments);
  const std::u16string folder =
      override_dir ? *override_dir : installer::default_install_dir(win::environment_variable(u"LOCALAPPDATA"));
  win::expect(win::create_directory_all(folder), "Failed creating target install directory");

  const std::u16string host_path = join_path(folder, u"ZUR-Vedozaruz-Desktop.exe");
  const std::u16string icon_path = join_path(folder, u"ZUR-Vedozaruz.ico");
  const std::u16string config_path = join_path(folder, u"tauri.conf.json");
  const std::u16string launcher_path = join_path(folder, u"Launch-ZUR-Vedozaruz.cmd");
  win::expect(win::write_file(host_path, payload::kHostExecutable), "Failed writing ZUR-Vedozaruz-Desktop.exe");
  win::expect(win::write_file(icon_path, payload::kIcon), "Failed writing ZUR-Vedozaruz.ico");
  win::expect(win::write_file(config_path, payload::kConfiguration), "Failed writing tauri.conf.json");
  win::expect(win::write_file(launcher_path, payload::kLauncherScript), "Failed writing launcher script");

  const std::string receipt = installer::install_receipt(folder, payload::kHostExecutable.size());
  win::expect(win::write_file(join_path(folder, u"install-receipt.json"), receipt), "Failed writing receipt");
  win::print_line(receipt);
  return 0;
}
