#include "failure.h"

#include <gtest/gtest.h>

#include "win32.h"

namespace zur::win {
namespace {

TEST(PrintLine, DropsTheLineWithoutStandardOutput) {
  const HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
  for (const HANDLE none : {HANDLE(nullptr), INVALID_HANDLE_VALUE}) {
    SetStdHandle(STD_OUTPUT_HANDLE, none);
    print_line("nowhere");  // returns: the process goes on
  }
  SetStdHandle(STD_OUTPUT_HANDLE, saved);
  SUCCEED();
}

}  // namespace
}  // namespace zur::win
