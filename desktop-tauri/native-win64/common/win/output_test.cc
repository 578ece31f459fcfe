#include "output.h"

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

TEST(WriteLine, SendsUtf8BytesToFilesAndPipes) {
  HANDLE reader = nullptr;
  HANDLE writer = nullptr;
  ASSERT_TRUE(CreatePipe(&reader, &writer, nullptr, 0));
  unique_handle read_end(reader);
  {
    unique_handle write_end(writer);
    EXPECT_EQ(write_line(writer, "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC"), IoStatus());
  }
  EXPECT_EQ(read_all(reader), "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC\n");

  wchar_t folder[MAX_PATH];
  wchar_t path[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
  ASSERT_NE(GetTempFileNameW(folder, L"zur", 0, path), 0u);
  {
    unique_handle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_EQ(write_line(file.get(), "{\"ok\":true}"), IoStatus());
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
  const IoStatus written = write_line(writer, "lost");
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().kind, IoError::Kind::Os);
  EXPECT_EQ(error_kind_name(written.error().code), "BrokenPipe") << written.error().code;
}

}  // namespace
}  // namespace zur::win
