#include "system.h"

#include <gtest/gtest.h>

#include "../error.h"

namespace zur::win {
namespace {

TEST(ErrorKind, TableMatchesTheSystemHeaders) {
  const struct {
    DWORD code;
    std::string_view kind;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, "NotFound"},        {ERROR_PATH_NOT_FOUND, "NotFound"},
      {ERROR_ACCESS_DENIED, "PermissionDenied"}, {ERROR_ALREADY_EXISTS, "AlreadyExists"},
      {ERROR_FILE_EXISTS, "AlreadyExists"},      {ERROR_INVALID_NAME, "InvalidFilename"},
      {ERROR_BAD_PATHNAME, "InvalidFilename"},   {ERROR_FILENAME_EXCED_RANGE, "InvalidFilename"},
      {ERROR_DISK_FULL, "StorageFull"},          {ERROR_HANDLE_DISK_FULL, "StorageFull"},
      {ERROR_BROKEN_PIPE, "BrokenPipe"},         {ERROR_NO_DATA, "BrokenPipe"},
      {ERROR_PIPE_NOT_CONNECTED, "BrokenPipe"},  {ERROR_INVALID_PARAMETER, "InvalidInput"},
      {ERROR_DIRECTORY, "NotADirectory"},        {ERROR_WRITE_PROTECT, "ReadOnlyFilesystem"},
      {ERROR_SHARING_VIOLATION, "ResourceBusy"}, {ERROR_LOCK_VIOLATION, "ResourceBusy"},
      {ERROR_DIR_NOT_EMPTY, "DirectoryNotEmpty"}, {ERROR_NOT_ENOUGH_MEMORY, "OutOfMemory"},
      {ERROR_INVALID_DRIVE, "NotFound"},         {ERROR_BAD_NETPATH, "NotFound"},
      {ERROR_CALL_NOT_IMPLEMENTED, "Unsupported"}, {WSAEINTR, "Interrupted"},
      {WSAECONNREFUSED, "ConnectionRefused"},    {WSAETIMEDOUT, "TimedOut"},
      {WSAEWOULDBLOCK, "WouldBlock"},            {WSAEADDRINUSE, "AddrInUse"},
      {ERROR_GEN_FAILURE, "Uncategorized"},
  };
  for (const auto& c : cases) EXPECT_EQ(error_kind_name(c.code), c.kind) << "code " << c.code;
}

TEST(SystemMessage, GivesTheSystemTextOrSaysWhyNot) {
  EXPECT_FALSE(system_message(ERROR_ACCESS_DENIED).empty());
  EXPECT_FALSE(system_message(ERROR_DISK_FULL).empty());
  EXPECT_EQ(system_message(0x2000FFFF).rfind("OS Error 536936447 (FormatMessageW() returned error ", 0), 0u);
}

TEST(SystemMessage, DescribesAnErrorOnOneLine) {
  const std::string description = describe_error(IoError::os(ERROR_ACCESS_DENIED), system_message(ERROR_ACCESS_DENIED));
  EXPECT_EQ(description.rfind("Os { code: 5, kind: PermissionDenied, message: \"", 0), 0u) << description;
  EXPECT_EQ(description.find('\n'), std::string::npos);
  EXPECT_EQ(description.find('\r'), std::string::npos);
  EXPECT_TRUE(description.ends_with("\" }"));
  EXPECT_FALSE(description.ends_with(" \" }"));
}

TEST(EnvironmentVariable, TellsSetEmptyAbsentAndInvalid) {
  SetEnvironmentVariableW(L"ZUR_TEST_SET", L"C:\\Users\\J\u00f6rg");
  SetEnvironmentVariableW(L"ZUR_TEST_EMPTY", L"");
  SetEnvironmentVariableW(L"ZUR_TEST_ABSENT", nullptr);
  const wchar_t invalid[] = {L'a', wchar_t(0xD800), L'b', 0};
  SetEnvironmentVariableW(L"ZUR_TEST_INVALID", invalid);
  std::u16string long_value(5000, u'x');  // beyond the first buffer
  SetEnvironmentVariableW(L"ZUR_TEST_LONG", reinterpret_cast<const wchar_t*>(long_value.c_str()));

  EXPECT_EQ(environment_variable(u"ZUR_TEST_SET"), std::optional<std::u16string>(u"C:\\Users\\J\u00f6rg"));
  EXPECT_EQ(environment_variable(u"ZUR_TEST_EMPTY"), std::optional<std::u16string>(u""));
  EXPECT_EQ(environment_variable(u"ZUR_TEST_ABSENT"), std::nullopt);
  EXPECT_EQ(environment_variable(u"ZUR_TEST_INVALID"), std::nullopt);
  EXPECT_TRUE(environment_variable(u"ZUR_TEST_LONG") == long_value);
}

}  // namespace
}  // namespace zur::win
