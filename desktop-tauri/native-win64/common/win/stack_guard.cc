// The stack protector's runtime for the shipped programs, in place of
// libssp's. libssp seeds its canary through CryptAcquireContext, which loads
// a cryptographic provider: under Wine that alone costs each start of a
// program about 40 ms and 8 MiB. RtlGenRandom (advapi32's SystemFunction036)
// gives the same kind of random bytes without a provider. Linked into the
// programs only; the tests keep libssp.

#include <cstdint>

#include "win32.h"

namespace {

// __fastfail, which this SDK lacks: "int 0x29 with the code in ecx" ends the
// process at once, without running any of its code.
[[noreturn]] void fast_fail(unsigned code) {
  asm volatile("int $0x29" : : "c"(code));
  __builtin_unreachable();
}

}  // namespace

extern "C" {

// RtlGenRandom: "Generates a pseudo-random number", exported under this name.
BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);

// Read by every protected function; GCC's code expects these two names.
std::uintptr_t __stack_chk_guard = 0;

[[noreturn]] void __stack_chk_fail() { fast_fail(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE); }

// Called by the checked (fortified) string and memory functions.
[[noreturn]] void __chk_fail() { fast_fail(FAST_FAIL_RANGE_CHECK_FAILURE); }

}  // extern "C"

namespace {

// Before every other constructor and main, so no protected function is on
// the stack while the canary changes; not protected itself for that reason.
__attribute__((constructor(101), no_stack_protector)) void seed_stack_guard() {
  std::uintptr_t guard = 0;
  if (!SystemFunction036(&guard, sizeof guard) || guard == 0) {
    // The classic fallback: what differs between processes and starts.
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    guard = static_cast<std::uintptr_t>(counter.QuadPart) ^ (std::uintptr_t{GetCurrentProcessId()} << 32) ^
            GetCurrentThreadId() ^ reinterpret_cast<std::uintptr_t>(&guard);
  }
  __stack_chk_guard = guard | 1;  // never zero
}

}  // namespace
