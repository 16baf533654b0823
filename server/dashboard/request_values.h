// What the dashboard reads from outside before it acts: its listen address,
// a request's Host header, and the query and form values any visitor may
// write. Each reader takes the worst a visitor can send.
#pragma once
#include <cstdint>
#include <string>

namespace vnscope::server {

// Splits "ADDR:PORT" or "[ADDR]:PORT" into its numeric host and port. False
// with `error` set for anything else.
bool SplitHostPort(const std::string& address, std::string* host, uint16_t* port, std::string* error);

// Whether the numeric address `host` is a loopback address (127.0.0.0/8, ::1
// or ::ffff:127.x.x.x).
bool IsLoopbackHost(const std::string& host);

// Whether `host` is a numeric IPv4 or IPv6 address rather than a name.
bool IsNumericHost(const std::string& host);

// The host part of a Host header, without port or brackets.
std::string HostName(const std::string& host_header);

// The client a request stands for: `remote`, the address it came from, or
// when that is loopback and an X-Forwarded-For header (`forwarded`) came
// along, the last address in it, without spaces: the one a reverse proxy on
// this host adds for the client it serves. No one else connects from
// loopback but local users.
std::string ForwardedClient(const std::string& remote, const std::string& forwarded);

// `text` as a whole decimal number, or `fallback` when it is anything else.
int64_t ParseNumber(const std::string& text, int64_t fallback);

// The query values of the list page, as any visitor may write them: the tab
// index 0 to 3 ("tab", the first tab of kDashboardTabOrder otherwise) and the
// page from 1 ("page", 1 otherwise), at most kMaxListPage (pages.h) so that
// its list offset always fits.
int ListTabFromQuery(const std::string& value);
int64_t ListPageFromQuery(const std::string& value);
// The list offset of the first report on `page`.
int64_t ListOffset(int64_t page);

// Where the login sends the visitor next ("next"): a path of this site, or
// "/". Tabs and line breaks are dropped; other control characters refuse it.
std::string SafeNext(const std::string& next);

}  // namespace vnscope::server
