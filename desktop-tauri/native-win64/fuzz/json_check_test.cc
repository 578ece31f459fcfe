#include "json_check.h"

#include <gtest/gtest.h>

namespace zur::json {
namespace {

// The oracle must refuse what a broken output would look like, or the fuzz
// targets built on it prove nothing.
TEST(JsonCheck, AcceptsOnlyStrictJson) {
  const struct {
    std::string_view document;
    bool valid;
  } cases[] = {
      {R"({"ok":true,"a":"x\"y\\z\/\u00e9\ud83d\ude00","n":0,"m":-1.5e+3,"l":[null,false,{}]})", true},
      {" [ ] ", true},
      {R"({"installDir":"a"b"})", false},   // a quote that ends the string early
      {"{\"a\":\"x\ny\"}", false},          // a raw line end inside a string
      {"{\"a\":\"x\x1f\"}", false}, {R"({"a":"\x41"})", false},
      {R"({"a":"\ud800"})", false},         // an unpaired surrogate
      {R"({"a":"\udc00\ud800"})", false},
      {"{\"a\":\"\xC0\xAF\"}", false},      // overlong UTF-8
      {"{\"a\":\"\xED\xA0\x80\"}", false},  // an encoded surrogate
      {R"({"a":01})", false}, {R"({"a":1.})", false}, {R"({"a":1,})", false}, {R"({"a" 1})", false},
      {R"({"a":1}{})", false}, {R"({"a":tru})", false}, {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(parse(c.document).has_value(), c.valid) << c.document;
}

TEST(JsonCheck, DecodesStringsAndKeepsMemberOrder) {
  const auto v = parse(R"({"b":"\u00e9\ud83d\ude00\t","a":12})");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->keys, (std::vector<std::string>{"b", "a"}));
  ASSERT_EQ(v->items.size(), 2u);
  EXPECT_EQ(v->items[0].text, "\xC3\xA9\xF0\x9F\x98\x80\t");
  EXPECT_EQ(v->items[1].text, "12");
}

}  // namespace
}  // namespace zur::json
