#include "paths.h"

namespace zur {
namespace {

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

bool is_drive_letter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool is_verbatim(std::u16string_view path) {
  return path.starts_with(u"\\\\?\\") || path.starts_with(u"\\??\\");
}

bool is_bare_drive(std::u16string_view path) {
  return path.size() == 2 && is_drive_letter(path[0]) && path[1] == u':';
}

bool is_drive_absolute(std::u16string_view path) {
  return path.size() >= 3 && is_drive_letter(path[0]) && path[1] == u':' && is_separator(path[2]);
}

bool is_network(std::u16string_view path) {
  return path.size() >= 2 && is_separator(path[0]) && is_separator(path[1]);
}

// End of the component that starts at `from`, given which characters separate.
std::size_t component_end(std::u16string_view path, std::size_t from, bool slash_separates) {
  while (from < path.size() && !(path[from] == u'\\' || (slash_separates && path[from] == u'/'))) ++from;
  return from;
}

// Length of the part of `path` that is never created: drive, share or
// device root, with the separator that follows it.
std::size_t root_length(std::u16string_view path, bool slash_separates) {
  auto after_components = [&](std::size_t from, int count) {
    for (int k = 0; k < count && from < path.size(); ++k) {
      from = component_end(path, from, slash_separates);
      if (from < path.size()) ++from;
    }
    return from;
  };
  if (is_verbatim(path)) {
    const std::u16string_view rest = path.substr(4);
    if (rest.starts_with(u"UNC\\")) return after_components(8, 2);  // \\?\UNC\server\share\ .
    return after_components(4, 1);                                  // \\?\C:\ or \\?\Volume{...}\ .
  }
  if (is_bare_drive(path)) return 2;
  if (is_drive_absolute(path)) return 3;
  if (is_network(path)) return after_components(2, 2);  // \\server\share\ .
  if (!path.empty() && is_separator(path[0])) return 1;
  if (path.size() >= 2 && is_drive_letter(path[0]) && path[1] == u':') return 2;
  return 0;
}

}  // namespace

std::u16string join_path(std::u16string_view folder, std::u16string_view name) {
  std::u16string joined(folder);
  if (!folder.empty() && !is_separator(folder.back()) && !is_bare_drive(folder)) joined += u'\\';
  joined += name;
  return joined;
}

PathForm classify_path(std::u16string_view path) {
  if (is_verbatim(path)) return PathForm::AsIs;
  if (path.size() < kLongPathUnits && (is_bare_drive(path) || is_drive_absolute(path) || is_network(path))) {
    return PathForm::AsIs;
  }
  return PathForm::NeedsFullPath;
}

bool is_verbatim_path(std::u16string_view path) { return is_verbatim(path); }

namespace {

// The last component of `folder`, before any trailing separators; empty,
// "." and ".." name no folder of their own.
std::u16string_view last_name(std::u16string_view folder) {
  while (!folder.empty() && is_separator(folder.back())) folder.remove_suffix(1);
  const std::u16string_view last = folder.substr(folder.find_last_of(u"\\/") + 1);
  return last == u"." || last == u".." ? std::u16string_view() : last;
}

}  // namespace

bool loses_trailing_blanks(std::u16string_view folder) {
  if (is_verbatim(folder)) return false;
  const std::u16string_view last = last_name(folder);
  return !last.empty() && (last.back() == u' ' || last.back() == u'.');
}

bool has_blank_last_name(std::u16string_view folder) {
  const std::u16string_view last = last_name(folder);
  return !last.empty() && last.find_first_not_of(u" .") == std::u16string_view::npos;
}

bool is_absolute_path(std::u16string_view path) {
  return is_verbatim(path) || is_drive_absolute(path) || is_network(path);
}

std::u16string extended_length_form(std::u16string_view full_path) {
  if (is_verbatim(full_path) || full_path.starts_with(u"\\\\.\\")) return std::u16string(full_path);
  if (is_network(full_path)) return std::u16string(u"\\\\?\\UNC\\").append(full_path.substr(2));
  return std::u16string(u"\\\\?\\").append(full_path);
}

std::vector<std::u16string> folder_chain(std::u16string_view path) {
  // In verbatim paths the system takes every character literally: only the
  // backslash separates.
  const bool slash_separates = !is_verbatim(path);
  std::vector<std::u16string> chain;
  for (std::size_t i = root_length(path, slash_separates); i < path.size();) {
    const std::size_t end = component_end(path, i, slash_separates);
    if (end > i) chain.emplace_back(path.substr(0, end));
    i = end + 1;
  }
  return chain;
}

std::u16string_view path_root(std::u16string_view path) {
  if (!is_absolute_path(path) && !is_bare_drive(path)) return {};
  return path.substr(0, root_length(path, !is_verbatim(path)));
}

std::u16string_view folder_of(std::u16string_view path) {
  const auto last = path.find_last_of(u"\\/");
  return last == std::u16string_view::npos ? std::u16string_view() : path.substr(0, last + 1);
}

std::vector<std::u16string> split_path_list(std::u16string_view list) {
  std::vector<std::u16string> entries(1);
  bool quoted = false;
  for (const char16_t c : list) {
    if (c == u'"') {
      quoted = !quoted;
    } else if (c == u';' && !quoted) {
      entries.emplace_back();
    } else {
      entries.back() += c;
    }
  }
  return entries;
}

}  // namespace zur
