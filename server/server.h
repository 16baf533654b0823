// The listening side: accepts connections and serves each on a thread of its
// own, at most a configured number at once, and stops in order. A thread that
// has served a connection waits a while for the next one, so that a busy
// server does not start and end a thread per connection.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/connection.h"
#include "server/handlers.h"
#include "server/socket_io.h"

namespace vnscope::server {

struct ServerSettings {
  std::string listen;              // "ADDR:PORT"
  ConnectionSettings connection;
  uint32_t max_connections = 0;    // served at once; more wait in the backlog
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
    std::condition_variable wake;  // a connection was handed over, or the server stops
    int fd = -1;                   // the connection served, owned; -1 between connections
    std::string peer;
    bool finished = false;  // the thread has ended or is about to
  };

  void AcceptPending();
  // Hands a connection to an idle worker or, when none is idle, to a new one.
  void StartServing(int fd, std::string peer);
  void Work(Worker* worker);
  size_t ReapFinished();
  void Drain();

  RequestHandler& handler_;
  ServerSettings settings_;
  std::string address_;
  UniqueFd listener_;
  UniqueFd worker_done_;  // eventfd: a worker finished, there may be room again
  UniqueFd stopping_;     // eventfd: readable for good once the server stops
  std::mutex workers_lock_;
  std::list<Worker> workers_;  // a list, so that a worker's address never moves
  // Guarded by workers_lock_, as are the workers' fields but the thread:
  std::vector<Worker*> idle_;  // waiting for a connection, the latest last
  size_t active_ = 0;          // connections being served
  bool stop_ = false;          // idle workers end; busy ones end after their connection
};

}  // namespace vnscope::server
