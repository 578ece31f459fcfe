// Command-line arguments in the Windows convention, as UTF-16 text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zur {

using ArgumentList = std::vector<std::u16string>;

// Splits a process command line into its argument list. Element 0 is the
// program name as invoked; an empty command line stands for the executable
// alone, so the list is never empty.
ArgumentList split_command_line(std::u16string_view command_line,
                                std::u16string_view executable_path);

// Appends one argument so that split_command_line and CommandLineToArgvW
// both give it back unchanged: quoted when empty or holding a space or tab,
// with the backslashes before a double quote (or before the closing quote)
// doubled and each double quote escaped.
void append_quoted_argument(std::u16string& command_line, std::u16string_view argument);

// Forms the command line for starting `program` with `arguments`. The program
// name is quoted when it holds a space or tab; it cannot hold a double quote,
// which no file name may.
std::u16string make_command_line(std::u16string_view program, const ArgumentList& arguments);

// True when some element, element 0 included, equals `option` exactly.
bool contains_element(const ArgumentList& arguments, std::u16string_view option);

}  // namespace zur
