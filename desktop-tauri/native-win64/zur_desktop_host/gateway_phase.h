// The order of the gateway phase's probes, start and pauses, apart from the
// sockets, files, processes and clock they act on.
#pragma once

#include <optional>
#include <string>

namespace zur::host {

// What the gateway phase does to the system. The desktop host gives it the
// real calls (gateway.cc); tests give it a stand-in that counts them.
class GatewayInterface {
 public:
  // One connection attempt to the gateway: whether it was accepted.
  virtual bool probe() = 0;
  // The gateway script when a file or folder exists at its path; nothing
  // otherwise.
  virtual std::optional<std::u16string> existing_script() = 0;
  // Starts node on `script`; a failed start goes unreported.
  virtual void start(const std::u16string& script) = 0;
  virtual void pause(unsigned milliseconds) = 0;

 protected:
  ~GatewayInterface() = default;
};

// Probes; when nothing answers, looks for the gateway script. Without one,
// one more probe decides. With one, starts it and probes again after each of
// kWaitCycles pauses of kWaitCycleMs, returning at the first answer, then
// once more at once. Returns whether the gateway answered.
[[nodiscard]] bool run_gateway_phase(GatewayInterface& gateway);

}  // namespace zur::host
