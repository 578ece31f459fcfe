#include "arguments.h"

#include <cwchar>

#include "../error.h"
#include "../utf.h"
#include "failure.h"
#include "system.h"

namespace zur::win {

ArgumentList argument_list_of(std::u16string_view command_line) {
  return split_command_line(command_line, command_line.empty() ? executable_path() : std::u16string());
}

ArgumentList argument_list(SourcePlace where) {
  const wchar_t* line = GetCommandLineW();
  ArgumentList arguments = argument_list_of(narrow(line, std::wcslen(line)));
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (!is_valid_utf16(arguments[i])) fail(invalid_argument_line(i, to_utf8_lossy(arguments[i])), where);
  }
  return arguments;
}

}  // namespace zur::win
