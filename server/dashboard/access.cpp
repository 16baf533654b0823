#include "server/dashboard/access.h"

#include <sys/random.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <thread>

#include "server/peer_access.h"

namespace vnscope::server {

bool ConstantTimeEquals(std::string_view given, std::string_view expected) {
  unsigned difference = given.size() == expected.size() ? 0 : 1;
  for (size_t i = 0; i < expected.size(); ++i) {
    const unsigned char other = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
    difference |= other ^ static_cast<unsigned char>(expected[i]);
  }
  return difference == 0;
}

std::string RandomToken() {
  unsigned char bytes[32];
  size_t filled = 0;
  while (filled < sizeof bytes) {
    const ssize_t n = getrandom(bytes + filled, sizeof bytes - filled, 0);
    if (n > 0) filled += static_cast<size_t>(n);
    // getrandom only fails before the pool is seeded or on a signal; both pass.
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (unsigned char byte : bytes) {
    token += kHex[byte >> 4];
    token += kHex[byte & 15];
  }
  return token;
}

std::string ReadSecretFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string secret;
  if (!std::getline(in, secret)) return {};
  if (!secret.empty() && secret.back() == '\r') secret.pop_back();
  return secret;
}

std::string_view CookieValue(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const size_t end = std::min(header.find(';'), header.size());
    std::string_view pair = header.substr(0, end);
    header.remove_prefix(std::min(end + 1, header.size()));
    while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
    if (pair.size() > name.size() && pair.substr(0, name.size()) == name && pair[name.size()] == '=')
      return pair.substr(name.size() + 1);
  }
  return {};
}

DashboardAccess::DashboardAccess(std::string secret, std::chrono::milliseconds failure_delay)
    : secret_(std::move(secret)), failure_delay_(failure_delay), local_form_token_(RandomToken()) {}

std::optional<std::string> DashboardAccess::FormToken(std::string_view cookie_header) {
  if (!needs_login()) return local_form_token_;
  const std::string token(CookieValue(cookie_header, kSessionCookie));
  if (token.empty()) return std::nullopt;
  std::lock_guard guard(lock_);
  auto found = sessions_.find(token);
  if (found == sessions_.end()) return std::nullopt;
  if (found->second.expires <= std::chrono::steady_clock::now()) {
    sessions_.erase(found);
    return std::nullopt;
  }
  return found->second.form_token;
}

DashboardAccess::Login DashboardAccess::LogIn(std::string_view secret, const std::string& client,
                                              std::string* session) {
  std::chrono::steady_clock::time_point answer_at;
  {
    std::lock_guard guard(lock_);
    const auto now = std::chrono::steady_clock::now();
    auto pending = failures_.find(client);
    if (pending != failures_.end() && pending->second.waiting >= kMaxQueuedFailures) return Login::kThrottled;
    if (ConstantTimeEquals(secret, secret_) && needs_login()) {
      if (sessions_.size() >= kMaxSessions) {
        auto oldest = std::min_element(sessions_.begin(), sessions_.end(),
                                       [](const auto& a, const auto& b) { return a.second.expires < b.second.expires; });
        sessions_.erase(oldest);
      }
      *session = RandomToken();
      sessions_[*session] = {RandomToken(), now + kSessionLifetime};
      return Login::kAccepted;
    }
    // Each wrong secret takes its client's next free answer slot, so guessing
    // in parallel is no faster than guessing one after another.
    if (pending == failures_.end()) pending = failures_.emplace(client, Failures{0, now}).first;
    answer_at = std::max(now, pending->second.next_answer) + failure_delay_;
    pending->second.next_answer = answer_at;
    ++pending->second.waiting;
  }
  std::this_thread::sleep_until(answer_at);
  std::lock_guard guard(lock_);
  const auto pending = failures_.find(client);
  if (--pending->second.waiting == 0) failures_.erase(pending);
  return Login::kRefused;
}

void DashboardAccess::LogOut(std::string_view cookie_header) {
  const std::string token(CookieValue(cookie_header, kSessionCookie));
  std::lock_guard guard(lock_);
  sessions_.erase(token);
}

std::string ThrottledClient(const std::string& address) {
  std::optional<PeerAddress> peer = PeerAddress::FromText(address);
  if (!peer) return {};
  if (!peer->v4) std::fill(peer->bytes.begin() + 8, peer->bytes.end(), uint8_t{0});
  return peer->Key();
}

}  // namespace vnscope::server
