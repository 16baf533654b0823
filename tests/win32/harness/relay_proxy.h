// A loopback relay between the library and the real report server that
// records every request frame per connection, and can hold the server's
// replies back so that a test can act while an exchange is under way, or lose
// them on the way as a broken network would.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "report/protocol/report_client.h"

namespace vnscope::test {

struct RecordedRequest {
  uint8_t code = 0;
  std::vector<uint8_t> payload;
};

class RelayProxy {
 public:
  // Listens on 127.0.0.1 at a free port and relays to `target`. With
  // `client_bytes_per_second` it reads what clients send at that pace through
  // a small receive buffer, as a server on a slow link would.
  explicit RelayProxy(ServerEndpoint target, uint32_t client_bytes_per_second = 0);
  // The same at the port where the library expects its server, for a test
  // in which the server comes up there at last.
  struct AtPort {
    uint16_t number;
  };
  RelayProxy(ServerEndpoint target, AtPort port);
  ~RelayProxy();
  RelayProxy(const RelayProxy&) = delete;
  RelayProxy& operator=(const RelayProxy&) = delete;

  ServerEndpoint endpoint() const { return {"127.0.0.1", port_}; }
  // The requests of every connection so far, in accepting order.
  std::vector<std::vector<RecordedRequest>> Connections() const;
  // How many requests with this code arrived, over all connections.
  size_t CountRequests(uint8_t code) const;
  // While held, nothing the server sends reaches the clients.
  void HoldReplies(bool hold) { held_ = hold; }
  // While set, the first bytes the server sends on a connection are dropped
  // and the client's connection is closed instead: the server has done its
  // work, the client never hears of it.
  void DropReplies(bool drop) { dropped_ = drop; }
  // Connections whose client has not closed its side yet.
  int OpenClients() const { return open_clients_; }

 private:
  RelayProxy(ServerEndpoint target, uint32_t client_bytes_per_second, uint16_t port);
  struct Connection;
  void Accept();
  void Relay(uintptr_t client, size_t index);

  ServerEndpoint target_;
  uint32_t client_pace_;
  uintptr_t listener_;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> held_{false};
  std::atomic<bool> dropped_{false};
  std::atomic<int> open_clients_{0};
  mutable std::mutex lock_;
  std::vector<std::vector<RecordedRequest>> connections_;
  std::vector<std::thread> relays_;
  std::thread acceptor_;
};

}  // namespace vnscope::test
