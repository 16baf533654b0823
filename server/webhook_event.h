// The notification a chat tool receives for one event: a JSON object with
// the report's facts, its dashboard link and one line to show as it is.
#pragma once
#include <string>

#include "server/store.h"

namespace vnscope::server {

// The JSON body for `event`. `public_url` is the dashboard's address as the
// team reaches it ("https://vnscope.example/"); the report's link is built
// on it, and is null without one.
std::string WebhookBody(const ReportEvent& event, const std::string& public_url);

// The line a chat tool shows, such as "新着: タイトル (報告者)".
std::string WebhookLine(const ReportEvent& event);

// A receiver's URL split for the HTTP client: "http://host:port" or
// "https://host:port" and the path with its query ("/" when none). Nothing
// for anything but an http or https URL with a host.
struct WebhookTarget {
  std::string origin;
  std::string path;
};
std::optional<WebhookTarget> ParseWebhookUrl(const std::string& url);

}  // namespace vnscope::server
