// The listening side: serves each connection on a thread of its own, at most
// a configured number at once, and stops in order. Idle threads take turns
// accepting, and the one that accepts a connection serves it, so a new
// connection wakes one thread rather than an acceptor and then a worker. A
// thread that finds nothing to accept for a while ends, as long as another
// one is still accepting.
#pragma once
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "report/protocol/limits.h"
#include "server/connection.h"
#include "server/handlers.h"
#include "server/peer_access.h"
#include "server/socket_io.h"

namespace vnscope::server {

struct ServerSettings {
  std::string listen;              // "ADDR:PORT"
  ConnectionSettings connection;
  uint32_t max_connections = 0;    // served at once; more wait in the backlog
  AllowList allow;                 // whose connections are served at all
  // Served at once from one address; as many more wait, the rest are closed.
  uint32_t max_connections_per_address = limits::kDefaultMaxConnectionsPerAddress;
  uint32_t shutdown_grace_ms = 0;  // how long requests under way may finish
};

class Server {
 public:
  Server(RequestHandler& handler, ServerSettings settings);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds and listens. False with `error` set when the address is bad or taken.
  bool Listen(std::string* error);
  // The address bound, with the real port when 0 was asked for.
  const std::string& address() const { return address_; }

  // Serves until `stop_fd` becomes readable. Then stops accepting, hangs up on
  // clients that are between requests, gives requests under way the grace
  // period, cuts what is left and returns once every connection is closed.
  void Run(int stop_fd);

 private:
  struct Worker {
    std::thread thread;
    int fd = -1;            // the connection served, owned; -1 between connections
    bool finished = false;  // the thread has ended or is about to
  };

  // Starts a thread that accepts and serves, when under the cap. Called with
  // workers_lock_ held.
  bool AddWorker();  // false when none was started
  void Work(Worker* worker);
  // The client's address when its connection is to be served now (and is
  // counted as served). Otherwise nothing: the connection waits for its
  // client's turn (see ConnectionsPerAddress), or `fd` is closed at once,
  // before anything is read, and the refusal logged.
  std::optional<PeerAddress> Admit(int fd, const sockaddr_storage& peer);
  size_t ReapFinished();
  void Drain();

  RequestHandler& handler_;
  ServerSettings settings_;
  std::string address_;
  ConnectionsPerAddress open_per_address_;
  UniqueFd listener_;
  UniqueFd worker_done_;  // eventfd: a worker ended and is to be joined
  UniqueFd stopping_;     // eventfd: readable for good once the server stops
  std::mutex workers_lock_;
  std::list<Worker> workers_;  // a list, so that a worker's address never moves
  // Guarded by workers_lock_, as are the workers' fields but the thread:
  size_t alive_ = 0;      // workers not finished: at most the cap
  size_t accepting_ = 0;  // workers waiting for a connection
  size_t active_ = 0;     // connections being served
  bool stop_ = false;     // accepting ends; workers end after their connection
};

}  // namespace vnscope::server
