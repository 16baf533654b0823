// Notifications to the team's chat: every event the store records is posted
// as JSON to each configured URL, in order, once. The queue is the store's
// own table, written in the transaction of the change, so delivery costs the
// report port and the dashboard nothing; a thread per URL posts, retries with
// a backoff from 1 s up to 1 h, and keeps its place in the store across
// restarts.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/store.h"

namespace vnscope::server {

struct WebhookSettings {
  std::vector<std::string> urls;  // http:// or https://, each once
  std::chrono::milliseconds first_retry{1000};
  std::chrono::milliseconds last_retry{3600 * 1000};
  std::chrono::milliseconds failing_warning{3600 * 1000};
};

class Webhooks {
 public:
  // `clock` gives Unix milliseconds. Refuses (with `error`) a URL that is
  // not http or https.
  static std::unique_ptr<Webhooks> Create(ReportStore& store, std::function<int64_t()> clock, WebhookSettings settings,
                                          std::string* error);
  ~Webhooks();
  Webhooks(const Webhooks&) = delete;
  Webhooks& operator=(const Webhooks&) = delete;

  // Has the store record events, then starts a sender per URL. `public_url`
  // is the dashboard as the team reaches it; empty: no links.
  void Start(const std::string& public_url);
  // Ends the senders: a post waiting for its answer is cut off; one still
  // connecting ends within the connect time-out.
  void Stop();

  // The URLs whose deliveries have failed for longer than the warning time.
  std::vector<std::string> FailingUrls() const;

 private:
  struct Receiver;
  Webhooks(ReportStore& store, std::function<int64_t()> clock, WebhookSettings settings);
  void Send(Receiver& receiver);
  // Waits until events arrive, `timeout` passes or Stop; false on Stop.
  bool Wait(uint64_t seen, std::chrono::milliseconds timeout);
  void Wake();
  bool Stopping() const;
  // Waits `duration` unless Stop comes first; false on Stop.
  bool Pause(std::chrono::milliseconds duration);

  ReportStore& store_;
  const std::function<int64_t()> clock_;
  const WebhookSettings settings_;
  std::string public_url_;  // set before the senders start
  std::vector<std::unique_ptr<Receiver>> receivers_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  uint64_t generation_ = 0;  // guarded by lock_, as is
  bool stopping_ = false;
};

}  // namespace vnscope::server
