#include "default_handler.h"

#include <gtest/gtest.h>

#include "test_support.h"

#include <random>

#include "../common/args.h"
#include "host.h"

namespace zur::host {
namespace {

constexpr std::u16string_view kStart = u"cmd /C start \"\" \"http://127.0.0.1:4300/apps/";
constexpr std::u16string_view kPercent = u"%%cd:~,%";  // a "%" cmd does not expand

// The end of the command line for a URL escaped as `escaped`: each "%" as
// cmd must see it, then the closing quote.
std::u16string as_cmd_sees(std::u16string_view escaped) {
  std::u16string out;
  for (const char16_t c : escaped) out += c == u'%' ? kPercent : std::u16string_view(&c, 1);
  return out + u'"';
}

TEST(DefaultHandlerCommandLine, ProtectsWhatCmdWouldInterpret) {
  const struct {
    std::u16string_view name;
    std::u16string_view escaped;  // what follows the app-page prefix
  } cases[] = {
      {u"a&b|c^d<e>f", u"a&b|c^d<e>f"}, {u"(x),y;z=1", u"(x),y;z=1"}, {u"&calc", u"&calc"},
      {u"%CD%", u"%CD%25"}, {u"%PATH%x%", u"%25PATH%25x%25"}, {u"%windir%", u"%25windir%25"},
      {u"100%", u"100%25"}, {u"%%", u"%25%25"}, {u"a%20b", u"a%20b"}, {u"%2f%G0%0", u"%2f%25G0%250"},
      {u"a b", u"a%20b"}, {u"a\tb", u"a%09b"}, {u"a\"b", u"a%22b"}, {u"\" & calc & \"", u"%22%20&%20calc%20&%20%22"},
      {u"a!PATH!", u"a%21PATH%21"}, {u"x\r\ny", u"x%0D%0Ay"}, {u"\x01\x1F\x7F", u"%01%1F%7F"},
      {u"caf\u00e9", u"caf%C3%A9"}, {u"\uFF02 & calc & \uFF02", u"%EF%BC%82%20&%20calc%20&%20%EF%BC%82"},
      {u"\uFF05PATH\uFF05", u"%EF%BC%85PATH%EF%BC%85"}, {u"\U0001F600", u"%F0%9F%98%80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(default_handler_command_line(std::u16string(kAppPagePrefix) + std::u16string(c.name)),
              std::u16string(kStart) + as_cmd_sees(c.escaped))
        << show(c.name);
  }
}

TEST(DefaultHandlerCommandLine, PlainUrlsGoInUnchanged) {
  const std::u16string_view urls[] = {
      u"http://127.0.0.1:4300/", u"http://127.0.0.1:4300/synergy-cockpit", u"http://127.0.0.1:4300/apps/ledger",
      u"http://127.0.0.1:4300/apps/A-Z_a.z~09", u"http://127.0.0.1:4300/apps/a/b?c=d=e",
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
// blanks, quotes, "!" and the UTF-8 bytes of what is beyond ASCII written as
// %XX, and a "%" that starts no %XX escape written as %25.
std::u16string url_as_started(std::u16string_view url) {
  constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  auto escape = [&](unsigned byte, std::u16string& out) { out += {u'%', kDigits[byte / 16], kDigits[byte % 16]}; };
  std::u16string out;
  for (std::size_t i = 0; i < url.size(); ++i) {
    const char16_t c = url[i];
    if (c < 0x21 || c == u'"' || c == u'!' || c == 0x7F) {
      escape(c, out);
    } else if (c >= 0x800) {  // the pieces below hold no surrogates
      escape(0xE0 | (c >> 12), out), escape(0x80 | ((c >> 6) & 0x3F), out), escape(0x80 | (c & 0x3F), out);
    } else if (c >= 0x80) {
      escape(0xC0 | (c >> 6), out), escape(0x80 | (c & 0x3F), out);
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
      u"<", u">", u"(", u")", u",", u";", u"=", u"a", u"/", u"?", u"~", u":", u"\u00e9", u"\uFF02", u"\uFF05",
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
