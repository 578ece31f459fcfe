// Path rules on any text: joining, how a path goes to the system, the
// folders to create, and PATH-style lists.
#include <array>

#include "../common/paths.h"
#include "fuzz_input.h"

namespace {

using zur::fuzz::require;

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

void check_join(std::u16string_view folder, std::u16string_view name) {
  const std::u16string joined = zur::join_path(folder, name);
  const bool bare_drive = folder.size() == 2 && folder[1] == u':' &&
                          ((folder[0] | 0x20) >= u'a' && (folder[0] | 0x20) <= u'z');
  const bool separate = !folder.empty() && !is_separator(folder.back()) && !bare_drive;
  require(joined == std::u16string(folder) + (separate ? u"\\" : u"") + std::u16string(name),
          "a backslash between folder and name only where one is missing");
}

void check_form(std::u16string_view path) {
  const bool verbatim = path.starts_with(u"\\\\?\\") || path.starts_with(u"\\??\\");
  const zur::PathForm form = zur::classify_path(path);
  if (path.size() >= zur::kLongPathUnits) {
    require((form == zur::PathForm::AsIs) == verbatim, "long paths go verbatim");
  }
  const bool rooted = !path.empty() && is_separator(path[0]);
  const bool has_drive = path.size() >= 2 && path[1] == u':';
  if (!rooted && !has_drive) require(form == zur::PathForm::NeedsFullPath, "relative paths are made absolute");

  // Whatever the full-path service returned, its extended form goes as it is
  // (a device path, kept as it is, is the caller's to judge).
  const std::u16string extended = zur::extended_length_form(path);
  if (!extended.starts_with(u"\\\\.\\")) {
    require(zur::classify_path(extended) == zur::PathForm::AsIs, "the extended form goes as it is");
  }
  require(zur::extended_length_form(extended) == extended, "the extended form is kept");
  require(extended.ends_with(path.substr(std::min<std::size_t>(path.size(), 2))), "the path's text is kept");
}

// A path built from a root and components: the chain is each prefix that
// ends a component.
void check_chain(std::u16string_view text, unsigned char pick) {
  static constexpr std::array<std::u16string_view, 5> kRoots = {
      u"C:\\", u"\\\\srv\\share\\", u"\\\\?\\C:\\", u"\\\\?\\UNC\\srv\\share\\", u"\\"};
  const std::u16string_view root = kRoots[pick % kRoots.size()];
  const bool verbatim = root.starts_with(u"\\\\?\\");
  std::u16string path(root);
  std::vector<std::u16string> expected;
  std::u16string component;
  auto end_component = [&] {
    if (component.empty()) return;
    if (!expected.empty()) path += u'\\';
    path += component;
    expected.push_back(path);
    component.clear();
  };
  for (const char16_t c : text) {
    if (c == u'\\' || (c == u'/' && !verbatim)) end_component();
    else component += c;
  }
  end_component();
  // "\" and then "??" is no longer a rooted path but the verbatim "\??\" form,
  // whose root is the component after it; so is "\??" with a separator added.
  const std::u16string with_separator = path + u"\\";
  if (!verbatim && zur::is_verbatim_path(with_separator)) return;
  require(zur::folder_chain(path) == expected, "the folders below the root, outermost first");
  if (!expected.empty()) require(zur::folder_chain(with_separator) == expected, "a trailing separator adds none");
}

void check_list(std::u16string_view list) {
  const auto entries = zur::split_path_list(list);
  std::u16string unquoted, rejoined;
  std::size_t separators = 0;
  bool quoted = false;
  for (const char16_t c : list) {
    if (c == u'"') quoted = !quoted;
    else unquoted += c;
    if (c == u';' && !quoted) ++separators;
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    require(entries[i].find(u'"') == std::u16string::npos, "quotes are dropped");
    if (i > 0) rejoined += u';';
    rejoined += entries[i];
  }
  require(entries.size() == separators + 1, "one entry per unquoted separator, and one");
  require(rejoined == unquoted, "nothing but the quotes is lost");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::u16string text = zur::fuzz::units(zur::fuzz::as_chars(data + 1, size - 1));
  const std::size_t nul = std::min(text.find(u'\0'), text.size());
  const std::u16string_view folder = std::u16string_view(text).substr(0, nul);
  const std::u16string_view name = std::u16string_view(text).substr(std::min(nul + 1, text.size()));
  check_join(folder, name);
  check_form(text);
  check_form(folder);
  check_chain(text, data[0]);
  check_list(text);
  return 0;
}
