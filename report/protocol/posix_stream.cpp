#include "report/protocol/posix_stream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

namespace vnscope {
namespace {

std::string Describe(const char* call, int error) {
  return std::string(call) + ": " + std::strerror(error);
}

}  // namespace

PosixStream::PosixStream(StreamTimeouts timeouts) : timeouts_(timeouts) {}

PosixStream::~PosixStream() { Close(); }

bool PosixStream::Connect(const std::string& address, uint16_t port) {
  if (socket_ >= 0) return Fail("connect: already connected");
  // inet_addr's error value is also the valid broadcast address, so all ones
  // is only believed when the text says so.
  const in_addr_t host = inet_addr(address.c_str());
  if (host == INADDR_NONE && address != "255.255.255.255") {
    return Fail("inet_addr: not a dotted IPv4 address: " + address);
  }
  socket_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
  if (socket_ < 0) return Fail(Describe("socket", errno));

  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = host;
  if (connect(socket_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
    if (errno != EINPROGRESS) {
      const int error = errno;
      Close();
      return Fail(Describe("connect", error));
    }
    if (!WaitReady(POLLOUT, timeouts_.connectMs, "connect")) {
      Close();
      return false;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
    if (error != 0) {
      Close();
      return Fail(Describe("connect", error));
    }
  }
  return true;
}

bool PosixStream::WaitReady(short events, uint32_t timeout_ms, const char* what) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd entry{socket_, events, 0};
    const int ready = poll(&entry, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    if (ready > 0) return true;  // errors and hang-ups show in the call that follows
    if (ready == 0) return Fail(std::string(what) + ": timed out");
    if (errno != EINTR) return Fail(Describe("poll", errno));
  }
}

int32_t PosixStream::Send(const uint8_t* bytes, uint32_t length) {
  if (socket_ < 0) return -1;
  const size_t chunk = length > INT32_MAX ? INT32_MAX : length;
  for (;;) {
    if (!WaitReady(POLLOUT, timeouts_.sendMs, "send")) return -1;
    // MSG_NOSIGNAL: a peer that has gone away is an error result, not SIGPIPE.
    const ssize_t sent = send(socket_, bytes, chunk, MSG_NOSIGNAL);
    if (sent >= 0) return static_cast<int32_t>(sent);
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      Fail(Describe("send", errno));
      return -1;
    }
  }
}

int32_t PosixStream::Receive(uint8_t* buffer, uint32_t length) {
  if (socket_ < 0) return -1;
  return read_ahead_.Read(buffer, length, [this](uint8_t* into, uint32_t size) -> int32_t {
    const size_t chunk = size > INT32_MAX ? INT32_MAX : size;
    for (;;) {
      if (!WaitReady(POLLIN, timeouts_.receiveMs, "recv")) return -1;
      const ssize_t received = recv(socket_, into, chunk, 0);
      if (received >= 0) return static_cast<int32_t>(received);
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        Fail(Describe("recv", errno));
        return -1;
      }
    }
  });
}

void PosixStream::ShutdownSend() {
  if (socket_ >= 0) shutdown(socket_, SHUT_WR);
}

void PosixStream::ShutdownReceive() {
  if (socket_ >= 0) shutdown(socket_, SHUT_RD);
}

void PosixStream::Close() {
  read_ahead_.Discard();
  if (socket_ >= 0) close(socket_);
  socket_ = -1;
}

}  // namespace vnscope
