// What the shipped programs need beneath the standard library, on KERNEL32
// alone: they link no C runtime. Here are their entry point, the stack
// protector's canary, the heap behind operator new, the library's throw
// helpers (the programs are built without exceptions, so whatever the
// library would throw ends the process) and the seven C functions that
// compiled code calls. Nothing of libstdc++'s library is linked either: what
// the programs use of it is templates, made in their own code. Linked into
// the programs only; the tests keep MinGW's runtime, libstdc++ and
// exceptions.

// This file defines the C functions that _FORTIFY_SOURCE's headers would
// otherwise define inline over them.
#undef _FORTIFY_SOURCE

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>

#include "win32.h"

int main();

namespace {

// What abort() gives on Windows.
constexpr UINT kAbnormalExit = 3;

// __fastfail, which this SDK lacks: "int 0x29 with the code in ecx" ends the
// process at once, without running any of its code.
[[noreturn]] void fast_fail(unsigned code) {
  asm volatile("int $0x29" : : "c"(code));
  __builtin_unreachable();
}

// Bytes straight to standard error, allocating nothing. output.h's writer
// is not used: it allocates, and this runs when memory may be gone.
void write_error(std::string_view text) {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD written = 0;
  if (error != nullptr && error != INVALID_HANDLE_VALUE) {
    WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

[[noreturn]] void end_abnormally(std::string_view what) {
  write_error(what);
  write_error("\n");
  ExitProcess(kAbnormalExit);
}

[[noreturn]] void out_of_memory(std::size_t size) {
  char text[64] = "memory allocation of ";
  char* end = text + std::string_view(text).size();
  end = std::to_chars(end, text + sizeof text, size).ptr;
  for (const char c : std::string_view(" bytes failed")) *end++ = c;
  end_abnormally(std::string_view(text, end - text));
}

void* allocate(std::size_t size) {
  if (void* block = HeapAlloc(GetProcessHeap(), 0, size == 0 ? 1 : size)) return block;
  out_of_memory(size);
}

void release(void* block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

}  // namespace

extern "C" {

// The stack protector's canary, read by every protected function. It holds
// the compilers' default security cookie in the file; the load configuration
// (load_config.cc) names it, and the loader of Windows 8 and later, as Wine's,
// replaces that value with a random one before any code of the image runs.
// The image declares Windows 8 (cmake/Win64.cmake), so an older loader,
// which would leave the default, refuses to start it. A loader that started
// it and left the default would give a canary that still stops a stray
// overrun, not one made to measure. No seeder of our own stands in: no
// loader that starts the image leaves the default, and a good random source
// (RtlGenRandom) would bring ADVAPI32 and CRYPTBASE back (see docs/hardening.md).
constexpr std::uintptr_t kDefaultSecurityCookie = 0x00002B992DDFA232;
std::uintptr_t __stack_chk_guard = kDefaultSecurityCookie;

[[noreturn]] void __stack_chk_fail() { fast_fail(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE); }

// The entry point: nothing runs before it but the loader.
[[noreturn]] void mainCRTStartup() { ExitProcess(static_cast<UINT>(main())); }

// Called by main before its first statement: runs the constructors of
// objects with static storage, last first as MinGW's runtime does. lld puts
// them between a -1 and a null entry.
extern void (*__CTOR_LIST__[])();
void __main() {
  std::size_t count = 1;
  while (__CTOR_LIST__[count] != nullptr) ++count;
  while (--count > 0) __CTOR_LIST__[count]();
}

// The C functions that compiled code calls. no_builtin keeps the compiler
// from turning their own loops back into calls to themselves.
__attribute__((no_builtin)) void* memcpy(void* to, const void* from, std::size_t size) {
  void* const result = to;
  asm volatile("rep movsb" : "+D"(to), "+S"(from), "+c"(size) : : "memory");
  return result;
}

__attribute__((no_builtin)) void* memmove(void* to, const void* from, std::size_t size) {
  auto* t = static_cast<unsigned char*>(to);
  const auto* f = static_cast<const unsigned char*>(from);
  if (t <= f || t >= f + size) return memcpy(to, from, size);
  while (size-- > 0) t[size] = f[size];  // overlapping, to above from: from the end
  return to;
}

__attribute__((no_builtin)) void* memset(void* to, int value, std::size_t size) {
  void* const result = to;
  asm volatile("rep stosb" : "+D"(to), "+c"(size) : "a"(value) : "memory");
  return result;
}

__attribute__((no_builtin)) int memcmp(const void* a, const void* b, std::size_t size) {
  const auto* x = static_cast<const unsigned char*>(a);
  const auto* y = static_cast<const unsigned char*>(b);
  for (std::size_t i = 0; i < size; ++i) {
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  }
  return 0;
}

__attribute__((no_builtin)) void* memchr(const void* where, int value, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(where);
  for (std::size_t i = 0; i < size; ++i) {
    if (p[i] == static_cast<unsigned char>(value)) return const_cast<unsigned char*>(p + i);
  }
  return nullptr;
}

__attribute__((no_builtin)) std::size_t strlen(const char* text) {
  std::size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

__attribute__((no_builtin)) std::size_t wcslen(const wchar_t* text) {
  std::size_t length = 0;
  while (text[length] != L'\0') ++length;
  return length;
}

}  // extern "C"

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t) noexcept { release(block); }

// The library's throw helpers (bits/functexcept.h, which declares them
// noreturn) that our code reaches.
// Should another be needed, the link fails on it, so none is ever missed
// silently.
namespace std {
void __throw_bad_alloc() { end_abnormally("out of memory"); }
void __throw_bad_array_new_length() { end_abnormally("bad array new length"); }
void __throw_length_error(const char* what) { end_abnormally(what); }
void __throw_logic_error(const char* what) { end_abnormally(what); }
void __throw_out_of_range(const char* what) { end_abnormally(what); }
void __throw_out_of_range_fmt(const char* what, ...) { end_abnormally(what); }
void __throw_invalid_argument(const char* what) { end_abnormally(what); }
}  // namespace std
