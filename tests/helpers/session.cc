// Keeps a desktop session open in a Wine prefix while tests or the bench
// run there; prints "ready" once attached.
//
// The first program that makes a window has Wine start its desktop process
// (explorer), which ends again soon after the last program that uses the
// desktop is gone. Without a display, each new start of it can stall a
// windowed program such as an NSIS installer for about 10 s, a cost no
// Windows machine with somebody logged on has. This program attaches to the
// desktop once and stays, so the desktop process stays too. Without a display
// the window itself may not come about; attaching is what counts.
#include <windows.h>

#include <cstdio>

int main() {
  CreateWindowExW(0, L"STATIC", L"zur-test session", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  std::puts("ready");
  std::fflush(stdout);
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(100);
  }
}
