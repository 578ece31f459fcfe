#include "socket.h"

#include "handles.h"

namespace zur::win {
namespace {

bool sockets_started() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

// After a refusal (RST), Windows sends the SYN again for about 2 s, also on
// loopback, so a connect to a closed port would take the whole timeout.
// TCP_INITIAL_RTO_PARAMETERS: "use the define
// TCP_INITIAL_RTO_NO_SYN_RETRANSMISSIONS to set the number of SYN
// retransmissions for a TCP socket to 0"; Rtt left to the system. The
// control code exists from Windows 8 on, as Microsoft documents it; that a
// refused loopback connect then fails at once is what Windows 10 version
// 1709 and later do in practice. Whatever the answer, the connect goes
// ahead.
void ask_no_syn_retransmissions(SOCKET socket, DWORD control) {
  TCP_INITIAL_RTO_PARAMETERS parameters{};
  parameters.Rtt = TCP_INITIAL_RTO_UNSPECIFIED_RTT;
  parameters.MaxSynRetransmissions = TCP_INITIAL_RTO_NO_SYN_RETRANSMISSIONS;
  DWORD returned = 0;
  static_cast<void>(WSAIoctl(socket, control, &parameters, sizeof parameters, nullptr, 0, &returned, nullptr, nullptr));
}

}  // namespace

bool loopback_accepts(std::uint16_t port, unsigned timeout_ms, DWORD initial_rto_control) {
  if (!sockets_started()) return false;
  const unique_socket socket(
      WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT));
  if (!socket) return false;
  const SOCKET handle = socket.get().value;
  u_long non_blocking = 1;
  if (ioctlsocket(handle, FIONBIO, &non_blocking) != 0) return false;
  ask_no_syn_retransmissions(handle, initial_rto_control);

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
  if (WSAGetLastError() != WSAEWOULDBLOCK) return false;

  // Connected when the socket turns writable; refused when it reports an
  // error; given up when neither happens in time.
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(handle, &writable);
  FD_SET(handle, &failed);
  timeval timeout{static_cast<long>(timeout_ms / 1000), static_cast<long>(timeout_ms % 1000 * 1000)};
  if (select(0, nullptr, &writable, &failed, &timeout) <= 0) return false;
  if (FD_ISSET(handle, &failed) || !FD_ISSET(handle, &writable)) return false;
  int error = 0;
  int length = sizeof error;
  return getsockopt(handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 && error == 0;
}

}  // namespace zur::win
