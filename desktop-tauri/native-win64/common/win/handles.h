// Owning wrappers, one per kind of handle, closed when they go out of scope.
#pragma once

#include <memory>

#include "win32.h"

namespace zur::win {

template <auto Close>
struct CloseWith {
  void operator()(void* handle) const noexcept { Close(handle); }
};

// Kernel objects: files, processes, threads, pipes. Store only valid
// handles: CreateFileW's INVALID_HANDLE_VALUE is checked before wrapping.
using unique_handle = std::unique_ptr<void, CloseWith<&::CloseHandle>>;

// Buffers that the system allocated for us with LocalAlloc.
using unique_hlocal = std::unique_ptr<void, CloseWith<&::LocalFree>>;

struct SocketCloser {
  // SOCKET is an integer whose "none" is INVALID_SOCKET, not a null pointer.
  struct pointer {
    SOCKET value = INVALID_SOCKET;
    pointer() = default;
    pointer(std::nullptr_t) {}
    pointer(SOCKET socket) : value(socket) {}
    explicit operator bool() const { return value != INVALID_SOCKET; }
    friend bool operator==(pointer, pointer) = default;
  };
  void operator()(pointer socket) const noexcept { ::closesocket(socket.value); }
};
using unique_socket = std::unique_ptr<SOCKET, SocketCloser>;

}  // namespace zur::win
