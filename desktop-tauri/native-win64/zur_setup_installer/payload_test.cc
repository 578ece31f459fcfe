#include "payload.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace zur::payload {
namespace {

TEST(Payload, CarriesTheBuildInputsByteForByte) {
  const struct {
    std::string_view carried;
    const char* source;
  } cases[] = {
      {kHostExecutable, ZUR_HOST_EXE_PATH},
      {kIcon, ZUR_ICON_PATH},
      {kConfiguration, ZUR_CONFIGURATION_PATH},
  };
  for (const auto& c : cases) {
    const std::string source = read_file(c.source);
    EXPECT_EQ(c.carried.size(), source.size()) << c.source;
    EXPECT_TRUE(c.carried == source) << c.source;
  }
  EXPECT_EQ(kHostExecutable.substr(0, 2), "MZ");
}

TEST(Payload, LauncherScriptIsTheTwoLinesWithCrLf) {
  static const unsigned char expected[] = {
      '@', 'e', 'c', 'h', 'o', ' ', 'o', 'f', 'f', 13, 10, 's', 't', 'a', 'r', 't', ' ', '"', '"', ' ',
      '"', '%', '~', 'd', 'p', '0', 'Z', 'U', 'R', '-', 'V', 'e', 'd', 'o', 'z', 'a', 'r', 'u', 'z', '-',
      'D', 'e', 's', 'k', 't', 'o', 'p', '.', 'e', 'x', 'e', '"', ' ', '%', '*', 13, 10};
  ASSERT_EQ(kLauncherScript.size(), 57u);
  EXPECT_EQ(kLauncherScript, std::string_view(reinterpret_cast<const char*>(expected), sizeof expected));
}

}  // namespace
}  // namespace zur::payload
