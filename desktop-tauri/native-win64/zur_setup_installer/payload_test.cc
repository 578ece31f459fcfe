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
  ASSERT_EQ(kLauncherScript.size(), 57u);
  EXPECT_EQ(kLauncherScript, "@echo off\r\nstart \"\" \"%~dp0ZUR-Vedozaruz-Desktop.exe\" %*\r\n");
}

}  // namespace
}  // namespace zur::payload
