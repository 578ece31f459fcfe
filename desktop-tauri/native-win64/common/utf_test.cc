#include "utf.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace zur {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

TEST(ToUtf16, DecodesValidSequences) {
  expect_each(to_utf16, {
      {"", u""}, {"A~\x7F", u"A~\x7F"},
      {"\xC2\x80", u"\u0080"}, {"caf\xC3\xA9", u"caf\u00e9"}, {"\xDF\xBF", u"\u07FF"},
      {"\xE0\xA0\x80", u"\u0800"}, {"\xE2\x82\xAC", u"\u20AC"}, {"\xED\x9F\xBF", u"\uD7FF"},
      {"\xEE\x80\x80", u"\uE000"}, {"\xEF\xBF\xBF", u"\uFFFF"},
      {"\xF0\x90\x80\x80", u"\xD800\xDC00"}, {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
      {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"}, {std::string_view("a\0b", 3), std::u16string(u"a\0b", 3)},
  });
}

TEST(ToUtf16, RefusesInvalidSequences) {
  const std::string_view cases[] = {
      // overlong forms
      "\xC0\x80", "\xC1\xBF", "\xE0\x80\xAF", "\xE0\x9F\xBF", "\xF0\x80\x80\x80", "\xF0\x8F\xBF\xBF",
      // surrogates encoded as such, alone or as a pair
      "\xED\xA0\x80", "\xED\xBF\xBF", "\xED\xA0\xBD\xED\xB8\x80",
      // above U+10FFFF, and lead bytes that no valid text holds
      "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xF7\xBF\xBF\xBF", "\xF8\x88\x80\x80\x80", "\xFE", "\xFF",
      // stray continuation bytes
      "\x80", "a\xBF" "b", "\xC3\xA9\xA9",
      // truncated sequences, at the end or cut by another character
      "\xC3", "a\xC3", "\xE2\x82", "\xF0\x9F\x98", "\xE2\x82" "a", "\xF0\x9F" "ab", "\xC3 ",
      // cut where the bytes that would complete them are still in memory
      std::string_view("\xC3\xA9", 1), std::string_view("\xE2\x82\xAC", 2), std::string_view("\xF0\x9F\x98\x80", 3),
  };
  for (const auto utf8 : cases) EXPECT_FALSE(to_utf16(utf8).has_value()) << ::testing::PrintToString(utf8);
}

TEST(ToUtf8, EncodesAndRefusesUnpairedSurrogates) {
  const struct {
    std::u16string_view utf16;
    std::optional<std::string_view> strict;  // nothing when refused
    std::string_view lossy;
  } cases[] = {
      {u"", "", ""},
      {u"A\u00e9\u20AC", "A\xC3\xA9\xE2\x82\xAC", "A\xC3\xA9\xE2\x82\xAC"},
      {u"\xD83D\xDE00", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
      {u"\uFFFF", "\xEF\xBF\xBF", "\xEF\xBF\xBF"},
      {u"a\xD83D", std::nullopt, "a\xEF\xBF\xBD"}, {u"\xD83Dz", std::nullopt, "\xEF\xBF\xBDz"},
      {u"\xDE00", std::nullopt, kReplacement}, {u"\xDE00\xD83D", std::nullopt, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {u"\xD83D\xD83D\xDE00", std::nullopt, "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
      {u"\xD83D\xDE00\xDE00", std::nullopt, "\xF0\x9F\x98\x80\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    const auto label = show(c.utf16);
    EXPECT_EQ(to_utf8(c.utf16), c.strict) << label;
    EXPECT_EQ(is_valid_utf16(c.utf16), c.strict.has_value()) << label;
    EXPECT_EQ(to_utf8_lossy(c.utf16), c.lossy) << label;
  }
}

TEST(Utf, EveryCodePointRoundTrips) {
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::u16string utf16;
    if (cp < 0x10000) {
      utf16 += static_cast<char16_t>(cp);
    } else {
      utf16 += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      utf16 += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
    const auto utf8 = to_utf8(utf16);
    ASSERT_TRUE(utf8.has_value()) << "U+" << std::hex << static_cast<std::uint32_t>(cp);
    ASSERT_EQ(utf8->size(), cp < 0x80 ? 1u : cp < 0x800 ? 2u : cp < 0x10000 ? 3u : 4u);
    ASSERT_EQ(to_utf16(*utf8), utf16) << "U+" << std::hex << static_cast<std::uint32_t>(cp);
  }
}

}  // namespace
}  // namespace zur
