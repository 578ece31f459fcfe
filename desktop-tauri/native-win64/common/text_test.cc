#include "text.h"

#include <gtest/gtest.h>

#include "test_support.h"

#include <initializer_list>

namespace zur {
namespace {

TEST(FillTemplate, FillsSlotsLeftToRight) {
  const struct {
    std::string_view pattern;
    std::initializer_list<std::string_view> values;
    std::string_view expected;
  } cases[] = {
      {"a{}b{}c", {"1", "2"}, "a1b2c"}, {"{}{}", {"x", "y"}, "xy"}, {"{}", {""}, ""},
      {"plain", {"x"}, "plain"}, {"", {}, ""},
      // JSON braces around and next to slots
      {"{\"k\":{}}", {"7"}, "{\"k\":7}"},
      {"{\"k\":\"{}\",\"n\":{}}", {"v", "1"}, "{\"k\":\"v\",\"n\":1}"},
      {"{{}", {"x"}, "{x"}, {"{ }{}", {"x"}, "{ }x"}, {"}{}{", {"x"}, "}x{"},
      // extra values are dropped, slots without a value stay
      {"a{}", {"1", "2"}, "a1"}, {"{}-{}-{}", {"1"}, "1-{}-{}"}, {"{}", {}, "{}"},
      // values go in as they are and are never read as slots
      {"{}|{}", {"{}", "z"}, "{}|z"}, {"[{}]", {"\"\\\n"}, "[\"\\\n]"},
  };
  for (const auto& c : cases) EXPECT_EQ(fill_template(c.pattern, c.values), c.expected) << c.pattern;
}

TEST(Decimal, IsPlain) {
  expect_each(decimal, {{0, "0"}, {7, "7"}, {10, "10"}, {2287, "2287"}, {256000, "256000"},
                        {18446744073709551615u, "18446744073709551615"}});
}

TEST(Hex, IsLowerCaseWithPrefix) {
  expect_each(hex, {{0, "0x0"}, {255, "0xff"}, {0x8664, "0x8664"}, {0x20B, "0x20b"},
                    {18446744073709551615u, "0xffffffffffffffff"}});
}

TEST(QuotedForMessage, EscapesWhatWouldBreakTheLine) {
  expect_each(quoted_for_message, {
      {"", R"("")"}, {"Access is denied.", R"("Access is denied.")"}, {"a\"b", R"("a\"b")"},
      {"C:\\x\\", R"("C:\\x\\")"}, {"\t\r\n", R"("\t\r\n")"},
      {"a\x01z", R"("a\u{01}z")"}, {"\x1B[0m", R"("\u{1b}[0m")"}, {"\x7F", R"("\u{7f}")"},
      {std::string_view("a\0b", 3), R"("a\u{00}b")"}, {"caf\xC3\xA9 ~ '", "\"caf\xC3\xA9 ~ '\""},
  });
}

TEST(TrimEnd, RemovesTrailingBlanksTabsAndLineEnds) {
  expect_each(trim_end, {
      {"", ""}, {" \t\r\n", ""}, {"Access is denied.\r\n", "Access is denied."}, {"a \t \r\n\r\n", "a"},
      {"  a", "  a"}, {"a\r\nb\r\n", "a\r\nb"}, {"a\v", "a\v"},
  });
}

}  // namespace
}  // namespace zur
