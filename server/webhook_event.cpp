#include "server/webhook_event.h"

#include <nlohmann/json.hpp>

#include "server/web_text.h"

namespace vnscope::server {
namespace {

// A comment's first line, shortened: the chat line is one line.
constexpr size_t kCommentExcerptBytes = 200;

std::string Excerpt(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  if (line.size() <= kCommentExcerptBytes && line.size() == text.size()) return line;
  size_t end = std::min(line.size(), kCommentExcerptBytes);
  // Never cut a UTF-8 sequence: back up to the start of a character.
  while (end > 0 && end < line.size() && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80) --end;
  return line.substr(0, end) + "…";
}

std::string WithBy(const std::string& by) { return by.empty() ? "" : " (" + by + ")"; }

}  // namespace

std::string WebhookLine(const ReportEvent& event) {
  const std::string title = event.title.empty() ? event.name : event.title;
  if (event.event == kEventCreated) return "新着: " + title + " (" + event.reporter + ")";
  if (event.event == kEventState) {
    std::string previous;
    try {
      previous = StateLabel(static_cast<uint32_t>(std::stoul(event.detail))) + " → ";
    } catch (const std::exception&) {
      // recorded by this server, always a number; nothing to show otherwise
    }
    return "状態変更: " + title + ": " + previous + StateLabel(event.state) + WithBy(event.by);
  }
  if (event.event == kEventAssignee) {
    return (event.detail.empty() ? "担当解除: " + title : "担当: " + title + " → " + event.detail) + WithBy(event.by);
  }
  return "コメント: " + title + WithBy(event.by) + ": " + Excerpt(event.detail);
}

std::string WebhookBody(const ReportEvent& event, const std::string& public_url) {
  nlohmann::ordered_json body = {{"event", event.event},
                                 {"name", event.name},
                                 {"title", event.title},
                                 {"reporter", event.reporter},
                                 {"state", event.state},
                                 {"state_label", StateLabel(event.state)}};
  if (public_url.empty()) {
    body["url"] = nullptr;
  } else {
    body["url"] = public_url + (public_url.back() == '/' ? "" : "/") + "reports/" + event.name;
  }
  body["text"] = WebhookLine(event);
  return body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::optional<WebhookTarget> ParseWebhookUrl(const std::string& url) {
  for (const std::string scheme : {"http://", "https://"}) {
    if (url.rfind(scheme, 0) != 0) continue;
    const size_t path = url.find_first_of("/?#", scheme.size());
    WebhookTarget target{url.substr(0, path), path == std::string::npos ? "/" : url.substr(path)};
    if (target.origin.size() == scheme.size() || target.origin.find_first_of(" @") != std::string::npos)
      return std::nullopt;
    if (target.path[0] != '/') target.path = "/" + target.path;
    const size_t fragment = target.path.find('#');
    if (fragment != std::string::npos) target.path.erase(fragment);
    return target;
  }
  return std::nullopt;
}

}  // namespace vnscope::server
