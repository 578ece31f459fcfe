// Test helper (Linux): a listener on 127.0.0.1:4300 whose accept queue is
// full, so that further connection attempts hang instead of being refused
// or accepted. Prints "ready" once the queue is full; runs until killed.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

#include "expected.h"

int main() {
  sockaddr_in address{
      .sin_family = AF_INET, .sin_port = htons(zur::expected::kGatewayPort), .sin_addr = {.s_addr = htonl(INADDR_LOOPBACK)}};

  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  const int yes = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 0) != 0) {
    std::perror("stalled_listener: bind or listen on 127.0.0.1");
    return 1;
  }
  // A backlog of 0 holds one finished connection; these fill it, and the
  // kernel then drops the SYNs of whoever comes next. Never accepted.
  for (int i = 0; i < 2; ++i) {
    const int client = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  usleep(200 * 1000);
  std::puts("ready");
  std::fflush(stdout);
  pause();
}
