// Opening the page in a chromeless browser window.
#pragma once

#include <string>

namespace zur::host {

// Starts the first browser candidate that exists in app mode on the page
// with its profile folder; without one, hands the page to the system's
// default handler when the gateway answered. Silent; waits for nothing.
void open_app_window(const std::u16string& page_url, bool gateway_reachable);

}  // namespace zur::host
