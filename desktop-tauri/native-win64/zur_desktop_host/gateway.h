// The local gateway: whether it answers, and starting it when it does not.
#pragma once

namespace zur::host {

// One TCP connection attempt to 127.0.0.1:4300, given up after 250 ms;
// nothing is sent and the connection is closed at once. Never fails: any
// error means "not reachable".
bool probe_gateway();

// Probes; when nothing answers, starts the gateway script with node (if the
// script exists) and probes again after each of 20 pauses of 180 ms, then
// once more. Returns whether the gateway answered. Silent.
bool run_gateway_phase();

}  // namespace zur::host
