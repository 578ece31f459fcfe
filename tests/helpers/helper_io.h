// What the Windows test helpers share: reading their settings (environment
// variables), quoting a command line, and appending one JSON record line (a
// start record first) to the file named by ZUR_TEST_RECORD, where
// tests/lib/records.mjs reads it.
#pragma once

#include <windows.h>

#include <string>

// The value of an environment variable; `present` tells an empty value from
// a missing one.
inline std::wstring setting(const std::wstring& name, bool* present = nullptr) {
  std::wstring value(32768, L'\0');
  SetLastError(0);
  const DWORD n = GetEnvironmentVariableW(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
  const bool found = n != 0 || GetLastError() == 0;
  if (present) *present = found;
  value.resize(found && n < value.size() ? n : 0);
  return value;
}

// JSON string text: every code unit outside printable ASCII as \uXXXX, so
// that unpaired surrogates survive.
inline std::string json_string(const std::wstring& text) {
  static const char hex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const wchar_t c : text) {
    if (c == L'"' || c == L'\\') out += '\\';
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += hex[(c >> shift) & 0xF];
    }
  }
  return out + "\"";
}

inline std::string json_bool(bool value) { return value ? "true" : "false"; }

// A JSON object built field by field, in the order the fields are added.
class JsonObject {
 public:
  // `json` is the value's JSON text (see json_string, json_bool).
  JsonObject& add(const std::wstring& key, const std::string& json) {
    text_ += (text_.size() > 1 ? "," : "") + json_string(key) + ":" + json;
    return *this;
  }
  std::string text() const { return text_ + "}"; }

 private:
  std::string text_ = "{";
};

// The path of this program's own executable.
inline std::wstring own_path() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

// What every stand-in records of its start, before its own fields: its path
// ("exe"), its exact command line ("cmd", see json_string) and its console's
// input code page ("consoleCP", 0 without a console).
inline JsonObject start_record() {
  return JsonObject()
      .add(L"exe", json_string(own_path()))
      .add(L"cmd", json_string(GetCommandLineW()))
      .add(L"consoleCP", std::to_string(GetConsoleCP()));
}

// Appends `argument` to `line` with the standard quoting, so that the
// receiving side (CommandLineToArgvW, the C runtime) splits it back exactly.
inline void append_argument(std::wstring& line, const std::wstring& argument) {
  if (!line.empty()) line += L' ';
  const bool quote = argument.empty() || argument.find_first_of(L" \t\"") != std::wstring::npos;
  if (quote) line += L'"';
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
    } else {
      if (c == L'"') line.append(backslashes + 1, L'\\');
      backslashes = 0;
    }
    line += c;
  }
  if (quote) {
    line.append(backslashes, L'\\');
    line += L'"';
  }
}

// Appends the object as one line to ZUR_TEST_RECORD; false when that is not
// set or the line could not be written.
inline bool append_record(const JsonObject& record) {
  const std::wstring path = setting(L"ZUR_TEST_RECORD");
  if (path.empty()) return false;
  const std::string line = record.text() + "\n";
  const HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == line.size();
}
