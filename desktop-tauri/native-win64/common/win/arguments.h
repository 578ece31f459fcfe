// This process's command line as an argument list.
#pragma once

#include <source_location>
#include <string_view>

#include "../args.h"

namespace zur::win {

// This process's argument list. An element that is not valid Unicode ends
// the process with the failure report.
ArgumentList argument_list(std::source_location where = std::source_location::current());

// Splits `command_line` as argument_list does, without the check.
ArgumentList argument_list_of(std::u16string_view command_line);

}  // namespace zur::win
