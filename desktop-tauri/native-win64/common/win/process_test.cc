#include "process.h"

#include <gtest/gtest.h>

#include "../args.h"

namespace zur::win {
namespace {

TEST(FindProgram, LooksInTheSystemFolderButNotTheCurrentOne) {
  const auto cmd = find_program(u"cmd");
  ASSERT_TRUE(cmd.has_value());
  EXPECT_TRUE(cmd->ends_with(u"\\cmd.exe")) << std::string(cmd->begin(), cmd->end());
  EXPECT_FALSE(find_program(u"zur-no-such-program").has_value());
}

TEST(StartProcess, StartsAndLetsGoOrSaysWhyNot) {
  const auto cmd = find_program(u"cmd");
  ASSERT_TRUE(cmd.has_value());
  EXPECT_EQ(start_process(*cmd, make_command_line(u"cmd", {u"/C", u"exit 0"}), CREATE_NO_WINDOW), IoStatus());

  const IoStatus missing = start_process(u"C:\\zur\\missing.exe", u"missing", 0);
  ASSERT_FALSE(missing);
  EXPECT_EQ(error_kind_name(missing.error().code), "NotFound") << missing.error().code;
}

}  // namespace
}  // namespace zur::win
