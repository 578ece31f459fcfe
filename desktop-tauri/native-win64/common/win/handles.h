// Owning wrappers, one per kind of handle, closed when they go out of scope.
#pragma once

#include <memory>

#include "win32.h"

namespace zur::win {

template <auto Close>
struct CloseWith {
  void operator()(void* handle) const noexcept { Close(handle); }
};

// For handle kinds whose "none" is a value of their own rather than null.
template <typename Handle, Handle (*None)(), auto Close>
struct CloseUnlessNone {
  struct pointer {
    Handle value = None();
    pointer() = default;
    pointer(std::nullptr_t) {}
    pointer(Handle handle) : value(handle) {}
    explicit operator bool() const { return value != None(); }
    friend bool operator==(pointer a, pointer b) { return a.value == b.value; }
  };
  void operator()(pointer handle) const noexcept { Close(handle.value); }
};

inline HANDLE no_file() { return INVALID_HANDLE_VALUE; }
inline SOCKET no_socket() { return INVALID_SOCKET; }

// Kernel objects that the system reports as null when there is none:
// processes, threads, pipes, duplicated handles.
using unique_handle = std::unique_ptr<void, CloseWith<&::CloseHandle>>;

// Files and directories from CreateFileW, which reports INVALID_HANDLE_VALUE
// when there is none; wrap its result at once and test the wrapper.
using unique_file = std::unique_ptr<HANDLE, CloseUnlessNone<HANDLE, &no_file, &::CloseHandle>>;

// Sockets, whose "none" is INVALID_SOCKET.
using unique_socket = std::unique_ptr<SOCKET, CloseUnlessNone<SOCKET, &no_socket, &::closesocket>>;

// Buffers that the system allocated for us with LocalAlloc.
using unique_hlocal = std::unique_ptr<void, CloseWith<&::LocalFree>>;

}  // namespace zur::win
