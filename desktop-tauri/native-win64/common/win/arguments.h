// This process's command line as an argument list.
#pragma once

#include <string_view>

#include "../args.h"
#include "failure.h"

namespace zur::win {

// This process's argument list. An element that is not valid Unicode ends
// the process with the failure report.
ArgumentList argument_list(SourcePlace where = caller());

// Splits `command_line` as argument_list does, without the check.
ArgumentList argument_list_of(std::u16string_view command_line);

}  // namespace zur::win
