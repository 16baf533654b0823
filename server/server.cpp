#include "server/server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
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
// How long a worker waits for a connection before it ends (unless it is the
// last one accepting): long enough to carry a busy spell, short enough to
// give back the threads of a burst.
constexpr int kIdleWorkerWaitSeconds = 10;
// When no thread is left to accept because none could be started, the main
// loop tries again this often rather than leave the port unanswered.
constexpr int kStartWorkerRetryMs = 1000;

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
      open_per_address_(settings_.max_connections_per_address),
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
  if (!listener_) return false;
  // Workers wait in accept itself: the kernel wakes one of them per
  // connection. The time-out lets a worker find out it is not needed.
  const timeval wait{kIdleWorkerWaitSeconds, 0};
  const int flags = fcntl(listener_.get(), F_GETFL);
  if (flags < 0 || fcntl(listener_.get(), F_SETFL, flags & ~O_NONBLOCK) != 0 ||
      setsockopt(listener_.get(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) != 0) {
    *error = std::string("listening socket: ") + std::strerror(errno);
    return false;
  }
  return true;
}

void Server::Run(int stop_fd) {
  for (;;) {
    ReapFinished();
    bool none_accepting;
    {
      std::lock_guard lock(workers_lock_);
      // Below the cap someone must be waiting in accept; at the cap new
      // clients wait in the backlog until a connection ends.
      if (accepting_ == 0) AddWorker();
      none_accepting = accepting_ == 0 && alive_ < settings_.max_connections;
    }
    pollfd fds[2] = {{stop_fd, POLLIN, 0}, {worker_done_.get(), POLLIN, 0}};
    if (poll(fds, 2, none_accepting ? kStartWorkerRetryMs : -1) < 0) {
      if (errno == EINTR) continue;
      LogLine(std::string("poll failed: ") + std::strerror(errno));
      break;
    }
    if (fds[0].revents) break;
    if (fds[1].revents) Consume(worker_done_.get());
  }
  Drain();
}

bool Server::AddWorker() {
  if (stop_ || alive_ >= settings_.max_connections) return false;
  Worker& worker = workers_.emplace_back();
  try {
    worker.thread = std::thread(&Server::Work, this, &worker);
  } catch (const std::system_error& error) {
    LogLine(std::string("cannot start a connection thread: ") + error.what());
    workers_.pop_back();
    return false;
  }
  ++alive_;
  ++accepting_;
  return true;
}

void Server::Work(Worker* worker) {
  std::unique_lock lock(workers_lock_);
  while (!stop_) {
    lock.unlock();
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const int fd = accept4(listener_.get(), reinterpret_cast<sockaddr*>(&peer), &length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
    const int accept_error = errno;
    const std::optional<PeerAddress> client = fd >= 0 ? Admit(fd, peer) : std::nullopt;
    lock.lock();
    if (fd >= 0 && !client) continue;  // refused, or waiting for its client's turn
    if (fd < 0) {
      if (stop_) break;
      if (accept_error == EAGAIN || accept_error == EWOULDBLOCK) {
        // Nothing for the whole wait: end, unless no other worker is left
        // to accept.
        if (accepting_ > 1) break;
        continue;
      }
      if (accept_error == EINTR || accept_error == ECONNABORTED) continue;
      LogLine(std::string("accept failed: ") + std::strerror(accept_error));
      // Out of descriptors: accepting again at once would spin.
      lock.unlock();
      poll(nullptr, 0, kAcceptBackoffMs);
      lock.lock();
      continue;
    }
    --accepting_;
    ++active_;
    worker->fd = fd;
    // Someone must go on accepting; at the cap no one does, and new clients
    // wait in the backlog until a connection ends. When no thread can be
    // started, the main loop takes over trying.
    const bool below_cap = alive_ < settings_.max_connections;
    const bool wake_main_loop = accepting_ == 0 && below_cap && !AddWorker() && !stop_;
    lock.unlock();
    if (wake_main_loop) Signal(worker_done_.get());
    // Then the connections of the same client that waited for this one.
    for (ConnectionsPerAddress::Connection serving{fd, peer};;) {
      // Replies are gathered into few writes already; waiting for
      // acknowledgements before sending the last small frame would only add
      // latency.
      const int on = 1;
      setsockopt(serving.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      ServeConnection(serving.fd, AddressText(serving.peer), handler_, settings_.connection, stopping_.get());
      const std::optional<ConnectionsPerAddress::Connection> next = open_per_address_.Handover(*client);
      lock.lock();
      // Closed under the lock, so that Drain never shuts down a descriptor
      // number that has been reused.
      close(worker->fd);
      worker->fd = next ? next->fd : -1;
      if (!next) break;
      serving = *next;
      lock.unlock();
    }
    --active_;
    ++accepting_;
  }
  --accepting_;
  --alive_;
  worker->finished = true;
  lock.unlock();
  Signal(worker_done_.get());  // to be joined
}

std::optional<PeerAddress> Server::Admit(int fd, const sockaddr_storage& peer) {
  const std::optional<PeerAddress> client = PeerAddress::FromSocket(peer);
  std::string refusal;
  if (!client || !settings_.allow.Allows(*client)) {
    refusal = "address not allowed (--allow)";
  } else {
    switch (open_per_address_.Open(*client, {fd, peer})) {
      case ConnectionsPerAddress::Admission::kServe:
        return client;
      case ConnectionsPerAddress::Admission::kWait:
        return std::nullopt;
      case ConnectionsPerAddress::Admission::kRefuse:
        // Closed rather than kept: beyond this many, a client is flooding.
        refusal = std::to_string(settings_.max_connections_per_address) +
                  " connections from this address already served and as many waiting "
                  "(--max-connections-per-address)";
        break;
    }
  }
  close(fd);
  LogLine("peer=" + AddressText(peer) + " refused: " + refusal);
  return std::nullopt;
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
  {
    std::lock_guard lock(workers_lock_);
    stop_ = true;
  }
  // Wakes every worker waiting in accept; the socket closes once they are gone.
  shutdown(listener_.get(), SHUT_RDWR);
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
  open_per_address_.CloseWaiting();
  listener_.Reset();
}

}  // namespace vnscope::server
