// Splitting any command line, and quoting any argument list so that it
// splits back unchanged, checked against the independent model of
// CommandLineToArgvW and the C runtime.
#include "../common/args.h"
#include "../common/args_reference.h"
#include "fuzz_input.h"

namespace {

constexpr std::u16string_view kExe = u"C:\\Apps\\host.exe";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zur;
  using fuzz::require;
  const std::u16string text = fuzz::units(fuzz::as_chars(data, size));

  // The text as a command line, unpaired surrogates and all.
  const ArgumentList split = split_command_line(text, kExe);
  if (text.empty()) {
    require(split == ArgumentList{std::u16string(kExe)}, "an empty line stands for the executable");
  } else {
    require(split == reference_split(text, false), "split agrees with the runtime's rules");
  }

  // The text as an argument list, NUL-separated (a command line cannot hold
  // NUL): the program name first, which cannot hold a double quote.
  ArgumentList expected(1);
  for (const char16_t c : text) {
    if (c == u'\0') expected.emplace_back();
    else if (c != u'"' || expected.size() > 1) expected.back() += c;
  }
  const std::u16string line = make_command_line(expected[0], {expected.begin() + 1, expected.end()});
  require(split_command_line(line, kExe) == expected, "quoted arguments split back by our rules");
  require(reference_split(line, false) == expected, "quoted arguments split back by the runtime");
  require(reference_split(line, true) == expected, "quoted arguments split back by CommandLineToArgvW");
  return 0;
}
