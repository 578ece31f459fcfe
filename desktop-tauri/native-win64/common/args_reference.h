// An independent model of how Windows splits a command line, for the tests
// and fuzz targets that check split_command_line and the quoting against it.
#pragma once

#include <string_view>

#include "args.h"

namespace zur {

// A second parser, written from Microsoft's description of how the C runtime
// (2008 and later) splits a command line, in the runtime's own loop shape.
// With `doubled_quote_ends_quoting` it takes a "" inside quotes as
// CommandLineToArgvW does: one literal quote, and the quoting ends.
inline ArgumentList reference_split(std::u16string_view line, bool doubled_quote_ends_quoting) {
  ArgumentList argv;
  std::size_t p = 0;
  auto at = [&](std::size_t k) -> char16_t { return k < line.size() ? line[k] : u'\0'; };
  auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };

  std::u16string name;
  for (bool in_quote = false; p < line.size() && (in_quote || !blank(line[p])); ++p) {
    if (line[p] == u'"') in_quote = !in_quote;
    else name += line[p];
  }
  argv.push_back(name);

  for (;;) {
    while (blank(at(p))) ++p;
    if (p >= line.size()) break;
    std::u16string arg;
    bool in_quote = false;
    for (;;) {
      bool copy = true;
      std::size_t slashes = 0;
      while (at(p) == u'\\') ++p, ++slashes;
      if (at(p) == u'"') {
        if (slashes % 2 == 0) {
          if (in_quote && at(p + 1) == u'"') {
            ++p;  // "" inside quotes: one literal quote
            if (doubled_quote_ends_quoting) in_quote = false;
          } else {
            copy = false;
            in_quote = !in_quote;
          }
        }
        slashes /= 2;
      }
      arg.append(slashes, u'\\');
      if (p >= line.size() || (!in_quote && blank(at(p)))) break;
      if (copy) arg += at(p);
      ++p;
    }
    argv.push_back(arg);
  }
  return argv;
}

}  // namespace zur
