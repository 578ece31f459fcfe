#include "fs.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include "../paths.h"
#include "folder.h"
#include "handles.h"
#include "link_rule.h"
#include "write.h"

namespace zur::win {
namespace {

// This process's id in decimal.
std::u16string process_id() {
  const std::wstring id = std::to_wstring(GetCurrentProcessId());
  return std::u16string(id.begin(), id.end());
}

// A fresh folder under the temporary folder, removed with its content.
class TempFolder {
 public:
  TempFolder() {
    wchar_t base[MAX_PATH];
    path_ = narrow(base, GetTempPathW(MAX_PATH, base));
    path_ += u"zur-fs-test-" + std::u16string(1, char16_t(u'a' + (GetTickCount() % 26))) + process_id();
    CreateDirectoryW(wide(path_), nullptr);
  }
  ~TempFolder() { remove_tree(system_path(path_)); }
  const std::u16string& path() const { return path_; }

 private:
  static void remove_tree(const std::u16string& folder) {
    WIN32_FIND_DATAW entry;
    const HANDLE find = FindFirstFileW(wide(folder + u"\\*"), &entry);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &entry)) {
      const std::u16string name(narrow(entry.cFileName, wcslen(entry.cFileName)));
      if (name == u"." || name == u"..") continue;
      const std::u16string child = folder + u"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_tree(child);
      } else {
        DeleteFileW(wide(child));
      }
    }
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    RemoveDirectoryW(wide(folder));
  }
  std::u16string path_;
};

std::string read_file(const std::u16string& path) {
  const unique_file file(CreateFileW(wide(system_path(path)), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return "<missing>";
  std::string bytes;
  char buffer[4096];
  for (DWORD n = 0; ReadFile(file.get().value, buffer, sizeof buffer, &n, nullptr) && n > 0;) bytes.append(buffer, n);
  return bytes;
}

// Writes a whole file through the folder that holds it, as the installer does.
IoStatus put(const std::u16string& path, std::string_view bytes,
             unique_file (*open)(const std::u16string&) = open_for_writing) {
  std::u16string_view folder = folder_of(path);
  folder.remove_suffix(1);
  const auto pinned = pin_folder(folder);
  if (!pinned) return pinned.error();
  return write_file(*pinned, std::u16string_view(path).substr(folder.size() + 1), bytes, open);
}

// What an operation that fails with the system error `code` returns.
IoStatus failed_with(std::uint32_t code) { return IoError::os(code); }

TEST(SystemPath, HandsShortAbsolutePathsOverAndExtendsTheRest) {
  wchar_t buffer[MAX_PATH];
  std::u16string cwd(narrow(buffer, GetCurrentDirectoryW(MAX_PATH, buffer)));
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
  ASSERT_EQ(put(file, "x"), IoStatus());
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
      temp.path() + u"\\Apps \\Z",  // an inner blank is kept: "Apps " is made
  };
  for (const auto& folder : cases) {
    EXPECT_EQ(create_directory_all(folder), IoStatus());
    EXPECT_TRUE(is_directory(folder));
  }
  EXPECT_EQ(create_directory_all(u""), IoStatus());
  EXPECT_FALSE(path_exists(temp.path() + u"\\Apps")) << "no stray folder without the blank";
}

TEST(CreateDirectoryAll, RefusesAFileInTheWayAndANameOfBlanks) {
  TempFolder temp;
  ASSERT_EQ(put(temp.path() + u"\\taken", "file"), IoStatus());
  const struct {
    std::u16string folder;
    std::uint32_t code;
  } cases[] = {
      {temp.path() + u"\\taken", ERROR_ALREADY_EXISTS},
      {temp.path() + u"\\taken\\below", ERROR_ALREADY_EXISTS},
      // The system would drop the whole last component and name the parent.
      {temp.path() + u"\\ ", ERROR_INVALID_NAME},
      {temp.path() + u"\\new\\. .\\", ERROR_INVALID_NAME},
  };
  for (const auto& c : cases) EXPECT_EQ(create_directory_all(c.folder), failed_with(c.code));
  EXPECT_EQ(read_file(temp.path() + u"\\taken"), "file");
  EXPECT_FALSE(path_exists(temp.path() + u"\\new")) << "nothing made for a name of blanks";
}

// The security every level the installer makes is given, read back by the
// system's own SDDL converter. Wine keeps no security given at creation, so
// what CreateDirectoryW makes of it only Windows shows.
TEST(PrivateFolderSecurity, IsTheOwnersWithUsersReadingItsOwnFiles) {
  std::string descriptor(private_folder_security());
  ASSERT_TRUE(IsValidSecurityDescriptor(descriptor.data()));
  wchar_t* text = nullptr;
  ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1,
                                                                   DACL_SECURITY_INFORMATION, &text, nullptr));
  const std::u16string sddl(narrow(text, wcslen(text)));
  LocalFree(text);
  EXPECT_EQ(sddl, u"D:P(A;OICI;FA;;;OW)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OINP;0x1200a9;;;BU)");
}

