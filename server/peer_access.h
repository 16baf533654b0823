// Who may use the report port. The protocol carries no credentials, so the
// only thing the server knows of a client is its address: an allow list of
// networks decides whether a connection is served at all, and a per-address
// count keeps one machine from holding every serving thread.
#pragma once
#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vnscope::server {

// A client's IP address without its port. An IPv4 client reaching an IPv6
// socket (::ffff:a.b.c.d) is its IPv4 address, so that one rule and one
// count cover it however the server listens.
struct PeerAddress {
  bool v4 = true;
  std::array<uint8_t, 16> bytes{};  // IPv4: the first 4

  static std::optional<PeerAddress> FromSocket(const sockaddr_storage& address);
  static std::optional<PeerAddress> FromText(std::string_view text);  // numeric only
  std::string Key() const { return std::string(v4 ? "4" : "6") + std::string(bytes.begin(), bytes.end()); }
};

// The networks whose clients are served. Empty: everyone.
class AllowList {
 public:
  // Parses "CIDR[,CIDR...]", each "ADDR/PREFIX" or a bare address (a network
  // of that one address), IPv4 or IPv6. Nothing with `error` set when a part
  // is not a network, including one whose address has bits beyond its prefix
  // ("10.1.0.0/8"): that is a typing mistake more often than not.
  static std::optional<AllowList> Parse(std::string_view text, std::string* error);

  bool empty() const { return networks_.empty(); }
  bool Allows(const PeerAddress& address) const;

 private:
  struct Network {
    PeerAddress base;
    int prefix = 0;
  };
  std::vector<Network> networks_;
};

// The connections of each client address: at most a cap served at once, as
// many again waiting their turn (holding a descriptor, not a thread), and the
// rest refused. A client that opens its next connection while the server is
// still closing its last one waits a moment rather than being refused.
class ConnectionsPerAddress {
 public:
  explicit ConnectionsPerAddress(uint32_t cap) : cap_(cap) {}
  ~ConnectionsPerAddress() { CloseWaiting(); }
  ConnectionsPerAddress(const ConnectionsPerAddress&) = delete;
  ConnectionsPerAddress& operator=(const ConnectionsPerAddress&) = delete;

  struct Connection {
    int fd = -1;
    sockaddr_storage peer{};
  };
  enum class Admission { kServe, kWait, kRefuse };
  // A new connection of `address`. kWait: it is kept here, owned, until
  // Handover gives it out; kRefuse: the caller closes it.
  Admission Open(const PeerAddress& address, const Connection& connection);
  // Called when a served connection of `address` ends: the connection that
  // waited longest, which takes its place, or nothing, freeing the place.
  std::optional<Connection> Handover(const PeerAddress& address);
  // Closes the connections still waiting.
  void CloseWaiting();

 private:
  struct Client {
    uint32_t served = 0;
    std::deque<Connection> waiting;
  };
  const uint32_t cap_;
  std::mutex lock_;
  std::unordered_map<std::string, Client> clients_;  // only addresses with connections open
};

}  // namespace vnscope::server
