#include "failure.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "win32.h"

namespace zur::win {
namespace {

TEST(PrintLine, DropsTheLineWithoutStandardOutput) {
  const HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
  // Last, a value that names nothing, as a parent may leave behind (Wine
  // clears such a value when it starts a process, so only here can it be
  // tried): a failing write there would end this test program with 101.
  const HANDLE stale = reinterpret_cast<HANDLE>(std::uintptr_t{0x00fffffc});
  for (const HANDLE none : {HANDLE(nullptr), INVALID_HANDLE_VALUE, stale}) {
    SetStdHandle(STD_OUTPUT_HANDLE, none);
    print_line("nowhere");  // returns: the process goes on
  }
  SetStdHandle(STD_OUTPUT_HANDLE, saved);
  SUCCEED();
}

}  // namespace
}  // namespace zur::win