// While the folder is held, nobody renames or removes it.
TEST(PinFolder, HoldsTheFolderWhereItIs) {
  TempFolder temp;
  const std::u16string folder = temp.path() + u"\\held";
  ASSERT_TRUE(CreateDirectoryW(wide(folder), nullptr));
  {
    const auto pinned = pin_folder(folder);
    ASSERT_TRUE(pinned);
    EXPECT_TRUE(same_path(pinned->path, final_path(open_file(system_path(folder), 0, kShareAll, OPEN_EXISTING,
                                                             FILE_FLAG_BACKUP_SEMANTICS).get().value, folder)));
    EXPECT_FALSE(MoveFileW(wide(folder), wide(temp.path() + u"\\moved")));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(RemoveDirectoryW(wide(folder)));
  }
  EXPECT_TRUE(MoveFileW(wide(folder), wide(temp.path() + u"\\moved"))) << "let go at the end";
  ASSERT_EQ(put(temp.path() + u"\\file", "x"), IoStatus());
  const auto file = pin_folder(temp.path() + u"\\file");
  ASSERT_FALSE(file);
  EXPECT_EQ(file.error().code, static_cast<std::uint32_t>(ERROR_DIRECTORY));
}

TEST(WriteFile, WritesWholeFilesAndCutsLongerOnes) {
  TempFolder temp;
  const std::u16string path = temp.path() + u"\\data.bin";
  const std::string big(300000, '\x5A');
  const std::string cases[] = {big, std::string("short\0zero", 10), "", "last"};
  for (const auto& content : cases) {
    EXPECT_EQ(put(path, content), IoStatus());
    EXPECT_EQ(read_file(path), content);
  }
}

TEST(WriteFile, KeepsAnExistingFileWithItsAttributes) {
  TempFolder temp;
  const std::u16string path = temp.path() + u"\\ZUR-Vedozaruz.ico";
  // Opening a hidden file to replace it (CREATE_ALWAYS) fails on Windows;
  // the file is kept and only its content goes.
  for (const DWORD attributes : {DWORD(FILE_ATTRIBUTE_HIDDEN), DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)}) {
    ASSERT_EQ(put(path, "an older, longer icon"), IoStatus());
    ASSERT_TRUE(SetFileAttributesW(wide(path), attributes));
    EXPECT_EQ(put(path, "icon"), IoStatus());
    EXPECT_EQ(read_file(path), "icon");
    EXPECT_EQ(GetFileAttributesW(wide(path)) & attributes, attributes);
    ASSERT_TRUE(SetFileAttributesW(wide(path), FILE_ATTRIBUTE_NORMAL));
  }
}

TEST(WriteFile, LeavesOthersFreeToReadWriteAndDelete) {
  TempFolder temp;
  const std::u16string path = temp.path() + u"\\shared.txt";
  ASSERT_EQ(put(path, "old content"), IoStatus());
  const unique_file other(CreateFileW(wide(path), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
  ASSERT_TRUE(other);
  EXPECT_EQ(put(path, "new"), IoStatus());
  EXPECT_EQ(read_file(path), "new");
}

TEST(WriteFile, ReportsAMissingFolderAndAHolderWithoutSharing) {
  TempFolder temp;
  EXPECT_EQ(put(temp.path() + u"\\no\\such\\file", "x"), failed_with(ERROR_PATH_NOT_FOUND));

  const std::u16string path = temp.path() + u"\\held.exe";
  ASSERT_EQ(put(path, "v1"), IoStatus());
  {
    const unique_file holder(CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(put(path, "v2"), failed_with(ERROR_SHARING_VIOLATION));
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
  const std::u16string fresh = path + u"." + process_id() + u".new";
  ASSERT_EQ(put(temp.path() + u"\\shared", "shared"), IoStatus());
  ASSERT_EQ(put(temp.path() + u"\\victim", "victim"), IoStatus());
  ASSERT_TRUE(CreateHardLinkW(wide(path), wide(temp.path() + u"\\shared"), nullptr));
  ASSERT_TRUE(CreateHardLinkW(wide(fresh), wide(temp.path() + u"\\victim"), nullptr));
  EXPECT_EQ(put(path, "icon"), failed_with(ERROR_FILE_EXISTS));
  EXPECT_EQ(read_file(temp.path() + u"\\victim"), "victim");
  EXPECT_EQ(read_file(temp.path() + u"\\shared"), "shared");
}

// The open that writes an existing file reaches another one (a name swapped
// between the look and the write, as a tag that redirects would): that file
// keeps its content, and the name gets a new file of its own.
std::u16string g_swapped_in;
unique_file open_swapped(const std::u16string&) { return open_for_writing(system_path(g_swapped_in)); }

TEST(WriteFile, WritesNothingThroughAnOpenThatReachedAnotherFile) {
  TempFolder temp;
  const std::u16string path = temp.path() + u"\\tauri.conf.json";
  g_swapped_in = temp.path() + u"\\other";
  ASSERT_EQ(put(path, "old"), IoStatus());
  ASSERT_EQ(put(g_swapped_in, "another file"), IoStatus());
  EXPECT_EQ(put(path, "new", open_swapped), IoStatus());
  EXPECT_EQ(read_file(path), "new");
  EXPECT_EQ(read_file(g_swapped_in), "another file");
}

}  // namespace
}  // namespace zur::win
