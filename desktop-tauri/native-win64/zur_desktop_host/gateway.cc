#include "gateway.h"

#include "../common/args.h"
#include "../common/win/fs.h"
#include "../common/win/handles.h"
#include "../common/win/process.h"
#include "../common/win/socket.h"
#include "../common/win/system.h"
#include "gateway_phase.h"
#include "host.h"
#include "host_config.h"

namespace zur::host {
namespace {

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

bool probe_gateway() { return win::loopback_accepts(kGatewayPort, kProbeTimeoutMs); }

bool run_gateway_phase() {
  SystemGateway gateway;
  return run_gateway_phase(gateway);
}

}  // namespace zur::host
