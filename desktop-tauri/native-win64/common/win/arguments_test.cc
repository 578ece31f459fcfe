#include "arguments.h"

#include <gtest/gtest.h>

#include "system.h"

namespace zur::win {
namespace {

TEST(ArgumentList, AnEmptyCommandLineIsTheExecutableAlone) {
  const ArgumentList arguments = argument_list_of(u"");
  ASSERT_EQ(arguments.size(), 1u);
  EXPECT_EQ(arguments[0], executable_path());
  EXPECT_TRUE(arguments[0].ends_with(u".exe"));
}

}  // namespace
}  // namespace zur::win
