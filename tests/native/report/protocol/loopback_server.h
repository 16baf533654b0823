// A one-connection TCP server on 127.0.0.1 that plays a scripted part in a
// thread, so the client's bytes can be checked as they cross a real socket.
#pragma once
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "report/protocol/report_client.h"

namespace vnscope::test_support {

class LoopbackServer {
 public:
  // Runs `script` on the first connection accepted. A receive buffer size
  // above 0 is set on the listening socket, so the connection inherits it.
  explicit LoopbackServer(std::function<void(int connection)> script, int receive_buffer = 0);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  ServerEndpoint endpoint() const { return {"127.0.0.1", port_}; }
  // Waits for the script to end; what it recorded may be read afterwards.
  void Join();

 private:
  int listener_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
};

// A port on 127.0.0.1 nobody listens on.
uint16_t UnusedPort();

// Helpers for scripts. Reads stop early at the peer's close or an error.
std::vector<uint8_t> ReadExactly(int connection, size_t count);
// One whole message: the 5 header bytes and the payload.
std::vector<uint8_t> ReadMessage(int connection);
// Everything until the client closes its sending side.
std::vector<uint8_t> ReadToEnd(int connection);
void WriteAll(int connection, const std::vector<uint8_t>& bytes);

// A message as the protocol frames it: code, 32-bit little-endian length, payload.
std::vector<uint8_t> Message(uint8_t code, const std::vector<uint8_t>& payload = {});

// Concatenation, for writing expected byte sequences piece by piece.
std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts);

}  // namespace vnscope::test_support
