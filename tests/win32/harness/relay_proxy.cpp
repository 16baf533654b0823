#include "harness/relay_proxy.h"

#include <winsock2.h>

#include <cstring>

#include "harness/loopback.h"

namespace vnscope::test {
namespace {

constexpr timeval kPoll{0, 20'000};

bool Readable(SOCKET socket) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(socket, &set);
  timeval wait = kPoll;
  return select(0, &set, nullptr, nullptr, &wait) == 1;
}

bool SendAll(SOCKET socket, const char* bytes, int length) {
  while (length > 0) {
    const int sent = send(socket, bytes, length, 0);
    if (sent <= 0) return false;
    bytes += sent;
    length -= sent;
  }
  return true;
}

}  // namespace

RelayProxy::RelayProxy(ServerEndpoint target, uint32_t client_bytes_per_second)
    : RelayProxy(std::move(target), client_bytes_per_second, 0) {}

RelayProxy::RelayProxy(ServerEndpoint target, AtPort port) : RelayProxy(std::move(target), 0, port.number) {}

RelayProxy::RelayProxy(ServerEndpoint target, uint32_t client_bytes_per_second, uint16_t port)
    : target_(std::move(target)), client_pace_(client_bytes_per_second), port_(port) {
  static WinsockUser winsock;
  listener_ = ListenOnLoopback(&port_, client_pace_ > 0 ? 64 << 10 : 0);
  acceptor_ = std::thread([this] { Accept(); });
}

RelayProxy::~RelayProxy() {
  stopping_ = true;
  held_ = false;
  acceptor_.join();
  for (auto& relay : relays_) relay.join();
  closesocket(listener_);
}

void RelayProxy::Accept() {
  while (!stopping_) {
    if (!Readable(listener_)) continue;
    const SOCKET client = accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    std::lock_guard guard(lock_);
    ++open_clients_;
    connections_.emplace_back();
    relays_.emplace_back([this, client, index = connections_.size() - 1] { Relay(client, index); });
  }
}

// Copies both ways until both sides have closed, cutting the client's bytes
// into frames (code, 4-byte length, payload) as they pass.
void RelayProxy::Relay(uintptr_t client_socket, size_t index) {
  const SOCKET client = client_socket;
  SOCKET server = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(target_.port);
  address.sin_addr.s_addr = inet_addr(target_.address.c_str());
  bool clientOpen = connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  bool serverOpen = clientOpen;
  std::vector<uint8_t> pending;
  char chunk[16384];
  const ULONGLONG started = GetTickCount64();
  ULONGLONG taken = 0;
  while ((clientOpen || serverOpen) && !stopping_) {
    // One wait for both sides, so that a quiet side never slows the other.
    fd_set readable;
    FD_ZERO(&readable);
    if (clientOpen) FD_SET(client, &readable);
    if (serverOpen && !held_) FD_SET(server, &readable);
    if (readable.fd_count == 0) {
      Sleep(kPoll.tv_usec / 1000);
      continue;
    }
    timeval wait = kPoll;
    if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
    if (clientOpen && FD_ISSET(client, &readable)) {
      const int got = recv(client, chunk, sizeof chunk, 0);
      if (got <= 0) {
        clientOpen = false;
        --open_clients_;
        shutdown(server, SD_SEND);
      } else {
        if (client_pace_ > 0) {
          taken += static_cast<ULONGLONG>(got);
          const ULONGLONG due = started + taken * 1000 / client_pace_;
          const ULONGLONG now = GetTickCount64();
          if (due > now) Sleep(static_cast<DWORD>(due - now));
        }
        SendAll(server, chunk, got);
        pending.insert(pending.end(), chunk, chunk + got);
        while (pending.size() >= 5) {
          uint32_t length;
          std::memcpy(&length, pending.data() + 1, 4);
          if (pending.size() < 5 + size_t{length}) break;
          RecordedRequest request{pending[0], {pending.begin() + 5, pending.begin() + 5 + length}};
          pending.erase(pending.begin(), pending.begin() + 5 + length);
          std::lock_guard guard(lock_);
          connections_[index].push_back(std::move(request));
        }
      }
    }
    if (serverOpen && FD_ISSET(server, &readable)) {
      const int got = recv(server, chunk, sizeof chunk, 0);
      if (got <= 0) {
        serverOpen = false;
        shutdown(client, SD_SEND);
      } else if (dropped_) {
        if (clientOpen) --open_clients_;
        clientOpen = serverOpen = false;
      } else {
        SendAll(client, chunk, got);
      }
    }
  }
  if (clientOpen) --open_clients_;
  closesocket(server);
  closesocket(client);
}

std::vector<std::vector<RecordedRequest>> RelayProxy::Connections() const {
  std::lock_guard guard(lock_);
  return connections_;
}

size_t RelayProxy::CountRequests(uint8_t code) const {
  std::lock_guard guard(lock_);
  size_t count = 0;
  for (const auto& connection : connections_) {
    for (const auto& request : connection) count += request.code == code;
  }
  return count;
}

}  // namespace vnscope::test
