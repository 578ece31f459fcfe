#include "args.h"

#include <algorithm>

namespace zur {
namespace {

constexpr char16_t kQuote = u'"';
constexpr char16_t kBackslash = u'\\';

bool is_blank(char16_t c) { return c == u' ' || c == u'\t'; }

// The program name from the start of `line` up to the first blank outside
// quotes: quotes only toggle quoting, backslashes are plain. Returns where
// the arguments begin.
std::size_t read_program_name(std::u16string_view line, std::u16string& name) {
  std::size_t i = 0;
  for (bool quoted = false; i < line.size(); ++i) {
    const char16_t c = line[i];
    if (c == kQuote) {
      quoted = !quoted;
    } else if (!quoted && is_blank(c)) {
      break;
    } else {
      name += c;
    }
  }
  while (i < line.size() && is_blank(line[i])) ++i;
  return i;
}

// The run of backslashes at `i`: 2n of them before a quote give n and leave
// the quote to open or close quoting, 2n+1 give n and a literal quote; any
// other run stands as it is. Moves `i` past what it took.
void read_backslashes(std::u16string_view line, std::size_t& i, std::u16string& current) {
  std::size_t run = 0;
  while (i < line.size() && line[i] == kBackslash) ++run, ++i;
  if (i == line.size() || line[i] != kQuote) {
    current.append(run, kBackslash);
    return;
  }
  current.append(run / 2, kBackslash);
  if (run % 2 == 1) {
    current += kQuote;
    ++i;
  }
}

}  // namespace

ArgumentList split_command_line(std::u16string_view line, std::u16string_view executable_path) {
  if (line.empty()) return {std::u16string(executable_path)};

  ArgumentList arguments(1);
  std::size_t i = read_program_name(line, arguments[0]);
  std::u16string current;
  bool quoted = false;
  while (i < line.size()) {
    const char16_t c = line[i];
    if (is_blank(c) && !quoted) {
      arguments.push_back(std::move(current));
      current.clear();
      while (i < line.size() && is_blank(line[i])) ++i;
    } else if (c == kBackslash) {
      read_backslashes(line, i, current);
    } else if (c == kQuote && quoted) {
      ++i;
      if (i == line.size()) break;  // still quoted: an empty last argument counts
      if (line[i] == kQuote) {
        current += kQuote;  // "" inside quotes: a literal quote, still quoted
        ++i;
      } else {
        quoted = false;
      }
    } else {
      if (c == kQuote) quoted = true;
      else current += c;
      ++i;
    }
  }
  if (!current.empty() || quoted) arguments.push_back(std::move(current));
  return arguments;
}

void append_quoted_argument(std::u16string& line, std::u16string_view argument) {
  const bool quote = argument.empty() || std::any_of(argument.begin(), argument.end(), is_blank);
  if (quote) line += kQuote;
  std::size_t backslashes = 0;
  for (const char16_t c : argument) {
    if (c == kBackslash) {
      ++backslashes;
    } else {
      if (c == kQuote) line.append(backslashes + 1, kBackslash);  // 2n+1 in all
      backslashes = 0;
    }
    line += c;
  }
  if (quote) {
    line.append(backslashes, kBackslash);  // 2n before the closing quote
    line += kQuote;
  }
}

std::u16string make_command_line(std::u16string_view program, const ArgumentList& arguments) {
  std::u16string line;
  const bool quote = program.empty() || std::any_of(program.begin(), program.end(), is_blank);
  if (quote) line += kQuote;
  line += program;
  if (quote) line += kQuote;
  for (const auto& argument : arguments) {
    line += u' ';
    append_quoted_argument(line, argument);
  }
  return line;
}

bool contains_element(const ArgumentList& arguments, std::u16string_view option) {
  return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
}

}  // namespace zur
