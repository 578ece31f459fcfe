// The installer, ZUR-Vedozaruz-Setup-<version>-x64.exe: copies the desktop
// host and its files into the user's application-data folder and prints a
// receipt.

#include "../common/paths.h"
#include "../common/win/arguments.h"
#include "../common/win/failure.h"
#include "../common/win/fs.h"
#include "../common/win/system.h"
#include "installer.h"
#include "payload.h"
#include "product.h"

int main() {
  using namespace zur;
  win::load_dlls_from_system_folder_only();
  const ArgumentList arguments = win::argument_list();

  if (installer::is_verify_bundle_mode(arguments)) {
    win::print_line(installer::bundle_report(payload::kHostExecutable.size(), payload::kIcon.size()));
    return 0;
  }

  const auto override_dir = installer::install_dir_override(arguments);
  const std::u16string folder =
      override_dir ? *override_dir : installer::default_install_dir(win::environment_variable(u"LOCALAPPDATA"));
  win::expect(win::create_directory_all(folder), "Failed creating target install directory");

  // The files go into the folder that was made ("C:\Apps\Z " makes
  // "C:\Apps\Z"); the receipt names the folder as given.
  const std::u16string target = win::created_folder(folder);
  const std::u16string host_path = join_path(target, u"" ZUR_HOST_FILE);
  const std::u16string icon_path = join_path(target, u"" ZUR_ICON_FILE);
  const std::u16string config_path = join_path(target, u"" ZUR_CONFIGURATION_FILE);
  const std::u16string launcher_path = join_path(target, u"" ZUR_LAUNCHER_FILE);
  win::expect(win::write_file(host_path, payload::kHostExecutable), "Failed writing " ZUR_HOST_FILE);
  win::expect(win::write_file(icon_path, payload::kIcon), "Failed writing " ZUR_ICON_FILE);
  win::expect(win::write_file(config_path, payload::kConfiguration), "Failed writing " ZUR_CONFIGURATION_FILE);
  win::expect(win::write_file(launcher_path, payload::kLauncherScript), "Failed writing launcher script");

  const std::string receipt = installer::install_receipt(folder, payload::kHostExecutable.size());
  win::expect(win::write_file(join_path(target, u"" ZUR_RECEIPT_FILE), receipt), "Failed writing receipt");
  win::print_line(receipt);
  return 0;
}
