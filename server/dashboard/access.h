// Who may use the dashboard. Without a secret it serves only loopback (the
// listening side enforces that) and every visitor is the local user. With a
// secret, a login exchanges it for a session cookie; the secret is compared
// in constant time and wrong guesses are answered slowly, one at a time.
#pragma once
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vnscope::server {

// Equal contents, in a time that depends only on the length of `expected`.
bool ConstantTimeEquals(std::string_view given, std::string_view expected);

// 32 bytes from the system's random source as 64 hex digits.
std::string RandomToken();

// The value of cookie `name` in a Cookie header, or empty.
std::string_view CookieValue(std::string_view header, std::string_view name);

inline constexpr char kSessionCookie[] = "vnscope_session";

class DashboardAccess {
 public:
  // `failure_delay` is how long each wrong secret waits for its answer; wrong
  // secrets are answered that far apart at the least, whatever the number of
  // connections trying.
  DashboardAccess(std::string secret, std::chrono::milliseconds failure_delay);

  bool needs_login() const { return !secret_.empty(); }

  // The form token of the visitor with this Cookie header, or nothing when a
  // login is needed and the header names no live session.
  std::optional<std::string> FormToken(std::string_view cookie_header);

  enum class Login { kAccepted, kRefused, kThrottled };
  // Checks a secret. Accepted: `session` is the new session's cookie value.
  // Refused: returned after the failure delay. Throttled: too many wrong
  // secrets are waiting already; the secret was not even compared.
  Login LogIn(std::string_view secret, std::string* session);

  void LogOut(std::string_view cookie_header);

  // How long a session lasts, also the cookie's Max-Age.
  static constexpr std::chrono::hours kSessionLifetime{24 * 7};

 private:
  struct Session {
    std::string form_token;
    std::chrono::steady_clock::time_point expires;
  };
  // Oldest sessions give way beyond this many, so that logins cannot grow
  // memory without bound.
  static constexpr size_t kMaxSessions = 4096;
  // Wrong secrets queue for their answers at most this many delays ahead.
  static constexpr int kMaxQueuedFailures = 8;

  const std::string secret_;
  const std::chrono::milliseconds failure_delay_;
  const std::string local_form_token_;  // without a secret: one for everybody
  std::mutex lock_;
  std::unordered_map<std::string, Session> sessions_;
  std::chrono::steady_clock::time_point next_failure_answer_;
};

}  // namespace vnscope::server
