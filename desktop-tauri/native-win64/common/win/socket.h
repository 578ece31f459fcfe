// One bounded TCP connection attempt on the loopback address.
#pragma once

#include <cstdint>

#include "win32.h"

namespace zur::win {

// Whether something accepts a TCP connection on 127.0.0.1:`port` within
// `timeout_ms`. Nothing is sent; the connection is closed at once. Never
// fails: any error means no. Before connecting, the socket is asked, with
// the control code `initial_rto_control`, not to send its SYN again after a
// refusal; a system that refuses that (before Windows 8, or Wine) is simply
// not asked.
bool loopback_accepts(std::uint16_t port, unsigned timeout_ms, DWORD initial_rto_control = SIO_TCP_INITIAL_RTO);

}  // namespace zur::win
