// The install receipt for any folder text the system could be given (valid
// Unicode), and the two reports for any value they carry: always one line
// of JSON with exactly the members, in order, and the values put in.
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "../common/utf.h"
#include "../zur_desktop_host/host.h"
#include "../zur_setup_installer/installer.h"
#include "expected.h"
#include "fuzz_input.h"

namespace {

using zur::fuzz::require;
using zur::json::Value;

struct Expected {
  std::string_view key;
  Value::Type type;
  std::string text;  // a string's content or a number's digits; "true"/"false" for booleans
};

void require_line(const std::string& line, std::initializer_list<Expected> members) {
  require(line.find_first_of("\r\n") == std::string::npos, "one line");
  const auto value = zur::json::parse(line);
  require(value.has_value(), "parses as JSON");
  require(value->type == Value::Type::Object && value->keys.size() == members.size(), "the members");
  std::size_t i = 0;
  for (const Expected& e : members) {
    const std::string& key = value->keys[i];
    const Value& v = value->items[i++];
    require(key == e.key && v.type == e.type, "each key in order, with its type");
    const std::string got = v.type == Value::Type::Boolean ? (v.boolean ? "true" : "false") : v.text;
    require(got == e.text, "each value");
  }
}

std::uint64_t take_u64(std::string_view& bytes) {
  std::uint64_t value = 0;
  const std::size_t n = std::min<std::size_t>(8, bytes.size());
  std::memcpy(&value, bytes.data(), n);
  bytes.remove_prefix(n);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using Type = Value::Type;
  std::string_view bytes = zur::fuzz::as_chars(data, size);
  const std::uint64_t a = take_u64(bytes);
  const std::uint64_t b = take_u64(bytes);

  const std::u16string folder = zur::fuzz::repaired(zur::fuzz::units(bytes));
  std::string dir = zur::fuzz::utf8_of(folder);
  std::replace(dir.begin(), dir.end(), '\\', '/');
  require_line(zur::installer::install_receipt(folder, a),
               {{"ok", Type::Boolean, "true"},
                {"version", Type::String, std::string(zur::expected::kVersion)},
                {"installDir", Type::String, dir},
                {"exeBytes", Type::Number, std::to_string(a)}});

  require_line(zur::installer::bundle_report(a, b),
               {{"ok", Type::Boolean, "true"},
                {"installer", Type::String, std::string(zur::expected::kInstallerName)},
                {"embeddedExeBytes", Type::Number, std::to_string(a)},
                {"embeddedIcoBytes", Type::Number, std::to_string(b)},
                {"peHeaderValid", Type::Boolean, "true"}});

  const bool reachable = b & 1;
  require_line(zur::host::smoke_test_report("x86_64", "windows", reachable),
               {{"ok", Type::Boolean, "true"},
                {"product", Type::String, "ZUR WORKSPACE PALISADE-34"},
                {"version", Type::String, std::string(zur::expected::kVersion)},
                {"arch", Type::String, "x86_64"},
                {"os", Type::String, "windows"},
                {"skus", Type::Number, "34"},
                {"synergyHighways", Type::Number, "6"},
                {"gatewayReachable", Type::Boolean, reachable ? "true" : "false"}});
  return 0;
}
