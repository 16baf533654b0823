#include "loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace vnscope::test_support {
namespace {

// Only keeps a broken test from hanging for ever; no result depends on it.
constexpr int kSafetyTimeoutMs = 20'000;

int ListenOnLoopback(int receive_buffer, uint16_t* port) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) throw std::runtime_error("socket");
  if (receive_buffer > 0) {
    setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    close(listener);
    throw std::runtime_error("bind/listen");
  }
  *port = ntohs(address.sin_port);
  return listener;
}

}  // namespace

LoopbackServer::LoopbackServer(std::function<void(int)> script, int receive_buffer) {
  listener_ = ListenOnLoopback(receive_buffer, &port_);
  thread_ = std::thread([this, script = std::move(script)] {
    pollfd entry{listener_, POLLIN, 0};
    if (poll(&entry, 1, kSafetyTimeoutMs) != 1) return;
    const int connection = accept(listener_, nullptr, nullptr);
    if (connection < 0) return;
    timeval timeout{kSafetyTimeoutMs / 1000, 0};
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    script(connection);
    close(connection);
  });
}

LoopbackServer::~LoopbackServer() {
  Join();
  close(listener_);
}

void LoopbackServer::Join() {
  if (thread_.joinable()) thread_.join();
}

uint16_t UnusedPort() {
  uint16_t port = 0;
  close(ListenOnLoopback(0, &port));
  return port;
}

std::vector<uint8_t> ReadExactly(int connection, size_t count) {
  std::vector<uint8_t> bytes(count);
  size_t done = 0;
  while (done < count) {
    const ssize_t got = recv(connection, bytes.data() + done, count - done, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  bytes.resize(done);
  return bytes;
}

std::vector<uint8_t> ReadMessage(int connection) {
  std::vector<uint8_t> message = ReadExactly(connection, 5);
  if (message.size() < 5) return message;
  const uint32_t length = uint32_t{message[1]} | uint32_t{message[2]} << 8 |
                          uint32_t{message[3]} << 16 | uint32_t{message[4]} << 24;
  const std::vector<uint8_t> payload = ReadExactly(connection, length);
  message.insert(message.end(), payload.begin(), payload.end());
  return message;
}

std::vector<uint8_t> ReadToEnd(int connection) {
  std::vector<uint8_t> bytes;
  uint8_t block[4096];
  for (;;) {
    const ssize_t got = recv(connection, block, sizeof block, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    bytes.insert(bytes.end(), block, block + got);
  }
  return bytes;
}

void WriteAll(int connection, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t sent = send(connection, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return;
    done += static_cast<size_t>(sent);
  }
}

std::vector<uint8_t> Message(uint8_t code, const std::vector<uint8_t>& payload) {
  const auto length = static_cast<uint32_t>(payload.size());
  std::vector<uint8_t> message = {code, static_cast<uint8_t>(length),
                                  static_cast<uint8_t>(length >> 8),
                                  static_cast<uint8_t>(length >> 16),
                                  static_cast<uint8_t>(length >> 24)};
  message.insert(message.end(), payload.begin(), payload.end());
  return message;
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> joined;
  for (const auto& part : parts) joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

}  // namespace vnscope::test_support
