// The shipped programs are built without exceptions (-fno-exceptions): no
// failure of theirs is caught anywhere, so the unwinder, the exception
// runtime, the threads library it needs and the demangler of libstdc++'s
// verbose terminate handler would only add weight. Linking these
// definitions keeps all of that out: whatever the standard library would
// have thrown ends the process here instead, with a message on standard
// error. Linked into the programs only; the tests keep exceptions.

#include <charconv>
#include <cstdlib>
#include <new>
#include <string_view>

#include "win32.h"

namespace {

// What abort() gives on Windows, without msvcrt's message box text.
constexpr UINT kAbnormalExit = 3;

// Bytes straight to standard error, allocating nothing. This file keeps to
// headers that do not define the helpers below themselves (<optional> does,
// inline), so it does not share output.h's writer.
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

// Formats without allocating: there may be no memory left.
[[noreturn]] void out_of_memory(std::size_t size) {
  char text[64] = "memory allocation of ";
  char* end = text + std::string_view(text).size();
  end = std::to_chars(end, text + sizeof text, size).ptr;
  const std::string_view tail = " bytes failed";
  for (const char c : tail) *end++ = c;
  end_abnormally(std::string_view(text, end - text));
}

void* allocate(std::size_t size) {
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  out_of_memory(size);
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

// The library's throw helpers (bits/functexcept.h) that our code reaches.
// Should another be needed, libstdc++'s own definitions come in with it and
// the link fails on the duplicates, so none is ever missed silently.
namespace std {
[[noreturn]] void __throw_bad_alloc() { end_abnormally("out of memory"); }
[[noreturn]] void __throw_bad_array_new_length() { end_abnormally("bad array new length"); }
[[noreturn]] void __throw_length_error(const char* what) { end_abnormally(what); }
[[noreturn]] void __throw_logic_error(const char* what) { end_abnormally(what); }
[[noreturn]] void __throw_out_of_range(const char* what) { end_abnormally(what); }
[[noreturn]] void __throw_out_of_range_fmt(const char* what, ...) { end_abnormally(what); }
[[noreturn]] void __throw_invalid_argument(const char* what) { end_abnormally(what); }
}  // namespace std

namespace __gnu_cxx {
[[noreturn]] void __verbose_terminate_handler() { end_abnormally("terminate called"); }
}  // namespace __gnu_cxx
