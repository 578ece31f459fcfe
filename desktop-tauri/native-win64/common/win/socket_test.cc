#include "socket.h"

#include <gtest/gtest.h>

#include "handles.h"

namespace zur::win {
namespace {

// A socket bound to a free loopback port; listening when asked. Bound but
// not listening, it refuses connections, and no other program can take the
// port meanwhile.
struct LoopbackPort {
  unique_socket socket;
  std::uint16_t port = 0;

  explicit LoopbackPort(bool listening) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    socket.reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{.sin_family = AF_INET};
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (bind(socket.get().value, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(socket.get().value, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        (listening && listen(socket.get().value, 4) != 0)) {
      ADD_FAILURE() << "no loopback port: " << WSAGetLastError();
    }
    port = ntohs(address.sin_port);
  }
};

TEST(LoopbackAccepts, AnswersAtOnceWithOrWithoutTheSynOption) {
  // A control code that no system knows stands for a system that refuses
  // SIO_TCP_INITIAL_RTO. Without the option Windows repeats the SYN, so a
  // refusal there may take the whole 250 ms; with it, and under Wine, a
  // refusal is immediate: well under the timeout, with room for a busy
  // machine.
  constexpr DWORD kUnknownControl = _WSAIOW(IOC_VENDOR, 4095);
  const struct {
    bool listening;
    DWORD control;
    bool expected;
    ULONGLONG max_ms;
  } cases[] = {
      {false, SIO_TCP_INITIAL_RTO, false, 200},
      {true, SIO_TCP_INITIAL_RTO, true, 200},
      {false, kUnknownControl, false, 1000},
      {true, kUnknownControl, true, 200},
  };
  for (const auto& c : cases) {
    const LoopbackPort target(c.listening);
    const ULONGLONG started = GetTickCount64();
    EXPECT_EQ(loopback_accepts(target.port, 250, c.control), c.expected) << target.port;
    EXPECT_LE(GetTickCount64() - started, c.max_ms) << "listening " << c.listening << ", control " << c.control;
  }
}

}  // namespace
}  // namespace zur::win
