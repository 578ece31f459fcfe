// The one place that includes the Windows headers.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0602  // Windows 8, the oldest the programs start on (cmake/Win64.cmake)
#endif

#include <winsock2.h>  // before windows.h, which would pull in the old winsock.h
#include <windows.h>
#include <mstcpip.h>  // SIO_TCP_INITIAL_RTO

#include <string>
#include <string_view>

namespace zur::win {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 code units");

// The portable code speaks char16_t; the W APIs take wchar_t. Both are
// UTF-16 code units of the same size, so the views convert at the boundary.
inline const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline wchar_t* wide(std::u16string& text) { return reinterpret_cast<wchar_t*>(text.data()); }
inline std::u16string_view narrow(const wchar_t* text, std::size_t length) {
  return {reinterpret_cast<const char16_t*>(text), length};
}

}  // namespace zur::win
