// What the server does for each request, independent of sockets: a request's
// payload goes in, reply frames go out through a ReplySink, and an outcome
// comes back for the log. Framing limits are the connection's business.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "server/protocol.h"
#include "server/store.h"

namespace vnscope::server {

class ReplySink {
 public:
  virtual ~ReplySink() = default;
  // Queues or sends one reply frame; false when the client is gone.
  virtual bool Send(ServerReply code, std::span<const uint8_t> payload) = 0;
};

struct RequestOutcome {
  std::string name;    // the report the request was about, when there was one
  std::string result;  // one word or a short phrase for the log
  // False when the connection must end: the replies could not be sent, or the
  // store failed and the client must see its exchange fail rather than a
  // done code it would take for success.
  bool keep_open = true;
};

class RequestHandler {
 public:
  // `clock` gives the Unix time in milliseconds used to name new reports.
  RequestHandler(ReportStore& store, std::function<int64_t()> clock);

  // Answers one request other than EndExchange. `peer` is recorded with
  // submitted reports.
  RequestOutcome Handle(ClientCommand command, std::span<const uint8_t> payload, const std::string& peer,
                        ReplySink& replies);

 private:
  RequestOutcome Submit(std::span<const uint8_t> package, const std::string& peer, ReplySink& replies);
  RequestOutcome List(ReplySink& replies);
  RequestOutcome FetchSnapshot(std::span<const uint8_t> payload, ReplySink& replies);
  RequestOutcome SetState(std::span<const uint8_t> payload, const std::string& peer, ReplySink& replies);
  RequestOutcome FetchText(std::span<const uint8_t> payload, ReplySink& replies);
  RequestOutcome FetchEntry(std::span<const uint8_t> payload, ReplySink& replies);
  // The named report's package, or an outcome that ends the request without it.
  std::optional<RequestOutcome> LoadPackage(const std::string& name, std::vector<uint8_t>* package);
  // FetchSnapshot and FetchReport: the named report's package entry, or an
  // outcome that ends the request without it.
  std::optional<RequestOutcome> LoadEntry(const std::string& name, const char* entry, std::vector<uint8_t>* data);

  ReportStore& store_;
  std::function<int64_t()> clock_;
};

}  // namespace vnscope::server
