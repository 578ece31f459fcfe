// The desktop host, ZUR-Vedozaruz-Desktop.exe: opens the local gateway's pages in an app
// window, starting the gateway first when it does not answer.

#include "../common/win/arguments.h"
#include "../common/win/failure.h"
#include "../common/win/system.h"
#include "app_window.h"
#include "gateway.h"
#include "host.h"
#include "host_config.h"

int main() {
  using namespace zur;
  win::load_dlls_from_system_folder_only();
  const ArgumentList arguments = win::argument_list();

  if (host::is_report_mode(arguments)) {
    const bool reachable = host::probe_gateway();
    win::print_line(host::smoke_test_report(host::kTargetArch, host::kTargetOs, reachable));
    return 0;
  }

  const bool reachable = host::run_gateway_phase();
  const std::u16string page = host::page_url(arguments);
  host::open_app_window(page, reachable);
  return 0;
}
