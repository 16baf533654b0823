#include "harness/loopback.h"

namespace vnscope::test {

WinsockUser::WinsockUser() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
}

WinsockUser::~WinsockUser() { WSACleanup(); }

SOCKET ListenOnLoopback(uint16_t* port, int receive_buffer) {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener != INVALID_SOCKET && receive_buffer > 0) {
    setsockopt(listener, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receive_buffer),
               sizeof receive_buffer);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(*port);
  int size = sizeof address;
  if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(listener, 16) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    if (listener != INVALID_SOCKET) closesocket(listener);
    return INVALID_SOCKET;
  }
  *port = ntohs(address.sin_port);
  return listener;
}

uint16_t UnusedPort() {
  // Only for the probe: the library under test must start Winsock itself.
  WinsockUser winsock;
  uint16_t port = 0;
  closesocket(ListenOnLoopback(&port));
  return port;
}

}  // namespace vnscope::test
