#include "paths.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace zur {
namespace {

TEST(JoinPath, PutsOneSeparatorBetween) {
  const struct {
    std::u16string_view folder, name, expected;
  } cases[] = {
      {u"", u"x", u"x"}, {u"C:\\a", u"x", u"C:\\a\\x"}, {u"C:\\a\\", u"x", u"C:\\a\\x"},
      {u"D:/Apps/Z", u"x", u"D:/Apps/Z\\x"}, {u"D:/Apps/Z/", u"x", u"D:/Apps/Z/x"},
      {u"D:", u"x", u"D:x"}, {u"D:\\", u"x", u"D:\\x"}, {u"ab:", u"x", u"ab:\\x"},
      {u".", u"OLVENTA", u".\\OLVENTA"}, {u"\\\\srv\\share", u"x", u"\\\\srv\\share\\x"}, {u"a", u"", u"a\\"},
  };
  for (const auto& c : cases) EXPECT_EQ(join_path(c.folder, c.name), c.expected) << show(c.folder);
}

TEST(ClassifyPath, HandsShortAbsolutePathsOverAsTheyAre) {
  const std::u16string long_tail(300, u'a');
  using enum PathForm;
  const struct {
    std::u16string path;
    PathForm expected;
  } cases[] = {
      {u"\\\\?\\C:\\x", AsIs}, {u"\\??\\C:\\x", AsIs}, {u"\\\\?\\C:\\" + long_tail, AsIs},
      {u"D:", AsIs}, {u"d:", AsIs}, {u"D:\\x", AsIs}, {u"D:/x", AsIs}, {u"D:\\", AsIs},
      {u"\\\\srv\\share", AsIs}, {u"//srv/share", AsIs},
      {u"", NeedsFullPath}, {u"rel", NeedsFullPath}, {u".\\OLVENTA", NeedsFullPath}, {u"..\\x", NeedsFullPath},
      {u"D:folder", NeedsFullPath}, {u"\\x", NeedsFullPath}, {u"/x", NeedsFullPath}, {u"1:\\x", NeedsFullPath},
      // 246 units go as they are, 247 or more need the extended-length form.
      {u"C:\\" + std::u16string(243, u'a'), AsIs}, {u"C:\\" + std::u16string(244, u'a'), NeedsFullPath},
      {u"\\\\s\\" + std::u16string(242, u'a'), AsIs}, {u"\\\\s\\" + std::u16string(243, u'a'), NeedsFullPath},
      {u"C:\\" + long_tail, NeedsFullPath},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(classify_path(c.path), c.expected) << show(c.path) << " (" << c.path.size() << " units)";
  }
}

TEST(ExtendedLengthForm, PrefixesDriveAndNetworkPaths) {
  expect_each(extended_length_form, {
      {u"C:\\a\\b", u"\\\\?\\C:\\a\\b"}, {u"\\\\srv\\share\\a", u"\\\\?\\UNC\\srv\\share\\a"},
      {u"\\\\?\\C:\\a", u"\\\\?\\C:\\a"}, {u"\\??\\C:\\a", u"\\??\\C:\\a"},
      {u"\\\\?\\UNC\\srv\\share", u"\\\\?\\UNC\\srv\\share"}, {u"\\\\.\\COM1", u"\\\\.\\COM1"},
  });
}

TEST(FolderChain, ListsTheFoldersBelowTheRoot) {
  expect_each(folder_chain, {
      {u"C:\\a\\b", {u"C:\\a", u"C:\\a\\b"}}, {u"C:\\a\\b\\", {u"C:\\a", u"C:\\a\\b"}},
      {u"C:\\a\\\\b", {u"C:\\a", u"C:\\a\\\\b"}}, {u"C:/a/b", {u"C:/a", u"C:/a/b"}},
      {u"C:\\a/b", {u"C:\\a", u"C:\\a/b"}}, {u"D:x\\y", {u"D:x", u"D:x\\y"}}, {u"rel\\x", {u"rel", u"rel\\x"}},
      {u".\\OLVENTA\\ZUR-Vedozaruz", {u".", u".\\OLVENTA", u".\\OLVENTA\\ZUR-Vedozaruz"}},
      {u"\\x\\y", {u"\\x", u"\\x\\y"}},
      // nothing to create for a drive, a drive root, a share root or nothing
      {u"", {}}, {u"C:", {}}, {u"C:\\", {}}, {u"C:/", {}}, {u"\\\\srv\\share", {}}, {u"\\\\srv\\share\\", {}},
      {u"\\\\srv\\share\\a\\b", {u"\\\\srv\\share\\a", u"\\\\srv\\share\\a\\b"}},
      {u"//srv/share/a", {u"//srv/share/a"}},
      // verbatim paths: only the backslash separates
      {u"\\\\?\\C:\\a\\b", {u"\\\\?\\C:\\a", u"\\\\?\\C:\\a\\b"}},
      {u"\\\\?\\C:\\a/b", {u"\\\\?\\C:\\a/b"}},
      {u"\\\\?\\C:\\", {}}, {u"\\\\?\\C:", {}},
      {u"\\??\\C:\\a", {u"\\??\\C:\\a"}},
      {u"\\\\?\\UNC\\srv\\share", {}},
      {u"\\\\?\\UNC\\srv\\share\\a", {u"\\\\?\\UNC\\srv\\share\\a"}},
      {u"\\\\?\\UNC\\srv/x\\share\\a", {u"\\\\?\\UNC\\srv/x\\share\\a"}},
  });
}

TEST(FolderOf, KeepsTheLastSeparatorAndPathRootTheVolumes) {
  const struct {
    std::u16string_view path, expected, root;
  } cases[] = {
      {u"C:\\a\\host.exe", u"C:\\a\\", u"C:\\"}, {u"C:/a/b", u"C:/a/", u"C:/"}, {u"a\\b/c", u"a\\b/", u""},
      {u"C:\\", u"C:\\", u"C:\\"}, {u"host.exe", u"", u""}, {u"", u"", u""},
      {u"\\\\?\\Z:\\tmp\\x", u"\\\\?\\Z:\\tmp\\", u"\\\\?\\Z:\\"},
      {u"\\\\?\\UNC\\srv\\share\\x", u"\\\\?\\UNC\\srv\\share\\", u"\\\\?\\UNC\\srv\\share\\"},
      {u"\\\\srv\\share\\x\\y", u"\\\\srv\\share\\x\\", u"\\\\srv\\share\\"},
      {u"\\tools\\x", u"\\tools\\", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(folder_of(c.path), c.expected) << show(c.path);
    EXPECT_EQ(path_root(c.path), c.root) << show(c.path);
  }
}

TEST(LosesTrailingBlanks, OnlyTheLastComponentOutsideVerbatimPaths) {
  const struct {
    std::u16string_view folder;
    bool expected, blank_name;
  } cases[] = {
      {u"C:\\Apps\\Z ", true, false},      {u"C:\\Apps\\Z.", true, false},     {u"C:\\Apps\\Z \\", true, false},
      {u"C:/Apps/Z. /", true, false},        {u"Z ", true, false},                {u"C:\\Apps\\Z", false, false},
      {u"C:\\Apps\\Z \\sub", false, false}, {u"C:\\Apps\\.", false, false},     {u"C:\\Apps\\..\\", false, false},
      {u"\\\\?\\C:\\Apps\\Z ", false, false}, {u"\\??\\C:\\Z.", false, false},      {u"", false, false},
      {u"C:\\", false, false},              {u"C:\\Apps\\ ", true, true},       {u"C:\\Apps\\. .\\", true, true},
      {u"...", true, true},                  {u"\\\\?\\C:\\Apps\\  ", false, true}, {u"C:\\Apps\\ x", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(loses_trailing_blanks(c.folder), c.expected) << show(c.folder);
    EXPECT_EQ(has_blank_last_name(c.folder), c.blank_name) << show(c.folder);
  }
}

TEST(IsAbsolutePath, OnlyWhatNoCurrentFolderCompletes) {
  expect_each(is_absolute_path, {
      {u"C:\\tools", true},      {u"c:/tools", true},        {u"C:\\", true},
      {u"\\\\srv\\share", true}, {u"//srv/share", true},     {u"\\\\?\\C:\\x", true},
      {u"\\??\\C:\\x", true},    {u"\\\\.\\pipe", true},     {u"", false},
      {u".", false},              {u"..\\bin", false},        {u"bin", false},
      {u"%USERPROFILE%\\bin", false}, {u"D:tools", false},     {u"D:", false},
      {u"\\tools", false},         {u"/tools", false},         {u" C:\\tools", false},
  });
}

TEST(SplitPathList, SplitsOnSemicolonsOutsideQuotes) {
  expect_each(split_path_list, {
      {u"", {u""}}, {u"C:\\a;D:\\b", {u"C:\\a", u"D:\\b"}}, {u"a;;b;", {u"a", u"", u"b", u""}},
      {u"\"C:\\x;y\";z", {u"C:\\x;y", u"z"}}, {u"a\"b\"c", {u"abc"}}, {u"\"open;x", {u"open;x"}},
  });
}

}  // namespace
}  // namespace zur
