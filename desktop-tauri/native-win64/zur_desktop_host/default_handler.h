// Handing a page to the system's default URL handler through cmd's `start`.
#pragma once

#include <string>
#include <string_view>

namespace zur::host {

// The command line `cmd /C start "" URL` that hands the page to the
// system's default handler. The interpreter parses this line itself, so the
// URL goes in double quotes; what would end the quotes, start a delayed
// variable or break the line (a blank, a control character, " and !) is
// percent-encoded, a "%" that starts no %XX escape becomes %25, and each
// remaining "%" is written so that cmd never expands it. Characters beyond
// ASCII go as the %XX escapes of their UTF-8 bytes: a handler that reads its
// command line in an ANSI code page would otherwise map look-alikes such as
// the fullwidth quote U+FF02 onto '"'. A URL of unreserved ASCII characters,
// "/", "?", "=" and %XX escapes reaches `start` unchanged; any other URL
// reaches it as one that denotes the same page.
std::u16string default_handler_command_line(std::u16string_view page_url);

}  // namespace zur::host
