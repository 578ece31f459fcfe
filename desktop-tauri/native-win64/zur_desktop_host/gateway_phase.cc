#include "gateway_phase.h"

#include "host.h"

namespace zur::host {

bool run_gateway_phase(GatewayInterface& gateway) {
  if (gateway.probe()) return true;
  const std::optional<std::u16string> script = gateway.existing_script();
  if (!script) return gateway.probe();
  gateway.start(*script);
  for (int cycle = 0; cycle < kWaitCycles; ++cycle) {
    gateway.pause(kWaitCycleMs);
    if (gateway.probe()) return true;
  }
  return gateway.probe();
}

}  // namespace zur::host
