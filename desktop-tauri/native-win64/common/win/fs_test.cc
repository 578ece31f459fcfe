#include "fs.h"

#include <gtest/gtest.h>

#include "../paths.h"
#include "handles.h"

namespace zur::win {
namespace {

// A fresh folder under the temporary folder, removed with its content.
class TempFolder {
 public:
  TempFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    path_ = narrow(base, wcslen(base));
    path_ += u"zur-fs-test-" + std::u16string(1, char16_t(u'a' + (GetTickCount() % 26))) +
             std::u16string(reinterpret_cast<const char16_t*>(std::to_wstring(GetCurrentProcessId()).c_str()));
    CreateDirectoryW(wide(path_), nullptr);
  }
  ~TempFolder() { remove_tree(system_path(path_)); }
  const std::u16string& path() const { return path_; }

 private:
  static void remove_tree(const std::u16string& folder) {
    WIN32_FIND_DATAW entry;
    const HANDLE find = FindFirstFileW(wide(folder + u"\\*"), &entry);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::u16string name = narrow(entry.cFileName, wcslen(entry.cFileName)).data();
        if (name == u"." || name == u"..") continue;
        const std::u16string child = folder + u"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          remove_tree(child);
        } else {
          DeleteFileW(wide(child));
        }
      } while (FindNextFileW(find, &entry));
      FindClose(find);
    }
    RemoveDirectoryW(wide(folder));
  }
  std::u16string path_;
};

