// Writing whole texts to files, pipes and consoles.
#pragma once

#include <string_view>

#include "../error.h"
#include "win32.h"

namespace zur::win {

// Writes all of `bytes` to a file or pipe, continuing partial writes and
// repeating interrupted ones; a write of zero bytes ends with WriteZero.
IoStatus write_all(HANDLE file, std::string_view bytes);

// Writes `text` to a console through WriteConsoleW when its code page is not
// UTF-8, otherwise (and to anything that is not a console) as bytes.
IoStatus write_text(HANDLE output, std::string_view text);

// Writes `text` and one LF to `output` in one write_text.
IoStatus write_line(HANDLE output, std::string_view text);

}  // namespace zur::win
