#include "report/report_server.h"

#include <mutex>
#include <optional>

#include "report/protocol/report_client.h"

namespace vnscope {
namespace {

struct ServerChoice {
  std::mutex lock;
  std::optional<ServerEndpoint> chosen;
};

ServerChoice& Choice() {
  static ServerChoice choice;
  return choice;
}

}  // namespace

ServerEndpoint ReportServerEndpoint() {
  ServerChoice& choice = Choice();
  std::lock_guard guard(choice.lock);
  return choice.chosen.value_or(BuildServerEndpoint());
}

void SetReportServer(const ServerEndpoint& server) {
  ServerChoice& choice = Choice();
  std::lock_guard guard(choice.lock);
  choice.chosen = server;
}

}  // namespace vnscope
