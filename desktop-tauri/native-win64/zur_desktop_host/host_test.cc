#include "host.h"

#include <gtest/gtest.h>

#include "test_support.h"

#include "expected.h"

#include <cstdint>

namespace zur::host {
namespace {

TEST(ReportMode, AnyElementEqualToAReportOption) {
  expect_each(is_report_mode, {
      {{u"host"}, false}, {{u"host", u"--smoke-test"}, true}, {{u"host", u"--version"}, true},
      {{u"--smoke-test"}, true}, {{u"--version", u"x"}, true},
      {{u"host", u"--app=x", u"--version", u"--smoke-test"}, true},
      {{u"host", u"--Smoke-Test"}, false}, {{u"host", u"--VERSION"}, false},
      {{u"host", u"-smoke-test"}, false}, {{u"host", u"-version"}, false},
      {{u"host", u"--smoke-test=1"}, false}, {{u"host", u" --version"}, false}, {{u"host", u"--versio"}, false},
  });
}

TEST(SmokeTestReport, IsTheExactLine) {
  EXPECT_EQ(smoke_test_report("x86_64", "windows", true), expected::smoke_test_report("true"));
  EXPECT_EQ(smoke_test_report("x86_64", "windows", false), expected::smoke_test_report("false"));
}

TEST(PageUrl, LastPageOptionAfterElementZeroWins) {
  const std::u16string root = u"http://127.0.0.1:4300/";
  const std::u16string cockpit = u"http://127.0.0.1:4300/synergy-cockpit";
  const std::u16string apps = u"http://127.0.0.1:4300/apps/";
  expect_each(page_url, {
      {{u"host"}, root}, {{u"host", u"--help", u"/S"}, root}, {{u"host", u"--synergy-cockpit"}, cockpit},
      {{u"host", u"--app=ledger"}, apps + u"ledger"}, {{u"host", u"--app="}, apps},
      {{u"host", u"--app", u"ledger"}, root},
      {{u"host", u"--app=a", u"--synergy-cockpit"}, cockpit},
      {{u"host", u"--synergy-cockpit", u"--app=a"}, apps + u"a"},
      {{u"host", u"--app=a", u"--app=b", u"--other"}, apps + u"b"},
      {{u"--synergy-cockpit"}, root}, {{u"--app=x"}, root},
      {{u"host", u"--APP=x"}, root}, {{u"host", u"-app=x"}, root}, {{u"host", u"--ap"}, root},
      {{u"host", u"--Synergy-Cockpit"}, root}, {{u"host", u"-synergy-cockpit"}, root},
      {{u"host", u"--synergy-cockpit=1"}, root}, {{u"host", u" --synergy-cockpit"}, root},
      {{u"host", u"--app=a/b?c=d e"}, apps + u"a/b?c=d e"},
      {{u"host", u"--app==x="}, apps + u"=x="},
      {{u"host", u"--app=--synergy-cockpit"}, apps + u"--synergy-cockpit"},
  });
}

TEST(GatewayScript, VariableWhenSetEvenEmpty) {
  const std::u16string_view fallback = u"C:\\OLVENTA\\ZUR-Vedozaruz\\zur-unified-gateway-server.mjs";
  EXPECT_EQ(gateway_script(u"D:\\gw\\server.mjs", fallback), u"D:\\gw\\server.mjs");
  EXPECT_EQ(gateway_script(u"", fallback), u"");
  EXPECT_EQ(gateway_script(std::nullopt, fallback), fallback);
}

TEST(WebviewProfileFolder, InsertsLocalAppDataUnchanged) {
  expect_each(webview_profile_folder, {
      {u"C:\\Users\\u\\AppData\\Local", u"C:\\Users\\u\\AppData\\Local\\OLVENTA\\ZUR-Vedozaruz\\webview-profile"},
      {u"C:\\Users\\A B\\Local", u"C:\\Users\\A B\\Local\\OLVENTA\\ZUR-Vedozaruz\\webview-profile"},
      {u"", u"\\OLVENTA\\ZUR-Vedozaruz\\webview-profile"},
      {u"D:\\L\\", u"D:\\L\\\\OLVENTA\\ZUR-Vedozaruz\\webview-profile"},
      {std::nullopt, u".\\webview-profile"},
  });
}

TEST(BrowserArguments, FourInOrderAndOneArgumentEachOnTheCommandLine) {
  const ArgumentList arguments =
      browser_arguments(u"http://127.0.0.1:4300/apps/a b", u"C:\\Users\\A B\\OLVENTA\\ZUR-Vedozaruz\\webview-profile");
  EXPECT_EQ(arguments, (ArgumentList{u"--app=http://127.0.0.1:4300/apps/a b",
                                     u"--user-data-dir=C:\\Users\\A B\\OLVENTA\\ZUR-Vedozaruz\\webview-profile",
                                     u"--no-first-run", u"--window-size=1480,920"}));
  EXPECT_EQ(make_command_line(kBrowserCandidates[0], arguments),
            u"\"C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe\" "
            u"\"--app=http://127.0.0.1:4300/apps/a b\" "
            u"\"--user-data-dir=C:\\Users\\A B\\OLVENTA\\ZUR-Vedozaruz\\webview-profile\" "
            u"--no-first-run --window-size=1480,920");
}

}  // namespace
}  // namespace zur::host
