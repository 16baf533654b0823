// One client connection: reads request frames, has them answered and ends
// the exchange. Every way a client can misbehave ends here, in its own
// connection, without touching anything shared but the store.
#pragma once
#include <cstdint>
#include <string>

#include "server/handlers.h"

namespace vnscope::server {

struct ConnectionSettings {
  uint32_t max_package = 0;      // largest submission payload
  uint32_t idle_timeout_ms = 0;  // longest silence, between or within requests
  uint32_t linger_ms = 0;        // reading on after our last reply, before the close
};

// Serves requests on the non-blocking socket `fd` until the client ends the
// exchange or closes, falls silent, sends something that is not a request,
// or the server stops (`stop_fd` readable) while the client is between
// requests. Logs one line for the exchange. Leaves closing `fd` to the caller.
void ServeConnection(int fd, const std::string& peer, RequestHandler& handler, const ConnectionSettings& settings,
                     int stop_fd);

}  // namespace vnscope::server
