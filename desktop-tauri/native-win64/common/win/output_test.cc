#include "output.h"

#include <gtest/gtest.h>

#include "../error.h"
#include "handles.h"

namespace zur::win {
namespace {

std::string read_all(HANDLE h) {
  std::string bytes;
  char buffer[4096];
  for (DWORD n = 0; ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0;) bytes.append(buffer, n);
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

// A full non-blocking pipe takes a write and reports zero bytes written:
// write_all must give up with WriteZero, neither spin nor call it done.
TEST(WriteAll, GivesUpWhenAFullPipeTakesNothing) {
  const std::wstring name = L"\\\\.\\pipe\\zur-write-zero-" + std::to_wstring(GetCurrentProcessId());
  const unique_file write_end(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_NOWAIT, 1,
                                               512, 512, 0, nullptr));
  ASSERT_TRUE(write_end);
  unique_file read_end(CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(read_end);

  struct Job {
    HANDLE pipe;
    std::string bytes;
    IoStatus result;
  } job{write_end.get().value, std::string(64 * 1024, 'x'), {}};
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
  EXPECT_EQ(job.result, IoStatus(IoError::write_zero()));
}

}  // namespace
}  // namespace zur::win
