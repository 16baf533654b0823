#include "server/dashboard/request_values.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>

#include "server/dashboard/pages.h"

namespace vnscope::server {

std::string ForwardedClient(const std::string& remote, const std::string& forwarded) {
  if (forwarded.empty() || !IsLoopbackHost(remote)) return remote;
  std::string last = forwarded.substr(forwarded.rfind(',') + 1);
  last.erase(0, last.find_first_not_of(' '));
  last.erase(last.find_last_not_of(' ') + 1);
  return last;
}

int64_t ParseNumber(const std::string& text, int64_t fallback) {
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() ? value : fallback;
}

std::string HostName(const std::string& host_header) {
  if (!host_header.empty() && host_header.front() == '[') {
    const size_t close = host_header.find(']');
    return close == std::string::npos ? host_header : host_header.substr(1, close - 1);
  }
  return host_header.substr(0, host_header.find(':'));
}

bool IsNumericHost(const std::string& host) {
  in6_addr v6;
  in_addr v4;
  return inet_pton(AF_INET, host.c_str(), &v4) == 1 || inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

int ListTabFromQuery(const std::string& value) {
  // Checked as the 64-bit number it was written as: narrowed first,
  // 4294967296 passed as tab 0.
  const int64_t tab = ParseNumber(value, -1);
  return tab >= 0 && tab <= 3 ? static_cast<int>(tab) : kDashboardTabOrder[0];
}

int64_t ListPageFromQuery(const std::string& value) {
  // A page past the last shows the last, so the cap changes nothing a
  // visitor sees; without it, the offset of a page near 2^63 overflowed.
  return std::clamp<int64_t>(ParseNumber(value, 1), 1, kMaxListPage);
}

int64_t ListOffset(int64_t page) { return (page - 1) * kReportsPerPage; }

std::string SafeNext(const std::string& next) {
  // Browsers drop tabs and line breaks anywhere in an address: "/\t/host"
  // would pass the check below and then lead to "//host". Dropped here first,
  // they cannot; any other control character refuses the value.
  std::string path;
  for (char c : next) {
    if (c == '\t' || c == '\n' || c == '\r') continue;
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "/";
    path += c;
  }
  if (path.empty() || path[0] != '/' || (path.size() > 1 && (path[1] == '/' || path[1] == '\\'))) return "/";
  return path;
}

bool SplitHostPort(const std::string& address, std::string* host, uint16_t* port, std::string* error) {
  const size_t colon = address.rfind(':');
  int64_t number = -1;
  if (colon != std::string::npos) number = ParseNumber(address.substr(colon + 1), -1);
  if (colon == std::string::npos || number < 0 || number > 65535) {
    *error = "expected ADDR:PORT, got \"" + address + "\"";
    return false;
  }
  *host = address.substr(0, colon);
  if (host->size() >= 2 && host->front() == '[' && host->back() == ']') *host = host->substr(1, host->size() - 2);
  if (!IsNumericHost(*host)) {
    *error = "expected a numeric address, got \"" + *host + "\"";
    return false;
  }
  *port = static_cast<uint16_t>(number);
  return true;
}

bool IsLoopbackHost(const std::string& host) {
  in_addr v4;
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6;
  if (inet_pton(AF_INET6, host.c_str(), &v6) != 1) return false;
  if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
  return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

}  // namespace vnscope::server
