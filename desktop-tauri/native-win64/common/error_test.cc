#include "error.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace zur {
namespace {

TEST(ErrorKindName, NamesTheCommonCodes) {
  expect_each(error_kind_name, {
      {2, "NotFound"},         {3, "NotFound"},       {5, "PermissionDenied"}, {183, "AlreadyExists"},
      {80, "AlreadyExists"},   {123, "InvalidFilename"}, {112, "StorageFull"}, {39, "StorageFull"},
      {109, "BrokenPipe"},     {232, "BrokenPipe"},   {87, "InvalidInput"},    {267, "NotADirectory"},
      {19, "ReadOnlyFilesystem"}, {32, "ResourceBusy"},
      {0, "Uncategorized"},    {31, "Uncategorized"}, {1234, "Uncategorized"}, {4294967295u, "Uncategorized"},
  });
}

TEST(DescribeError, WritesTheOsAndErrorNotations) {
  const struct {
    IoError error;
    std::string_view system_message;
    std::string_view expected;
  } cases[] = {
      {IoError::os(5), "Access is denied.\r\n", R"(Os { code: 5, kind: PermissionDenied, message: "Access is denied." })"},
      {IoError::os(112), "There is not enough space on the disk. \t\r\n",
       R"(Os { code: 112, kind: StorageFull, message: "There is not enough space on the disk." })"},
      {IoError::os(32), "The file \"C:\\x\" is in use.\r\n",
       R"(Os { code: 32, kind: ResourceBusy, message: "The file \"C:\\x\" is in use." })"},
      {IoError::os(2), "Line one.\r\n\tLine two.\r\n", R"(Os { code: 2, kind: NotFound, message: "Line one.\r\n\tLine two." })"},
      {IoError::os(1234), "", R"(Os { code: 1234, kind: Uncategorized, message: "" })"},
      {IoError::write_zero(), "ignored", R"(Error { kind: WriteZero, message: "failed to write whole buffer" })"},
  };
  for (const auto& c : cases) EXPECT_EQ(describe_error(c.error, c.system_message), c.expected);
}

TEST(StdoutFailureLine, NamesTheSystemMessageAndCode) {
  EXPECT_EQ(stdout_failure_line(IoError::os(232), "The pipe is being closed.\r\n"),
            "failed printing to stdout: The pipe is being closed. (os error 232)");
  EXPECT_EQ(stdout_failure_line(IoError::os(109), "The pipe has been ended. "),
            "failed printing to stdout: The pipe has been ended. (os error 109)");
  EXPECT_EQ(stdout_failure_line(IoError::write_zero(), "x"), "failed printing to stdout: failed to write whole buffer");
}

TEST(InvalidArgumentLine, ShowsTheArgumentOnOneLine) {
  EXPECT_EQ(invalid_argument_line(2, "a\xEF\xBF\xBD\n"), "Failed converting argument 2 to Unicode text: \"a\xEF\xBF\xBD\\n\"");
}

TEST(FailureReport, IsFourLinesOrTheFrames) {
  const SourcePlace place{"zur_setup_installer/main.cc", 31, 7};
  const std::string line =
      R"(Failed writing receipt: Os { code: 5, kind: PermissionDenied, message: "Access is denied." })";
  EXPECT_EQ(failure_report(4242, place, line, {}),
            "\nthread 'main' (4242) failed at zur_setup_installer/main.cc:31:7:\n" + line +
                "\nnote: run with `ZUR_BACKTRACE=1` environment variable to display a stack backtrace\n");
  EXPECT_EQ(failure_report(1, place, "x: y", {"zur::main", "start"}),
            "\nthread 'main' (1) failed at zur_setup_installer/main.cc:31:7:\n"
            "x: y\n"
            "stack backtrace:\n"
            "  0: zur::main\n"
            "  1: start\n");
}

TEST(BacktraceRequested, AnyValueButEmptyOrZero) {
  expect_each(backtrace_requested, {
      {std::nullopt, false}, {u"", false}, {u"0", false}, {u"1", true},
      {u"full", true},       {u"00", true}, {u" 0", true},
  });
}

}  // namespace
}  // namespace zur
