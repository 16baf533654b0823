// Loopback sockets for the test servers and relays that stand in for, or sit
// before, the report server.
#pragma once
#include <winsock2.h>

#include <cstdint>

namespace vnscope::test {

// Winsock started for as long as the object lives.
struct WinsockUser {
  WinsockUser();
  ~WinsockUser();
  WinsockUser(const WinsockUser&) = delete;
  WinsockUser& operator=(const WinsockUser&) = delete;
};

// Listens on 127.0.0.1 at `*port`, or at a port the system picks when it is 0
// and stores it there; INVALID_SOCKET when it cannot. Winsock must be started.
// A receive buffer of `receive_buffer` bytes (0: the system's) keeps what a
// client may send ahead of the reader that small; accepted sockets inherit it.
SOCKET ListenOnLoopback(uint16_t* port, int receive_buffer = 0);

// A loopback port that was free a moment ago and has no listener now.
uint16_t UnusedPort();

}  // namespace vnscope::test
