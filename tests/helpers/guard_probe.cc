// Test helper built as the shipped programs are (their runtime, load
// configuration and hardening): prints its stack protector's canary as 16
// hex digits; with the argument "smash", overruns a protected buffer.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cwchar>

extern "C" std::uintptr_t __stack_chk_guard;

namespace {

// Writes `count` bytes into 16: the check on return ends the process.
__attribute__((noinline)) char overrun(std::size_t count) {
  char buffer[16];
  volatile char* bytes = buffer;
  for (std::size_t i = 0; i < count; ++i) bytes[i] = 'x';
  return bytes[0];
}

bool ends_with(const wchar_t* text, const wchar_t* tail) {
  const std::size_t length = std::wcslen(text);
  const std::size_t tail_length = std::wcslen(tail);
  if (tail_length > length) return false;
  for (std::size_t i = 0; i < tail_length; ++i) {
    if (text[length - tail_length + i] != tail[i]) return false;
  }
  return true;
}

}  // namespace

int main() {
  const wchar_t* line = GetCommandLineW();
  if (ends_with(line, L" smash")) return overrun(16 + std::wcslen(line));
  char text[16];
  for (int i = 0; i < 16; ++i) text[i] = "0123456789abcdef"[(__stack_chk_guard >> (60 - 4 * i)) & 0xF];
  DWORD written = 0;
  return WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, sizeof text, &written, nullptr) ? 0 : 1;
}
