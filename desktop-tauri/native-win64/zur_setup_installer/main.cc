// The installer, ZUR-Vedozaruz-Setup-<version>-x64.exe: copies the desktop
// host and its files into the user's application-data folder and prints a
// receipt.

#include "../common/win/arguments.h"
#include "../common/win/failure.h"
#include "../common/win/folder.h"
#include "../common/win/system.h"
#include "../common/win/write.h"
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
  // The folders it makes are private: see folder.h.
  win::expect(win::create_directory_all(folder, win::FolderAccess::Private), "Failed creating target install directory");
  // Held from here to the end, so that it stays where it is; each file is
  // reached through the name the system gives the folder, checked against
  // it. The files go into the folder that
  // was made ("C:\Apps\Z " makes "C:\Apps\Z"); the receipt names the
  // folder as given.
  const auto pinned = win::pin_folder(win::created_folder(folder));
  win::expect(pinned, "Failed creating target install directory");
  const win::PinnedFolder& target = *pinned;
  // That name has no link left in it: a junction met from here on was made
  // meanwhile, by someone else.
  win::follow_no_user_junctions();

  win::expect(win::write_file(target, u"" ZUR_HOST_FILE, payload::kHostExecutable), "Failed writing " ZUR_HOST_FILE);
  win::expect(win::write_file(target, u"" ZUR_ICON_FILE, payload::kIcon), "Failed writing " ZUR_ICON_FILE);
  win::expect(win::write_file(target, u"" ZUR_CONFIGURATION_FILE, payload::kConfiguration),
              "Failed writing " ZUR_CONFIGURATION_FILE);
  win::expect(win::write_file(target, u"" ZUR_LAUNCHER_FILE, payload::kLauncherScript), "Failed writing launcher script");

  const std::string receipt = installer::install_receipt(folder, payload::kHostExecutable.size());
  win::expect(win::write_file(target, u"" ZUR_RECEIPT_FILE, receipt), "Failed writing receipt");
  win::print_line(receipt);
  return 0;
}
