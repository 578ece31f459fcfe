#include "args.h"
#include "args_reference.h"

#include <gtest/gtest.h>

#include "test_support.h"

#include <cstdint>
#include <random>

namespace zur {
namespace {

constexpr std::u16string_view kExe = u"C:\\Apps\\host.exe";

ArgumentList split(std::u16string_view line) { return split_command_line(line, kExe); }

TEST(SplitCommandLine, FollowsTheWindowsRules) {
  expect_each(split, {
      // The program name: quotes toggle and are dropped, backslashes are plain.
      {u"\"C:\\Program Files\\app.exe\" x", {u"C:\\Program Files\\app.exe", u"x"}},
      {u"C:\\my\\\"sub dir\"\\app.exe a", {u"C:\\my\\sub dir\\app.exe", u"a"}},
      {u"\"C:\\dir\\\\\" a", {u"C:\\dir\\\\", u"a"}},
      {u"a\\\"b c", {u"a\\b c"}}, {u"app\"\" x", {u"app", u"x"}}, {u"\"open name", {u"open name"}},
      {u"app\tx", {u"app", u"x"}},
      // Separators: spaces and tabs, a run counting as one.
      {u"p a b", {u"p", u"a", u"b"}}, {u"p \t a\t\tb  \t", {u"p", u"a", u"b"}},
      {u"p   ", {u"p"}}, {u"   ", {u""}}, {u" a", {u"", u"a"}},
      // Backslashes: literal unless before a quote; 2n -> n and a delimiter,
      // 2n+1 -> n and a literal quote.
      {u"p a\\b c\\\\d e\\\\", {u"p", u"a\\b", u"c\\\\d", u"e\\\\"}},
      {u"p a\\\"b", {u"p", u"a\"b"}},
      {u"p a\\\\\"b c\"", {u"p", u"a\\b c"}},
      {u"p a\\\\\\\"b", {u"p", u"a\\\"b"}},
      {u"p a\\\\\\\\\"b c\"", {u"p", u"a\\\\b c"}},
      {u"p \"a\\\\\" b", {u"p", u"a\\", u"b"}},
      {u"p \"a\\\" b\"", {u"p", u"a\" b"}},
      // Quoting, doubled quotes inside quotes.
      {u"p \"a b\" c", {u"p", u"a b", u"c"}},
      {u"p a\"b c\"d e", {u"p", u"ab cd", u"e"}},
      {u"p \"a\"\"b\" c", {u"p", u"a\"b", u"c"}},
      {u"p \"a\"\"b c\"", {u"p", u"a\"b c"}},
      {u"p \"\"\"\"", {u"p", u"\""}},
      {u"p a\"\"b", {u"p", u"ab"}},
      {u"p \"a b", {u"p", u"a b"}},
      // Empty arguments from quotes.
      {u"p \"\"", {u"p", u""}}, {u"p a \"\"", {u"p", u"a", u""}}, {u"p \"\" b", {u"p", u"", u"b"}},
      {u"p \"\" ", {u"p", u""}}, {u"p \"", {u"p", u""}},
      // Text outside ASCII passes through, surrogate pairs included.
      {u"p \U0001F600 caf\u00e9", {u"p", u"\U0001F600", u"caf\u00e9"}},
      // An empty line stands for the executable.
      {u"", {std::u16string(kExe)}},
  });
}

TEST(AppendQuotedArgument, QuotesOnlyWhatNeedsIt) {
  const struct {
    std::u16string_view argument;
    std::u16string_view expected;
  } cases[] = {
      {u"", u"\"\""}, {u"plain", u"plain"}, {u"a b", u"\"a b\""}, {u"a\tb", u"\"a\tb\""}, {u" ", u"\" \""},
      {u"\"", u"\\\""}, {u"a\"b", u"a\\\"b"}, {u"a\\\"b", u"a\\\\\\\"b"}, {u"a\\\\\"b", u"a\\\\\\\\\\\"b"},
      {u"a\\b", u"a\\b"}, {u"a\\", u"a\\"},
      {u"a b\\", u"\"a b\\\\\""}, {u"a b\\\\", u"\"a b\\\\\\\\\""}, {u"a b\\\"", u"\"a b\\\\\\\"\""},
      {u"C:\\Program Files\\", u"\"C:\\Program Files\\\\\""},
  };
  for (const auto& c : cases) {
    std::u16string line = u"x ";
    append_quoted_argument(line, c.argument);
    EXPECT_EQ(line, u"x " + std::u16string(c.expected)) << show(c.argument);
  }
}

TEST(MakeCommandLine, QuotesTheProgramWhenItHasBlanks) {
  EXPECT_EQ(make_command_line(u"C:\\Program Files\\app.exe", {u"", u"a b", u"x"}),
            u"\"C:\\Program Files\\app.exe\" \"\" \"a b\" x");
  EXPECT_EQ(make_command_line(u"cmd", {u"/C", u"start"}), u"cmd /C start");
  EXPECT_EQ(make_command_line(u"", {}), u"\"\"");
  EXPECT_EQ(make_command_line(u"node", {}), u"node");
}

// Pieces that stress the quoting: quotes, backslash runs, blanks, text
// outside ASCII and outside the BMP (a surrogate pair).
constexpr std::u16string_view kPieces[] = {
    u"\"", u"\\", u"\\\\\\", u" ", u"\t", u"a", u"Z9", u"\u00e9", u"\U0001F600", u"\"\"", u"\\\"", u"--x=", u"%",
};
constexpr std::u16string_view kPrograms[] = {
    u"app", u"C:\\Program Files\\app.exe", u"C:\\my dir\\", u"", u"\\\\srv\\share\\a b\\x.exe",
};

TEST(MakeCommandLine, RoundTripsThroughBothParsers) {
  std::mt19937 random(20240611);
  auto below = [&](std::uint32_t n) { return static_cast<std::uint32_t>(random() % n); };
  for (int round = 0; round < 2000; ++round) {
    const std::u16string_view program = kPrograms[below(std::size(kPrograms))];
    ArgumentList arguments(below(6));
    for (auto& argument : arguments) {
      for (std::uint32_t n = below(9); n > 0; --n) argument += kPieces[below(std::size(kPieces))];
    }
    const std::u16string line = make_command_line(program, arguments);
    ArgumentList expected{std::u16string(program)};
    expected.insert(expected.end(), arguments.begin(), arguments.end());

    ASSERT_EQ(split_command_line(line, kExe), expected) << ::testing::PrintToString(line);
    ASSERT_EQ(reference_split(line, false), expected) << ::testing::PrintToString(line);
    ASSERT_EQ(reference_split(line, true), expected) << ::testing::PrintToString(line);
  }
}

TEST(SplitCommandLine, AgreesWithTheRuntimeOnArbitraryLines) {
  constexpr char16_t kAlphabet[] = {u'a', u'b', u' ', u'\t', u'"', u'\\'};
  std::mt19937 random(7);
  for (int round = 0; round < 5000; ++round) {
    std::u16string line;
    for (auto n = random() % 14 + 1; n > 0; --n) line += kAlphabet[random() % std::size(kAlphabet)];
    ASSERT_EQ(split_command_line(line, kExe), reference_split(line, false)) << ::testing::PrintToString(line);
  }
}

}  // namespace
}  // namespace zur
