#include "host.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

namespace zur::host {
namespace {

std::string show(std::u16string_view text) { return ::testing::PrintToString(std::u16string(text)); }

TEST(ReportMode, AnyElementEqualToAReportOption) {
  const struct {
    ArgumentList arguments;
    bool expected;
  } cases[] = {
      {{u"host"}, false},
      {{u"host", u"--smoke-test"}, true},
      {{u"host", u"--version"}, true},
      {{u"--smoke-test"}, true},
      {{u"--version", u"x"}, true},
      {{u"host", u"--app=x", u"--version", u"--smoke-test"}, true},
      {{u"host", u"--Smoke-Test"}, false},
      {{u"host", u"--VERSION"}, false},
      {{u"host", u"-smoke-test"}, false},
      {{u"host", u"-version"}, false},
      {{u"host", u"--smoke-test=1"}, false},
      {{u"host", u" --version"}, false},
      {{u"host", u"--versio"}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(is_report_mode(c.arguments), c.expected) << ::testing::PrintToString(c.arguments);
}

TEST(SmokeTestReport, IsTheExactLine) {
  EXPECT_EQ(smoke_test_report("x86_64", "windows", true),
            R"({"ok":true,"product":"ZUR WORKSPACE PALISADE-34","version":"3.4.0","arch":"x86_64","os":"windows",)"
            R"("skus":34,"synergyHighways":6,"gatewayReachable":true})");
  EXPECT_EQ(smoke_test_report("x86_64", "windows", false),
            R"({"ok":true,"product":"ZUR WORKSPACE PALISADE-34","version":"3.4.0","arch":"x86_64","os":"windows",)"
            R"("skus":34,"synergyHighways":6,"gatewayReachable":false})");
}

TEST(PageUrl, LastPageOptionAfterElementZeroWins) {
  const std::u16string root = u"http://127.0.0.1:4300/";
  const std::u16string cockpit = u"http://127.0.0.1:4300/synergy-cockpit";
  const std::u16string apps = u"http://127.0.0.1:4300/apps/";
  const struct {
    ArgumentList arguments;
    std::u16string expected;
  } cases[] = {
      {{u"host"}, root},
      {{u"host", u"--help", u"/S"}, root},
      {{u"host", u"--synergy-cockpit"}, cockpit},
      {{u"host", u"--app=ledger"}, apps + u"ledger"},
      {{u"host", u"--app="}, apps},
      {{u"host", u"--app", u"ledger"}, root},
      {{u"host", u"--app=a", u"--synergy-cockpit"}, cockpit},
      {{u"host", u"--synergy-cockpit", u"--app=a"}, apps + u"a"},
      {{u"host", u"--app=a", u"--app=b", u"--other"}, apps + u"b"},
      {{u"--synergy-cockpit"}, root},
      {{u"--app=x"}, root},
      {{u"host", u"--APP=x"}, root},
      {{u"host", u"-app=x"}, root},
      {{u"host", u"--ap"}, root},
      {{u"host", u"--Synergy-Cockpit"}, root},
      {{u"host", u"-synergy-cockpit"}, root},
      {{u"host", u"--synergy-cockpit=1"}, root},
      {{u"host", u" --synergy-cockpit"}, root},
      {{u"host", u"--app=a/b?c=d e"}, apps + u"a/b?c=d e"},
      {{u"host", u"--app==x="}, apps + u"=x="},
      {{u"host", u"--app=--synergy-cockpit"}, apps + u"--synergy-cockpit"},
  };
  for (const auto& c : cases) EXPECT_EQ(page_url(c.arguments), c.expected) << ::testing::PrintToString(c.arguments);
}

TEST(GatewayScript, VariableWhenSetEvenEmpty) {
  const std::u16string_view fallback = u"C:\\OLVENTA\\ZUR-Vedozaruz\\zur-unified-gateway-server.mjs";
  EXPECT_EQ(gateway_script(u"D:\\gw\\server.mjs", fallback), u"D:\\gw\\server.mjs");
  EXPECT_EQ(gateway_script(u"", fallback), u"");
  EXPECT_EQ(gateway_script(std::nullopt, fallback), fallback);
}

TEST(WebviewProfileFolder, InsertsLocalAppDataUnchanged) {
  const struct {
    std::optional<std::u16string> local_app_data;
    std::u16string_view expected;
  } cases[] = {
      {u"C:\\Users\\u\\AppData\\Local", u"C:\\Users\\u\\AppData\\Local\\OLVENTA\\ZUR-Vedozaruz\\webview-profile"},
      {u"C:\\Users\\A B\\Local", u"C:\\Users\\A B\\Local\\OLVENTA\\ZUR-Vedozaruz\\webview-profile"},
      {u"", u"\\OLVENTA\\ZUR-Vedozaruz\\webview-profile"},
      {u"D:\\L\\", u"D:\\L\\\\OLVENTA\\ZUR-Vedozaruz\\webview-profile"},
      {std::nullopt, u".\\webview-profile"},
  };
  for (const auto& c : cases) EXPECT_EQ(webview_profile_folder(c.local_app_data), c.expected) << show(c.expected);
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

constexpr std::u16string_view kStart = u"cmd /C start \"\" \"http://127.0.0.1:4300/apps/";
constexpr std::u16string_view kPercent = u"%%cd:~,%";  // a "%" cmd does not expand

TEST(DefaultHandlerCommandLine, ProtectsWhatCmdWouldInterpret) {
  const std::u16string P(kPercent);
  const struct {
    std::u16string_view name;
    std::u16string expected;  // what follows the app-page prefix, closing quote included
  } cases[] = {
      {u"a&b|c^d<e>f", u"a&b|c^d<e>f\""},
      {u"(x),y;z=1", u"(x),y;z=1\""},
      {u"&calc", u"&calc\""},
      {u"%CD%", P + u"CD" + P + u"25\""},
      {u"%PATH%x%", P + u"25PATH" + P + u"25x" + P + u"25\""},
      {u"%windir%", P + u"25windir" + P + u"25\""},
      {u"100%", u"100" + P + u"25\""},
      {u"%%", P + u"25" + P + u"25\""},
      {u"a%20b", u"a" + P + u"20b\""},
      {u"%2f%G0%0", P + u"2f" + P + u"25G0" + P + u"250\""},
      {u"a b", u"a" + P + u"20b\""},
      {u"a\tb", u"a" + P + u"09b\""},
      {u"a\"b", u"a" + P + u"22b\""},
      {u"\" & calc & \"", P + u"22" + P + u"20&" + P + u"20calc" + P + u"20&" + P + u"20" + P + u"22\""},
      {u"a!PATH!", u"a" + P + u"21PATH" + P + u"21\""},
      {u"x\r\ny", u"x" + P + u"0D" + P + u"0Ay\""},
      {u"\x01\x1F\x7F", P + u"01" + P + u"1F" + P + u"7F\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(default_handler_command_line(std::u16string(kAppPagePrefix) + std::u16string(c.name)),
              std::u16string(kStart) + c.expected)
        << show(c.name);
  }
}

TEST(DefaultHandlerCommandLine, PlainUrlsGoInUnchanged) {
  const std::u16string_view urls[] = {
      u"http://127.0.0.1:4300/",
      u"http://127.0.0.1:4300/synergy-cockpit",
      u"http://127.0.0.1:4300/apps/ledger",
      u"http://127.0.0.1:4300/apps/A-Z_a.z~09",
      u"http://127.0.0.1:4300/apps/a/b?c=d=e",
      u"http://127.0.0.1:4300/apps/caf\u00e9",
  };
  for (const auto url : urls) {
    EXPECT_EQ(default_handler_command_line(url), u"cmd /C start \"\" \"" + std::u16string(url) + u"\"") << show(url);
  }
}

// Percent expansion as cmd applies it to a command line (not a batch file):
// "%NAME%" is a variable reference, "%cd:~," followed by "%" is an empty
// substring of CD and expands to nothing, and a "%" directly followed by
// another "%" stays while the second may open a reference. Names of the
// references found are collected; the text is what the command sees.
struct Expansion {
  std::u16string text;
  std::vector<std::u16string> references;
};

Expansion expand_percents(std::u16string_view line) {
  Expansion result;
  for (std::size_t i = 0; i < line.size();) {
    const std::size_t close = line[i] == u'%' ? line.find(u'%', i + 1) : std::u16string_view::npos;
    if (close == std::u16string_view::npos) {
      result.text += line[i++];
      continue;
    }
    const std::u16string_view name = line.substr(i + 1, close - i - 1);
    if (name.empty()) {
      result.text += u'%';
      i = close;
    } else if (name == u"cd:~,") {
      i = close + 1;
    } else {
      result.references.emplace_back(name);
      result.text.append(line.substr(i, close - i + 1));
      i = close + 1;
    }
  }
  return result;
}

bool is_hex(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f'); }

// How the URL should reach `start`: unchanged but for control characters,
// blanks, quotes and "!" written as %XX, and a "%" that starts no %XX
// escape written as %25.
std::u16string url_as_started(std::u16string_view url) {
  std::u16string out;
  for (std::size_t i = 0; i < url.size(); ++i) {
    const char16_t c = url[i];
    if (c < 0x21 || c == u'"' || c == u'!' || c == 0x7F) {
      constexpr char16_t kDigits[] = u"0123456789ABCDEF";
      out += {u'%', kDigits[c / 16], kDigits[c % 16]};
    } else if (c == u'%' && !(i + 2 < url.size() && is_hex(url[i + 1]) && is_hex(url[i + 2]))) {
      out += u"%25";
    } else {
      out += c;
    }
  }
  return out;
}

// The names that ExpandEnvironmentStrings, as ShellExecute may apply it to
// the URL, would look up: the text between the first and second "%", the
// third and fourth, and so on.
std::vector<std::u16string> expanded_names(std::u16string_view text) {
  std::vector<std::u16string> names;
  for (std::size_t open = text.find(u'%'); open != std::u16string_view::npos;) {
    const std::size_t close = text.find(u'%', open + 1);
    if (close == std::u16string_view::npos) break;
    names.emplace_back(text.substr(open + 1, close - open - 1));
    open = text.find(u'%', close + 1);
  }
  return names;
}

TEST(DefaultHandlerCommandLine, CmdExpandsNoVariableAndSeesOneQuotedUrl) {
  constexpr std::u16string_view kPieces[] = {
      u"%", u"PATH", u"cd", u"CD", u"cd:~,", u"%PATH%", u"!", u"\"", u" ", u"\t", u"\r", u"\n", u"&", u"|", u"^",
      u"<", u">", u"(", u")", u",", u";", u"=", u"a", u"/", u"?", u"~", u":", u"\u00e9",
  };
  std::mt19937 random(4300);
  for (int round = 0; round < 1000; ++round) {
    std::u16string url(kAppPagePrefix);
    for (auto n = random() % 10; n > 0; --n) url += kPieces[random() % std::size(kPieces)];
    const std::u16string line = default_handler_command_line(url);
    const Expansion expanded = expand_percents(line);
    ASSERT_TRUE(expanded.references.empty()) << show(line) << " refers to " << show(expanded.references.front());
    ASSERT_EQ(expanded.text, u"cmd /C start \"\" \"" + url_as_started(url) + u"\"") << show(line);
    // Whatever the handler's side expands could only be a variable whose
    // name begins with two hexadecimal digits: none of the system's own.
    for (const auto& name : expanded_names(url_as_started(url))) {
      ASSERT_TRUE(name.size() >= 2 && is_hex(name[0]) && is_hex(name[1])) << show(line) << " pairs " << show(name);
    }
    const ArgumentList parts = split_command_line(line, u"host.exe");
    ASSERT_EQ(parts.size(), 5u) << show(line);
    ASSERT_EQ(ArgumentList(parts.begin(), parts.begin() + 4), (ArgumentList{u"cmd", u"/C", u"start", u""}));
  }
}

}  // namespace
}  // namespace zur::host
