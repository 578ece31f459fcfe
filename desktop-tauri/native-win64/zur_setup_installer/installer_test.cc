#include "installer.h"

#include <gtest/gtest.h>

#include "expected.h"
#include "test_support.h"

namespace zur::installer {
namespace {

TEST(VerifyBundleMode, AnyElementEqualToTheOption) {
  expect_each(is_verify_bundle_mode, {
      {{u"setup"}, false}, {{u"setup", u"--verify-bundle"}, true}, {{u"--verify-bundle"}, true},
      {{u"setup", u"--install-dir", u"D:\\A", u"--verify-bundle"}, true},
      {{u"setup", u"--install-dir", u"--verify-bundle"}, true},
      {{u"setup", u"--VERIFY-BUNDLE"}, false}, {{u"setup", u"--Verify-Bundle"}, false},
      {{u"setup", u"--verify-bundle=1"}, false}, {{u"setup", u"-verify-bundle"}, false},
      {{u"setup", u"--verify-bundle "}, false},
  });
}

TEST(InstallDirOverride, LastCompletePairAfterElementZero) {
  expect_each(install_dir_override, {
      {{u"setup"}, std::nullopt}, {{u"setup", u"--install-dir", u"D:\\A"}, u"D:\\A"},
      {{u"setup", u"/S", u"--help", u"--install-dir", u"A", u"x"}, u"A"},
      {{u"setup", u"--install-dir", u"A", u"--install-dir", u"B"}, u"B"},
      {{u"setup", u"--install-dir", u"A", u"B", u"--install-dir", u"C"}, u"C"},
      {{u"setup", u"--install-dir", u"--install-dir", u"B"}, u"--install-dir"},
      {{u"setup", u"--install-dir", u"--verify-bundle"}, u"--verify-bundle"},
      {{u"setup", u"--install-dir"}, std::nullopt}, {{u"setup", u"--install-dir", u"A", u"--install-dir"}, u"A"},
      {{u"setup", u"--install-dir", u""}, u""}, {{u"setup", u"--install-dir=D:\\A"}, std::nullopt},
      {{u"setup", u"--Install-Dir", u"A"}, std::nullopt}, {{u"setup", u"-install-dir", u"A"}, std::nullopt},
      {{u"--install-dir", u"A"}, std::nullopt}, {{u"--install-dir", u"--install-dir", u"A"}, u"A"},
  });
}

TEST(DefaultInstallDir, JoinsTheProductFolder) {
  expect_each(default_install_dir, {
      {u"D:\\Profiles\\Local", u"D:\\Profiles\\Local\\OLVENTA\\ZUR-Vedozaruz"},
      {u"D:\\Profiles\\Local\\", u"D:\\Profiles\\Local\\OLVENTA\\ZUR-Vedozaruz"},
      {u"D:/Profiles/Local/", u"D:/Profiles/Local/OLVENTA\\ZUR-Vedozaruz"},
      {u"D:", u"D:OLVENTA\\ZUR-Vedozaruz"},
      {u"", u"OLVENTA\\ZUR-Vedozaruz"},
      {std::nullopt, u".\\OLVENTA\\ZUR-Vedozaruz"},
  });
}

TEST(InstallReceipt, IsTheExactTextWithSlashes) {
  const struct {
    std::u16string_view folder;
    std::uint64_t exe_bytes;
    std::string line;
  } cases[] = {
      {u"D:\\Profiles\\Local\\OLVENTA\\ZUR-Vedozaruz", 256000,
       expected::receipt("D:/Profiles/Local/OLVENTA/ZUR-Vedozaruz", "256000")},
      {u"D:\\Apps\\Z\\", 256000, expected::receipt("D:/Apps/Z/", "256000")},
      {u"D:/Apps/Z", 256000, expected::receipt("D:/Apps/Z", "256000")},
      {u"", 256000, expected::receipt("", "256000")},
      {u".\\OLVENTA\\ZUR-Vedozaruz", 0, expected::receipt("./OLVENTA/ZUR-Vedozaruz", "0")},
      {u"..\\x y", 7, expected::receipt("../x y", "7")},
      {u"\\\\srv\\share\\Z", 1, expected::receipt("//srv/share/Z", "1")},
      {u"C:\\Zo\u00eb\\\U0001F600", 2,
       expected::receipt("C:/Zo\xC3\xAB/\xF0\x9F\x98\x80", "2")},
  };
  for (const auto& c : cases) EXPECT_EQ(install_receipt(c.folder, c.exe_bytes), c.line);
}

// A component that ".." removes may hold what a folder cannot: the receipt
// stays one line of JSON whose installDir names that text.
TEST(InstallReceipt, EscapesQuotesAndControlCharacters) {
  const struct {
    std::u16string_view folder;
    std::string_view install_dir;  // as it stands between the quotes
  } cases[] = {
      {u"C:\\Temp\\x\"y\\..", R"(C:/Temp/x\"y/..)"},
      {u"C:\\Temp\\a\tb\\..", R"(C:/Temp/a\tb/..)"},
      {u"C:\\Temp\\a\nb\r\\..", R"(C:/Temp/a\nb\r/..)"},
      {u"x\x01\x08\x0C\x1F\x7F", R"(x\u0001\u0008\u000c\u001f)" "\x7F"},
      {u"q\",\"installDir\":\"C:\",\"z\":\"\\..", R"(q\",\"installDir\":\"C:\",\"z\":\"/..)"},
  };
  for (const auto& c : cases) EXPECT_EQ(install_receipt(c.folder, 5), expected::receipt(c.install_dir, "5"));
}

TEST(BundleReport, IsTheExactText) {
  EXPECT_EQ(bundle_report(256000, 2287), expected::bundle_report("256000", "2287"));
  EXPECT_EQ(bundle_report(0, 1), expected::bundle_report("0", "1"));
}

}  // namespace
}  // namespace zur::installer
