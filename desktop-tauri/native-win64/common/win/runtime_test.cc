#include "runtime.h"

#include <gtest/gtest.h>

#include "../error.h"
#include "handles.h"

namespace zur::win {
namespace {

std::string read_all(HANDLE h) {
  std::string bytes;
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.append(buffer, n);
  return bytes;
}

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

TEST(WriteLine, SendsUtf8BytesToFilesAndPipes) {
  HANDLE reader = nullptr;
  HANDLE writer = nullptr;
  ASSERT_TRUE(CreatePipe(&reader, &writer, nullptr, 0));
  unique_handle read_end(reader);
  {
    unique_handle write_end(writer);
    EXPECT_EQ(write_line(writer, "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC"), IoResult());
  }
  EXPECT_EQ(read_all(reader), "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC\n");

  wchar_t folder[MAX_PATH];
  wchar_t path[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
  ASSERT_NE(GetTempFileNameW(folder, L"zur", 0, path), 0u);
  {
    unique_handle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_EQ(write_line(file.get(), "{\"ok\":true}"), IoResult());
  }
  unique_handle file(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  EXPECT_EQ(read_all(file.get()), "{\"ok\":true}\n");
}

TEST(WriteLine, ReportsAPipeWhoseReaderIsGone) {
  HANDLE reader = nullptr;
  HANDLE writer = nullptr;
  ASSERT_TRUE(CreatePipe(&reader, &writer, nullptr, 0));
  CloseHandle(reader);
  unique_handle write_end(writer);
  const IoResult error = write_line(writer, "lost");
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->kind, IoError::Kind::Os);
  EXPECT_EQ(error_kind_name(error->code), "BrokenPipe") << error->code;
}

// A full non-blocking pipe takes a write and reports zero bytes written:
// write_all must give up with WriteZero, neither spin nor call it done.
TEST(WriteAll, GivesUpWhenAFullPipeTakesNothing) {
  const std::wstring name = L"\\\\.\\pipe\\zur-write-zero-" + std::to_wstring(GetCurrentProcessId());
  const HANDLE server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_NOWAIT, 1, 512,
                                         512, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  const unique_handle write_end(server);
  const HANDLE client = CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(client, INVALID_HANDLE_VALUE);
  unique_handle read_end(client);

  struct Job {
    HANDLE pipe;
    std::string bytes;
    IoResult result;
  } job{server, std::string(64 * 1024, 'x'), {}};
  const unique_handle thread(CreateThread(
      nullptr, 0,
      [](void* context) -> DWORD {
        auto& job = *static_cast<Job*>(context);
        job.result = write_all(job.pipe, job.bytes);
        return 0;
      },
      &job, 0, nullptr));
  ASSERT_TRUE(thread);
  const DWORD waited = WaitForSingleObject(thread.get(), 5000);
  // A write_all that spins ends once the reader is gone.
  read_end.reset();
  WaitForSingleObject(thread.get(), INFINITE);
  EXPECT_EQ(waited, WAIT_OBJECT_0) << "write_all was still writing after 5 s";
  EXPECT_EQ(job.result, IoResult(IoError::write_zero()));
}

TEST(PrintLine, DropsTheLineWithoutStandardOutput) {
  const HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
  for (const HANDLE none : {HANDLE(nullptr), INVALID_HANDLE_VALUE}) {
    SetStdHandle(STD_OUTPUT_HANDLE, none);
    print_line("nowhere");  // returns: the process goes on
  }
  SetStdHandle(STD_OUTPUT_HANDLE, saved);
  SUCCEED();
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

TEST(ArgumentList, AnEmptyCommandLineIsTheExecutableAlone) {
  const ArgumentList arguments = argument_list_of(u"");
  ASSERT_EQ(arguments.size(), 1u);
  EXPECT_EQ(arguments[0], executable_path());
  EXPECT_TRUE(arguments[0].ends_with(u".exe"));
}

}  // namespace
}  // namespace zur::win