std::string read_file(const std::u16string& path) {
  unique_handle file(CreateFileW(wide(system_path(path)), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return "<missing>";
  }
  std::string bytes;
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.append(buffer, n);
  return bytes;
}

std::u16string current_folder() {
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetCurrentDirectoryW(MAX_PATH, buffer);
  return std::u16string(narrow(buffer, n));
}

TEST(SystemPath, HandsShortAbsolutePathsOverAndExtendsTheRest) {
  std::u16string cwd = current_folder();
  if (!cwd.ends_with(u"\\")) cwd += u"\\";
  const std::u16string long_path = u"C:\\" + std::u16string(300, u'a');
  const struct {
    std::u16string in, out;
  } cases[] = {
      {u"C:\\Users\\x", u"C:\\Users\\x"},
      {u"C:/Users/x", u"C:/Users/x"},
      {u"\\\\?\\C:\\x\\..\\y", u"\\\\?\\C:\\x\\..\\y"},
      {u"name.txt", u"\\\\?\\" + cwd + u"name.txt"},
      {u"a/b/../c", u"\\\\?\\" + cwd + u"a\\c"},
      {long_path, u"\\\\?\\" + long_path},
      {long_path + u"/x/../y", u"\\\\?\\" + long_path + u"\\y"},
  };
  for (const auto& c : cases) EXPECT_EQ(system_path(c.in), c.out);
}

TEST(PathExists, FollowsWhatIsThere) {
  TempFolder temp;
  const std::u16string file = temp.path() + u"\\file.mjs";
  ASSERT_EQ(write_file(file, "x"), IoStatus());
  const struct {
    std::u16string path;
    bool exists, directory;
  } cases[] = {
      {file, true, false},
      {temp.path(), true, true},
      {temp.path() + u"\\missing", false, false},
      {u"", false, false},
      {temp.path() + u"\\file.mjs\\below", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(path_exists(c.path), c.exists);
    EXPECT_EQ(is_directory(c.path), c.directory);
  }
}

TEST(CreateDirectoryAll, MakesEveryMissingLevel) {
  TempFolder temp;
  std::u16string deep = temp.path();
  for (int i = 0; i < 12; ++i) deep += u"\\level-" + std::u16string(30, char16_t(u'a' + i));
  ASSERT_GT(deep.size(), 300u);
  const std::u16string cases[] = {
      temp.path() + u"\\one",
      temp.path() + u"\\two\\three\\four",
      temp.path() + u"/five/six/",
      temp.path() + u"\\one",  // exists already
      deep,
  };
  for (const auto& folder : cases) {
    EXPECT_EQ(create_directory_all(folder), IoStatus());
    EXPECT_TRUE(is_directory(folder));
  }
  EXPECT_EQ(create_directory_all(u""), IoStatus());
}

TEST(CreateDirectoryAll, RefusesAFileInTheWay) {
  TempFolder temp;
  ASSERT_EQ(write_file(temp.path() + u"\\taken", "file"), IoStatus());
  for (const auto& folder : {temp.path() + u"\\taken", temp.path() + u"\\taken\\below"}) {
    const IoStatus error = create_directory_all(folder);
    ASSERT_FALSE(error);
    EXPECT_EQ(error.error().code, static_cast<std::uint32_t>(ERROR_ALREADY_EXISTS));
  }
  EXPECT_EQ(read_file(temp.path() + u"\\taken"), "file");
}

TEST(WriteFile, WritesWholeFilesAndCutsLongerOnes) {
  TempFolder temp;
  const std::u16string path = temp.path() + u"\\data.bin";
  const std::string big(300000, '\x5A');
  const std::string cases[] = {big, std::string("short\0zero", 10), "", "last"};
  for (const auto& content : cases) {
    EXPECT_EQ(write_file(path, content), IoStatus());
    EXPECT_EQ(read_file(path), content);
  }
}

TEST(WriteFile, KeepsAnExistingFileWithItsAttributes) {
  TempFolder temp;
  const std::u16string path = temp.path() + u"\\ZUR-Vedozaruz.ico";
  // Opening a hidden file to replace it (CREATE_ALWAYS) fails on Windows;
  // the file is kept and only its content goes.
  for (const DWORD attributes : {DWORD(FILE_ATTRIBUTE_HIDDEN), DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)}) {
    ASSERT_EQ(write_file(path, "an older, longer icon"), IoStatus());
    ASSERT_TRUE(SetFileAttributesW(wide(path), attributes));
    EXPECT_EQ(write_file(path, "icon"), IoStatus());
    EXPECT_EQ(read_file(path), "icon");
    EXPECT_EQ(GetFileAttributesW(wide(path)) & attributes, attributes);
    ASSERT_TRUE(SetFileAttributesW(wide(path), FILE_ATTRIBUTE_NORMAL));
  }
}

TEST(WriteFile, LeavesOthersFreeToReadWriteAndDelete) {
  TempFolder temp;
  const std::u16string path = temp.path() + u"\\shared.txt";
  ASSERT_EQ(write_file(path, "old content"), IoStatus());
  unique_handle other(CreateFileW(wide(path), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
  ASSERT_NE(other.get(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(write_file(path, "new"), IoStatus());
  EXPECT_EQ(read_file(path), "new");
}

TEST(WriteFile, ReportsAMissingFolderAndAHolderWithoutSharing) {
  TempFolder temp;
  const IoStatus missing = write_file(temp.path() + u"\\no\\such\\file", "x");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().code, static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));

  const std::u16string path = temp.path() + u"\\held.exe";
  ASSERT_EQ(write_file(path, "v1"), IoStatus());
  {
    unique_handle holder(
        CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    const IoStatus busy = write_file(path, "v2");
    ASSERT_FALSE(busy);
    EXPECT_EQ(busy.error().code, static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
  }
  EXPECT_EQ(read_file(path), "v1");
}

// A link planted under the name that the new file beside a link takes
// (NAME.PID.new, with this process's id) is refused, not followed: the file
// it leads to keeps its content. The name itself is a second name of a file
// (a hard link), so the write goes the new-file road.
TEST(WriteFile, RefusesALinkPlantedWhereTheNewFileGoes) {
  TempFolder temp;
  const std::u16string path = temp.path() + u"\\ZUR-Vedozaruz.ico";
  const std::u16string fresh = path + u"." + std::u16string(reinterpret_cast<const char16_t*>(
                                                  std::to_wstring(GetCurrentProcessId()).c_str())) + u".new";
  ASSERT_EQ(write_file(temp.path() + u"\\shared", "shared"), IoStatus());
  ASSERT_EQ(write_file(temp.path() + u"\\victim", "victim"), IoStatus());
  ASSERT_TRUE(CreateHardLinkW(wide(path), wide(temp.path() + u"\\shared"), nullptr));
  ASSERT_TRUE(CreateHardLinkW(wide(fresh), wide(temp.path() + u"\\victim"), nullptr));
  const IoStatus refused = write_file(path, "icon");
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().code, static_cast<std::uint32_t>(ERROR_FILE_EXISTS));
  EXPECT_EQ(read_file(temp.path() + u"\\victim"), "victim");
  EXPECT_EQ(read_file(temp.path() + u"\\shared"), "shared");
}

// The facts a real NTFS volume shows (Wine makes no reparse points and no
// object-namespace links), and what the write makes of them. Tags as
// Microsoft documents them: symbolic link 0xA000000C, junction 0xA0000003,
// WSL symbolic link 0xA000001D, cloud files 0x9000001A and 0x9000601A,
// OneDrive 0x80000021, deduplication 0x80000013, WOF-compressed 0x80000017,
// app execution alias 0x8000001B.
TEST(ClassifyName, TrustsOnlyANameThatLeadsToItsOwnFile) {
  constexpr std::uint32_t kReparse = 0x400, kArchive = 0x20, kOffline = 0x1000, kRecallOnOpen = 0x40000;
  const std::u16string folder = u"C:\\Users\\ana\\OneDrive\\Z";
  const std::u16string file = folder + u"\\tauri.conf.json";
  const struct {
    std::string_view what;
    NameFacts facts;
    NameKind kind;
  } cases[] = {
      {"an ordinary file", {kArchive, 0, 1, file, folder}, NameKind::Ordinary},
      {"names differing in case only", {kArchive, 0, 1, u"C:\\USERS\\ana\\onedrive\\z\\TAURI.conf.json", folder},
       NameKind::Ordinary},
      {"a symbolic link", {kReparse, 0xA000000C, 1, file, folder}, NameKind::Link},
      {"a junction", {kReparse | 0x10, 0xA0000003, 1, file, folder}, NameKind::Link},
      {"a WSL symbolic link", {kReparse, 0xA000001D, 1, file, folder}, NameKind::Link},
      {"a reparse point whose tag could not be read", {kReparse, 0, 1, file, folder}, NameKind::Link},
      {"a cloud placeholder", {kReparse | kOffline | kRecallOnOpen, 0x9000001A, 1, file, folder}, NameKind::ReparseFile},
      {"a cloud file of another provider", {kReparse, 0x9000601A, 1, file, folder}, NameKind::ReparseFile},
      {"a OneDrive file", {kReparse, 0x80000021, 1, file, folder}, NameKind::ReparseFile},
      {"a deduplicated file", {kReparse | kArchive, 0x80000013, 1, file, folder}, NameKind::ReparseFile},
      {"a compressed system file", {kReparse, 0x80000017, 1, file, folder}, NameKind::ReparseFile},
      {"an app execution alias", {kReparse, 0x8000001B, 1, file, folder}, NameKind::ReparseFile},
      {"a cloud file with a second name", {kReparse, 0x9000001A, 2, file, folder}, NameKind::Link},
      {"a hard link", {kArchive, 0, 2, file, folder}, NameKind::Link},
      {"a link count that could not be read", {kArchive, 0, 0, file, folder}, NameKind::Link},
      {"a Unix symbolic link under Wine", {kArchive, 0, 1, u"C:\\Users\\ana\\Documents\\secret.txt", folder},
       NameKind::Link},
      {"a tag that is no link, leading elsewhere", {kReparse, 0x9000001A, 1, u"D:\\other.json", folder}, NameKind::Link},
      {"a folder that cannot be opened as one (a junction into \\RPC Control)", {kArchive, 0, 1, file, u""},
       NameKind::Link},
      {"a file the system does not name", {kArchive, 0, 1, u"", folder}, NameKind::Link},
      {"a folder reached through a junction, named as its target",
       {kArchive, 0, 1, u"D:\\Moved\\Z\\tauri.conf.json", u"D:\\Moved\\Z"}, NameKind::Ordinary},
      {"a root folder", {kArchive, 0, 1, u"D:\\tauri.conf.json", u"D:\\"}, NameKind::Ordinary},
  };
  for (const auto& c : cases) EXPECT_EQ(classify_name(c.facts, u"tauri.conf.json"), c.kind) << c.what;
}

}  // namespace
}  // namespace zur::win
