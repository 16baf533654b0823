#include "server/server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

#include "server/log.h"

namespace vnscope::server {
namespace {

// When the process runs out of descriptors, accepting again at once would
// spin; a short pause lets finishing connections give some back.
constexpr int kAcceptBackoffMs = 100;

void Signal(int event_fd) {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t ignored = write(event_fd, &one, sizeof one);
}

void Consume(int event_fd) {
  uint64_t count;
  [[maybe_unused]] ssize_t ignored = read(event_fd, &count, sizeof count);
}

}  // namespace

Server::Server(RequestHandler& handler, ServerSettings settings)
    : handler_(handler),
      settings_(std::move(settings)),
      worker_done_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      stopping_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

Server::~Server() {
  // Run joins every worker before it returns; this covers a server that
  // listened but never ran.
  for (Worker& worker : workers_) {
    if (worker.thread.joinable()) worker.thread.join();
  }
}

bool Server::Listen(std::string* error) {
  if (!worker_done_ || !stopping_) {
    *error = std::string("eventfd: ") + std::strerror(errno);
    return false;
  }
  listener_ = ListenOn(settings_.listen, &address_, error);
  return static_cast<bool>(listener_);
}

void Server::Run(int stop_fd) {
  for (;;) {
    const size_t active = ReapFinished();
    // At the cap the listening socket is not watched: new clients wait in
    // the backlog until a connection ends, instead of being turned away.
    const bool room = active < settings_.max_connections;
    pollfd fds[3] = {{stop_fd, POLLIN, 0}, {worker_done_.get(), POLLIN, 0}, {room ? listener_.get() : -1, POLLIN, 0}};
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      LogLine(std::string("poll failed: ") + std::strerror(errno));
      break;
    }
    if (fds[0].revents) break;
    if (fds[1].revents) Consume(worker_done_.get());
    if (fds[2].revents) AcceptPending();
  }
  Drain();
}

void Server::AcceptPending() {
  for (;;) {
    {
      std::lock_guard lock(workers_lock_);
      if (active_ >= settings_.max_connections) return;
    }
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const int fd = accept4(listener_.get(), reinterpret_cast<sockaddr*>(&peer), &length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
      LogLine(std::string("accept failed: ") + std::strerror(errno));
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) poll(nullptr, 0, kAcceptBackoffMs);
      return;
    }
    // Replies are gathered into few writes already; waiting for acknowledgements
    // before sending the last small frame would only add latency.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);

    std::lock_guard lock(workers_lock_);
    Worker& worker = workers_.emplace_back();
    worker.fd = fd;
    ++active_;
    try {
      worker.thread = std::thread(&Server::Serve, this, &worker, AddressText(peer));
    } catch (const std::system_error& error) {
      LogLine(std::string("cannot start a connection thread: ") + error.what());
      close(fd);
      workers_.pop_back();
      --active_;
      return;
    }
  }
}

void Server::Serve(Worker* worker, std::string peer) {
  ServeConnection(worker->fd, peer, handler_, settings_.connection, stopping_.get());
  {
    // Closed under the lock, so that Drain never shuts down a descriptor
    // number that has been reused.
    std::lock_guard lock(workers_lock_);
    close(worker->fd);
    worker->fd = -1;
    worker->finished = true;
    --active_;
  }
  Signal(worker_done_.get());
}

size_t Server::ReapFinished() {
  std::list<Worker> finished;
  size_t active;
  {
    std::lock_guard lock(workers_lock_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      auto next = std::next(it);
      if (it->finished) finished.splice(finished.end(), workers_, it);
      it = next;
    }
    active = active_;
  }
  for (Worker& worker : finished) worker.thread.join();
  return active;
}

void Server::Drain() {
  listener_.Reset();
  Signal(stopping_.get());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(settings_.shutdown_grace_ms);
  while (ReapFinished() > 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd done = {worker_done_.get(), POLLIN, 0};
    if (poll(&done, 1, static_cast<int>(left)) > 0) Consume(worker_done_.get());
  }
  {
    std::lock_guard lock(workers_lock_);
    if (active_ > 0) LogLine("cutting " + std::to_string(active_) + " connections still busy");
    for (Worker& worker : workers_) {
      if (worker.fd >= 0) shutdown(worker.fd, SHUT_RDWR);
    }
  }
  for (Worker& worker : workers_) worker.thread.join();
  workers_.clear();
}

}  // namespace vnscope::server
