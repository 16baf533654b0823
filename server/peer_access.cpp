#include "server/peer_access.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <charconv>
#include <cstring>

namespace vnscope::server {
namespace {

PeerAddress FromV6(const in6_addr& v6) {
  PeerAddress address;
  if (IN6_IS_ADDR_V4MAPPED(&v6)) {
    std::memcpy(address.bytes.data(), v6.s6_addr + 12, 4);
    return address;
  }
  address.v4 = false;
  std::memcpy(address.bytes.data(), v6.s6_addr, 16);
  return address;
}

// The address with every bit after the first `prefix` cleared.
PeerAddress Masked(PeerAddress address, int prefix) {
  for (size_t i = 0; i < address.bytes.size(); ++i) {
    const int first_bit = static_cast<int>(i) * 8;
    if (first_bit >= prefix) address.bytes[i] = 0;
    else if (first_bit + 8 > prefix) address.bytes[i] &= static_cast<uint8_t>(0xFF << (8 - (prefix - first_bit)));
  }
  return address;
}

}  // namespace

std::optional<PeerAddress> PeerAddress::FromSocket(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) {
    PeerAddress peer;
    std::memcpy(peer.bytes.data(), &reinterpret_cast<const sockaddr_in*>(&address)->sin_addr, 4);
    return peer;
  }
  if (address.ss_family == AF_INET6) return FromV6(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr);
  return std::nullopt;
}

std::optional<PeerAddress> PeerAddress::FromText(std::string_view text) {
  const std::string host(text);
  in_addr v4;
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) {
    PeerAddress peer;
    std::memcpy(peer.bytes.data(), &v4, 4);
    return peer;
  }
  in6_addr v6;
  if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) return FromV6(v6);
  return std::nullopt;
}

std::optional<AllowList> AllowList::Parse(std::string_view text, std::string* error) {
  AllowList list;
  while (true) {
    const size_t comma = text.find(',');
    std::string_view part = text.substr(0, comma);
    while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
    while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
    const size_t slash = part.find('/');
    const auto base = PeerAddress::FromText(part.substr(0, slash));
    Network network;
    bool ok = base.has_value();
    if (ok) {
      network.base = *base;
      // ::ffff:a.b.c.d/N is the IPv4 network a.b.c.d/(N - 96).
      const int written_bits = part.substr(0, slash).find(':') != std::string_view::npos ? 128 : 32;
      const int bits = base->v4 ? 32 : 128;
      int prefix = written_bits;
      if (slash != std::string_view::npos) {
        const std::string_view digits = part.substr(slash + 1);
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), prefix);
        ok = !digits.empty() && ec == std::errc() && end == digits.data() + digits.size();
      }
      network.prefix = prefix - (written_bits - bits);
      ok = ok && network.prefix >= 0 && network.prefix <= bits;
    }
    if (!ok) {
      *error = "\"" + std::string(part) + "\" is not a network (ADDR/PREFIX or ADDR)";
      return std::nullopt;
    }
    if (Masked(network.base, network.prefix).bytes != network.base.bytes) {
      *error = "\"" + std::string(part) + "\" has address bits beyond its prefix; did you mean a network?";
      return std::nullopt;
    }
    list.networks_.push_back(network);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return list;
}

bool AllowList::Allows(const PeerAddress& address) const {
  if (networks_.empty()) return true;
  for (const Network& network : networks_) {
    if (network.base.v4 == address.v4 && Masked(address, network.prefix).bytes == network.base.bytes) return true;
  }
  return false;
}

ConnectionsPerAddress::Admission ConnectionsPerAddress::Open(const PeerAddress& address,
                                                             const Connection& connection) {
  std::lock_guard guard(lock_);
  Client& client = clients_[address.Key()];
  if (client.served < cap_) {
    ++client.served;
    return Admission::kServe;
  }
  if (client.waiting.size() < cap_) {
    client.waiting.push_back(connection);
    return Admission::kWait;
  }
  return Admission::kRefuse;
}

std::optional<ConnectionsPerAddress::Connection> ConnectionsPerAddress::Handover(const PeerAddress& address) {
  std::lock_guard guard(lock_);
  const auto found = clients_.find(address.Key());
  if (found == clients_.end()) return std::nullopt;
  Client& client = found->second;
  if (!client.waiting.empty()) {
    const Connection next = client.waiting.front();
    client.waiting.pop_front();
    return next;
  }
  if (--client.served == 0) clients_.erase(found);
  return std::nullopt;
}

void ConnectionsPerAddress::CloseWaiting() {
  std::lock_guard guard(lock_);
  for (auto& [key, client] : clients_) {
    for (const Connection& connection : client.waiting) close(connection.fd);
    client.waiting.clear();
  }
}

}  // namespace vnscope::server
