// Test helper built as the shipped programs are (their runtime, load
// configuration and hardening): prints its stack protector's canary as 16
// hex digits; with the argument "smash", overruns a protected buffer; with
// "c-functions", checks the runtime's seven C functions and prints each case
// that fails; with "exhaust", asks operator new for more memory than exists.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <new>
#include <string_view>

extern "C" std::uintptr_t __stack_chk_guard;

namespace {

// Writes `count` bytes into 16: the check on return ends the process.
__attribute__((noinline)) char overrun(std::size_t count) {
  char buffer[16];
  volatile char* bytes = buffer;
  for (std::size_t i = 0; i < count; ++i) bytes[i] = 'x';
  return bytes[0];
}

bool print(std::string_view text) {
  DWORD written = 0;
  return WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Through pointers, so that the compiler calls the runtime's functions
// rather than expanding its own.
void* (*volatile move_bytes)(void*, const void*, std::size_t) = ::memmove;
void* (*volatile copy_bytes)(void*, const void*, std::size_t) = ::memcpy;
void* (*volatile set_bytes)(void*, int, std::size_t) = ::memset;
int (*volatile compare_bytes)(const void*, const void*, std::size_t) = ::memcmp;
void* (*volatile find_byte)(const void*, int, std::size_t) = ::memchr;
std::size_t (*volatile text_length)(const char*) = ::strlen;
std::size_t (*volatile wide_length)(const wchar_t*) = ::wcslen;

int sign(int value) { return value < 0 ? -1 : value > 0 ? 1 : 0; }

// Each case: the buffer after the call, or the result, as it must be.
int check_c_functions() {
  int failed = 0;
  auto expect = [&](bool ok, const char* name) {
    if (!ok) print(name), print("\n"), ++failed;
  };
  struct Move {
    const char* name;
    std::size_t to, from, size;
    const char* after;
  };
  for (const Move& c : {Move{"memmove to above from, overlapping", 2, 0, 6, "0101234589"},
                        Move{"memmove to below from, overlapping", 0, 2, 6, "2345676789"},
                        Move{"memmove apart", 0, 6, 4, "6789456789"},
                        Move{"memmove onto itself", 3, 3, 5, "0123456789"},
                        Move{"memmove one past", 1, 0, 9, "0012345678"},
                        Move{"memmove nothing", 4, 0, 0, "0123456789"}}) {
    char buffer[11] = "0123456789";
    expect(move_bytes(buffer + c.to, buffer + c.from, c.size) == buffer + c.to, c.name);
    expect(std::string_view(buffer) == c.after, c.name);
  }
  char big[300], copy[302] = {};
  for (int i = 0; i < 300; ++i) big[i] = static_cast<char>(i * 7);
  expect(copy_bytes(copy + 1, big, 300) == copy + 1, "memcpy result");
  bool same = copy[0] == 0 && copy[301] == 0;
  for (int i = 0; i < 300; ++i) same = same && copy[i + 1] == static_cast<char>(i * 7);
  expect(same, "memcpy 300 bytes, nothing around them");
  char filled[8] = "abcdefg";
  expect(set_bytes(filled + 1, 0x1FF, 5) == filled + 1, "memset result");
  expect(std::string_view(filled, 7) == "a\xFF\xFF\xFF\xFF\xFFg", "memset takes the low byte, 5 bytes only");
  struct Compare {
    const char *a, *b;
    std::size_t size;
    int sign;
  };
  for (const Compare& c : {Compare{"abc", "abd", 3, -1}, Compare{"abd", "abc", 3, 1}, Compare{"abc", "abd", 2, 0},
                           Compare{"a\x80", "a\x01", 2, 1}, Compare{"\x01", "\xFF", 1, -1},
                           Compare{"xa", "ya", 0, 0}, Compare{"b\x00", "a\xFF", 2, 1}}) {
    expect(sign(compare_bytes(c.a, c.b, c.size)) == c.sign, "memcmp sign");
  }
  const char hay[] = "abcabc\xE9";
  expect(find_byte(hay, 'c', 6) == hay + 2, "memchr finds the first");
  expect(find_byte(hay, 0x161, 6) == hay + 0, "memchr compares the low byte");
  expect(find_byte(hay, 0xE9, 7) == hay + 6, "memchr above 0x7F");
  expect(find_byte(hay, 'c', 2) == nullptr, "memchr stops at the length");
  expect(find_byte(hay, 0, 8) == hay + 7, "memchr finds the null");
  expect(text_length("") == 0 && text_length("abc") == 3 && text_length("a\xE9\x01") == 3, "strlen");
  expect(wide_length(L"") == 0 && wide_length(L"h\u00E9llo") == 5 && wide_length(L"\uFFFF\x01") == 2, "wcslen");
  return failed == 0 ? 0 : 1;
}

// 8 EiB, half the address space: more than any heap gives, refused at once.
volatile std::size_t huge = std::size_t{1} << 63;
void* volatile kept;

}  // namespace

int main() {
  const std::wstring_view line = GetCommandLineW();
  if (line.ends_with(L" smash")) return overrun(16 + line.size());
  if (line.ends_with(L" c-functions")) return check_c_functions();
  if (line.ends_with(L" exhaust")) {
    kept = ::operator new(huge);
    static_cast<volatile char*>(kept)[0] = 1;
    print("allocated");
    return 0;
  }
  char text[16];
  for (int i = 0; i < 16; ++i) text[i] = "0123456789abcdef"[(__stack_chk_guard >> (60 - 4 * i)) & 0xF];
  return print(std::string_view(text, sizeof text)) ? 0 : 1;
}
