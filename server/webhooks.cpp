#include "server/webhooks.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <optional>

#include "server/log.h"
#include "server/webhook_event.h"

namespace vnscope::server {
namespace {

// A chat tool answers at once; one that does not within these is down for
// this attempt, and the next waits its turn in the backoff.
constexpr time_t kConnectTimeoutS = 10;
constexpr time_t kReplyTimeoutS = 30;
// Events read at once; the rest come on the next round.
constexpr int64_t kEventsAtOnce = 100;
// With nothing to send, a sender looks again this often even unwoken.
constexpr std::chrono::milliseconds kIdleLook{60'000};

}  // namespace

struct Webhooks::Receiver {
  std::string url;
  WebhookTarget target;
  std::thread thread;
  std::atomic<int64_t> failing_since_ms = 0;
  // Its place as Start found it; empty when the store could not say then.
  std::optional<ReportStore::Delivery> place;
  // Its sender's; Stop may cut a post off from another thread.
  std::unique_ptr<httplib::Client> client;
};

std::unique_ptr<Webhooks> Webhooks::Create(ReportStore& store, std::function<int64_t()> clock,
                                           WebhookSettings settings, std::string* error) {
  std::vector<std::string> unique;
  for (const std::string& url : settings.urls) {
    if (!ParseWebhookUrl(url)) {
      *error = "--webhook " + url + ": not an http:// or https:// URL";
      return nullptr;
    }
    if (std::find(unique.begin(), unique.end(), url) == unique.end()) unique.push_back(url);
  }
  settings.urls = std::move(unique);
  return std::unique_ptr<Webhooks>(new Webhooks(store, std::move(clock), std::move(settings)));
}

Webhooks::Webhooks(ReportStore& store, std::function<int64_t()> clock, WebhookSettings settings)
    : store_(store), clock_(std::move(clock)), settings_(std::move(settings)) {
  for (const std::string& url : settings_.urls) {
    auto receiver = std::make_unique<Receiver>();
    receiver->url = url;
    receiver->target = *ParseWebhookUrl(url);
    receiver->client = std::make_unique<httplib::Client>(receiver->target.origin);
    receiver->client->set_connection_timeout(kConnectTimeoutS, 0);
    receiver->client->set_read_timeout(kReplyTimeoutS, 0);
    receiver->client->set_write_timeout(kReplyTimeoutS, 0);
    receivers_.push_back(std::move(receiver));
  }
}

Webhooks::~Webhooks() { Stop(); }

void Webhooks::Start(const std::string& public_url) {
  public_url_ = public_url;
  store_.RecordEvents([this] { Wake(); });
  // A URL seen for the first time starts after the newest event: its place is
  // taken here, not in its thread, so that every event after Start reaches it
  // however late the thread first runs.
  for (auto& receiver : receivers_) {
    std::string error;
    receiver->place = store_.DeliveryOf(receiver->url, &error);
  }
  for (auto& receiver : receivers_) receiver->thread = std::thread([this, r = receiver.get()] { Send(*r); });
}

void Webhooks::Stop() {
  {
    std::lock_guard lock(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  // A post waiting for its answer ends now instead of after its time-out:
  // httplib's stop shuts the socket under way, from any thread.
  for (auto& receiver : receivers_) receiver->client->stop();
  for (auto& receiver : receivers_) {
    if (receiver->thread.joinable()) receiver->thread.join();
  }
}

bool Webhooks::Stopping() const {
  std::lock_guard lock(lock_);
  return stopping_;
}

void Webhooks::Wake() {
  {
    std::lock_guard lock(lock_);
    ++generation_;
  }
  changed_.notify_all();
}

bool Webhooks::Wait(uint64_t seen, std::chrono::milliseconds timeout) {
  std::unique_lock lock(lock_);
  changed_.wait_for(lock, timeout, [&] { return stopping_ || generation_ != seen; });
  return !stopping_;
}

bool Webhooks::Pause(std::chrono::milliseconds duration) {
  std::unique_lock lock(lock_);
  return !changed_.wait_for(lock, duration, [&] { return stopping_; });
}

std::vector<std::string> Webhooks::FailingUrls() const {
  std::vector<std::string> failing;
  const int64_t now = clock_();
  for (const auto& receiver : receivers_) {
    const int64_t since = receiver->failing_since_ms.load();
    if (since != 0 && now - since > settings_.failing_warning.count()) failing.push_back(receiver->url);
  }
  return failing;
}

void Webhooks::Send(Receiver& receiver) {
  std::string error;
  auto fail_store = [&] {
    LogLine("webhook " + receiver.url + ": store failed: " + error);
    return Pause(settings_.first_retry * 10);
  };
  std::optional<ReportStore::Delivery> delivery = receiver.place;
  while (!delivery && !(delivery = store_.DeliveryOf(receiver.url, &error))) {
    if (!fail_store()) return;
  }
  receiver.failing_since_ms = delivery->failing_since_ms;
  httplib::Client& client = *receiver.client;
  std::chrono::milliseconds backoff = settings_.first_retry;
  auto next_drop = std::chrono::steady_clock::now();
  for (;;) {
    uint64_t seen;
    {
      std::lock_guard lock(lock_);
      if (stopping_) return;
      seen = generation_;
    }
    const auto events = store_.EventsAfter(delivery->delivered, kEventsAtOnce, &error);
    if (!events) {
      if (!fail_store()) return;
      continue;
    }
    if (events->empty()) {
      // Now and then, not after every event: the drop is a synced write that
      // submissions wait behind.
      if (std::chrono::steady_clock::now() >= next_drop) {
        if (!store_.DropDeliveredEvents(settings_.urls, &error)) LogLine("webhook: dropping sent events: " + error);
        next_drop = std::chrono::steady_clock::now() + kIdleLook;
      }
      if (!Wait(seen, kIdleLook)) return;
      continue;
    }
    for (const ReportEvent& event : *events) {
      // Stop may have come during the store's read: its cut-off of the
      // client would miss a post begun after it.
      if (Stopping()) return;
      const auto answer = client.Post(receiver.target.path, WebhookBody(event, public_url_),
                                      "application/json; charset=utf-8");
      if (answer && answer->status >= 200 && answer->status < 300) {
        delivery->delivered = event.id;
        delivery->failing_since_ms = 0;
        receiver.failing_since_ms = 0;
        backoff = settings_.first_retry;
        // Its place is kept before the next post: an event once answered is
        // never sent again, even across a restart.
        if (!store_.SaveDelivery(receiver.url, *delivery, &error)) LogLine("webhook: keeping its place: " + error);
        continue;
      }
      // Cut off by Stop: not a failure of the URL; the event goes again at
      // the next start.
      if (Stopping()) return;
      const std::string why = answer ? "HTTP " + std::to_string(answer->status) : httplib::to_string(answer.error());
      LogLine("webhook " + receiver.url + " event " + std::to_string(event.id) + " failed (" + why + "); again in " +
              std::to_string(backoff.count()) + " ms");
      if (delivery->failing_since_ms == 0) {
        delivery->failing_since_ms = clock_();
        receiver.failing_since_ms = delivery->failing_since_ms;
        if (!store_.SaveDelivery(receiver.url, *delivery, &error)) LogLine("webhook: keeping its place: " + error);
      }
      // Only Stop ends the wait early: new events queue behind this one.
      if (!Pause(backoff)) return;
      backoff = std::min(backoff * 2, settings_.last_retry);
      break;
    }
  }
}

}  // namespace vnscope::server
