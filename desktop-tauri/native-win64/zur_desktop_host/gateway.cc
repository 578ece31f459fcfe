#include "gateway.h"

#include "../common/args.h"
#include "../common/win/fs.h"
#include "../common/win/handles.h"
#include "../common/win/process.h"
#include "../common/win/system.h"
#include "gateway_phase.h"
#include "host.h"
#include "host_config.h"

namespace zur::host {
namespace {

bool sockets_started() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

// The gateway phase's calls on the system.
class SystemGateway final : public GatewayInterface {
 public:
  bool probe() override { return probe_gateway(); }

  std::optional<std::u16string> existing_script() override {
    std::u16string script =
        gateway_script(win::environment_variable(std::u16string(kGatewayScriptVariable)), kDefaultGatewayScript);
    if (!win::path_exists(script)) return std::nullopt;
    return script;
  }

  // Failing to start the gateway is not an error: the probes that follow
  // tell whether anything answers.
  void start(const std::u16string& script) override {
    const auto node = win::find_program(u"node");
    if (!node) return;
    static_cast<void>(win::start_process(*node, make_command_line(u"node", {script}), CREATE_NO_WINDOW));
  }

  void pause(unsigned milliseconds) override { Sleep(milliseconds); }
};

}  // namespace

bool probe_gateway() {
  if (!sockets_started()) return false;
  const win::unique_socket socket(
      WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT));
  if (!socket) return false;
  const SOCKET handle = socket.get().value;
  u_long non_blocking = 1;
  if (ioctlsocket(handle, FIONBIO, &non_blocking) != 0) return false;

  sockaddr_in gateway{};
  gateway.sin_family = AF_INET;
  gateway.sin_port = htons(kGatewayPort);
  gateway.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(handle, reinterpret_cast<const sockaddr*>(&gateway), sizeof gateway) == 0) return true;
  if (WSAGetLastError() != WSAEWOULDBLOCK) return false;

  // Connected when the socket turns writable; refused when it reports an
  // error; given up when neither happens in time.
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(handle, &writable);
  FD_SET(handle, &failed);
  timeval timeout{0, kProbeTimeoutMs * 1000};
  if (select(0, nullptr, &writable, &failed, &timeout) <= 0) return false;
  if (FD_ISSET(handle, &failed) || !FD_ISSET(handle, &writable)) return false;
  int error = 0;
  int length = sizeof error;
  return getsockopt(handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 && error == 0;
}

bool run_gateway_phase() {
  SystemGateway gateway;
  return run_gateway_phase(gateway);
}

}  // namespace zur::host
