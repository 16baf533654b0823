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
// How long a thread that served a connection waits for the next before it
// ends: long enough to carry a busy spell, short enough to give back the
// threads of a burst.
constexpr std::chrono::seconds kIdleWorkerWait{10};

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
    StartServing(fd, AddressText(peer));
  }
}

void Server::StartServing(int fd, std::string peer) {
  std::unique_lock lock(workers_lock_);
  ++active_;
  if (!idle_.empty()) {
    // The latest to go idle: its stack is still warm, and the others may
    // run out their wait and end.
    Worker* worker = idle_.back();
    idle_.pop_back();
    worker->fd = fd;
    worker->peer = std::move(peer);
    // Woken after the lock is let go, so that it need not wait for it; only
    // this thread removes workers.
    lock.unlock();
    worker->wake.notify_one();
    return;
  }
  Worker& worker = workers_.emplace_back();
  worker.fd = fd;
  worker.peer = std::move(peer);
  try {
    worker.thread = std::thread(&Server::Work, this, &worker);
  } catch (const std::system_error& error) {
    LogLine(std::string("cannot start a connection thread: ") + error.what());
    close(fd);
    workers_.pop_back();
    --active_;
  }
}

void Server::Work(Worker* worker) {
  std::unique_lock lock(workers_lock_);
  for (;;) {
    const std::string peer = std::move(worker->peer);
    lock.unlock();
    ServeConnection(worker->fd, peer, handler_, settings_.connection, stopping_.get());
    lock.lock();
    // Closed under the lock, so that Drain never shuts down a descriptor
    // number that has been reused.
    close(worker->fd);
    worker->fd = -1;
    // The accept loop waits for this only at the cap or while stopping.
    if (active_-- == settings_.max_connections || stop_) Signal(worker_done_.get());
    if (stop_) break;
    idle_.push_back(worker);
    const bool handed = worker->wake.wait_for(lock, kIdleWorkerWait, [&] { return worker->fd >= 0 || stop_; });
    if (handed && worker->fd >= 0) continue;
    std::erase(idle_, worker);
    break;
  }
  worker->finished = true;
  lock.unlock();
  Signal(worker_done_.get());  // to be joined
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
  {
    std::lock_guard lock(workers_lock_);
    stop_ = true;
    for (Worker* worker : idle_) worker->wake.notify_one();
  }
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
