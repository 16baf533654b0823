#include "server/socket_io.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

namespace vnscope::server {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `events` on `fd` (and for input on `stop_fd` when >= 0). Returns
// kOk when `fd` is ready or has an error or hang-up to report, which the next
// read or write then shows.
IoStatus Wait(int fd, short events, int idle_ms, int stop_fd) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(idle_ms);
  for (;;) {
    pollfd fds[2] = {{fd, events, 0}, {stop_fd, POLLIN, 0}};
    const int ready = poll(fds, stop_fd >= 0 ? 2 : 1, RemainingMs(deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return IoStatus::kFailed;
    }
    if (ready == 0) return IoStatus::kTimedOut;
    if (fds[0].revents) return IoStatus::kOk;
    return IoStatus::kStopped;
  }
}

}  // namespace

void UniqueFd::Reset() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

const char* IoStatusName(IoStatus status) {
  switch (status) {
    case IoStatus::kOk:
      return "ok";
    case IoStatus::kClosed:
      return "closed by client";
    case IoStatus::kTimedOut:
      return "timed out";
    case IoStatus::kStopped:
      return "server stopping";
    case IoStatus::kFailed:
      return "socket error";
  }
  return "?";
}

IoStatus ReadSome(int fd, uint8_t* data, size_t size, int idle_ms, int stop_fd, size_t* got) {
  *got = 0;
  for (;;) {
    const ssize_t n = recv(fd, data, size, 0);
    if (n > 0) {
      *got = static_cast<size_t>(n);
      return IoStatus::kOk;
    }
    if (n == 0) return IoStatus::kClosed;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return IoStatus::kFailed;
    const IoStatus waited = Wait(fd, POLLIN, idle_ms, stop_fd);
    if (waited != IoStatus::kOk) return waited;
  }
}

IoStatus ReadFull(int fd, uint8_t* data, size_t size, int idle_ms, int stop_fd, size_t* done) {
  *done = 0;
  while (*done < size) {
    size_t got = 0;
    const IoStatus status = ReadSome(fd, data + *done, size - *done, idle_ms, stop_fd, &got);
    *done += got;
    if (status != IoStatus::kOk) return status;
  }
  return IoStatus::kOk;
}

IoStatus WriteFull(int fd, std::span<const iovec> parts, int idle_ms) {
  std::vector<iovec> left(parts.begin(), parts.end());
  size_t first = 0;
  while (first < left.size()) {
    if (left[first].iov_len == 0) {
      ++first;
      continue;
    }
    msghdr message{};
    message.msg_iov = &left[first];
    message.msg_iovlen = std::min<size_t>(left.size() - first, IOV_MAX);
    // MSG_NOSIGNAL: a client that went away must fail the write, not kill the
    // server with SIGPIPE.
    const ssize_t sent = sendmsg(fd, &message, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return IoStatus::kFailed;
      const IoStatus waited = Wait(fd, POLLOUT, idle_ms, -1);
      if (waited != IoStatus::kOk) return waited;
      continue;
    }
    size_t count = static_cast<size_t>(sent);
    while (count > 0) {
      const size_t step = std::min(count, left[first].iov_len);
      left[first].iov_base = static_cast<uint8_t*>(left[first].iov_base) + step;
      left[first].iov_len -= step;
      count -= step;
      if (left[first].iov_len == 0) ++first;
    }
  }
  return IoStatus::kOk;
}

void ShutdownAndDrain(int fd, int linger_ms) {
  shutdown(fd, SHUT_WR);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(linger_ms);
  uint8_t sink[4096];
  for (;;) {
    const ssize_t got = recv(fd, sink, sizeof sink, 0);
    if (got > 0) continue;
    if (got == 0) return;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return;
    const int left = RemainingMs(deadline);
    if (left == 0 || Wait(fd, POLLIN, left, -1) != IoStatus::kOk) return;
  }
}

UniqueFd ListenOn(const std::string& address, std::string* bound, std::string* error) {
  const size_t colon = address.rfind(':');
  if (colon == std::string::npos || colon + 1 == address.size()) {
    *error = "expected ADDR:PORT, got \"" + address + "\"";
    return {};
  }
  std::string host = address.substr(0, colon);
  const std::string port = address.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (const int rc = getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints, &found); rc != 0) {
    *error = "bad listen address \"" + address + "\": " + gai_strerror(rc);
    return {};
  }
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owned(found, freeaddrinfo);

  UniqueFd fd(socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd) {
    *error = std::string("socket: ") + std::strerror(errno);
    return {};
  }
  // A restarted server must be able to bind while old connections linger.
  const int on = 1;
  setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (bind(fd.get(), found->ai_addr, found->ai_addrlen) != 0) {
    *error = "bind " + address + ": " + std::strerror(errno);
    return {};
  }
  if (listen(fd.get(), SOMAXCONN) != 0) {
    *error = "listen " + address + ": " + std::strerror(errno);
    return {};
  }
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  if (getsockname(fd.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    *error = std::string("getsockname: ") + std::strerror(errno);
    return {};
  }
  *bound = AddressText(local);
  return fd;
}

std::string AddressText(const sockaddr_storage& address) {
  char host[INET6_ADDRSTRLEN] = "?";
  uint16_t port = 0;
  std::string text;
  if (address.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
    inet_ntop(AF_INET, &v4->sin_addr, host, sizeof host);
    port = ntohs(v4->sin_port);
    text.append(host);
  } else if (address.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
    inet_ntop(AF_INET6, &v6->sin6_addr, host, sizeof host);
    port = ntohs(v6->sin6_port);
    text.append("[").append(host).append("]");
  } else {
    return "?";
  }
  return text.append(":").append(std::to_string(port));
}

}  // namespace vnscope::server
