// Who may use the dashboard. Without a secret it serves only loopback (the
// listening side enforces that) and every visitor is the local user. With a
// secret, a login exchanges it for a session cookie; the secret is compared
// in constant time and each client's wrong guesses are answered slowly, one
// at a time, without slowing down anybody else's login.
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

// The dashboard's secret from the file at `path`: its first line, without
// the line end (LF or CR LF). Empty when the file cannot be read or its
// first line is empty. A secret is typed into a one-line password field, so
// nothing after the first line could ever be part of it.
std::string ReadSecretFile(const std::string& path);

// The value of cookie `name` in a Cookie header, or empty.
std::string_view CookieValue(std::string_view header, std::string_view name);

inline constexpr char kSessionCookie[] = "vnscope_session";

class DashboardAccess {
 public:
  // `failure_delay` is how long each wrong secret waits for its answer; the
  // wrong secrets of one client are answered that far apart at the least,
  // whatever the number of connections it tries on.
  DashboardAccess(std::string secret, std::chrono::milliseconds failure_delay);

  bool needs_login() const { return !secret_.empty(); }

  // The form token of the visitor with this Cookie header, or nothing when a
  // login is needed and the header names no live session.
  std::optional<std::string> FormToken(std::string_view cookie_header);

  enum class Login { kAccepted, kRefused, kThrottled };
  // Checks a secret sent by `client` (an address, ThrottledClient). Accepted:
  // `session` is the new session's cookie value. Refused: returned after the
  // failure delay. Throttled: too many of this client's wrong secrets are
  // waiting already; the secret was not even compared. Other clients' wrong
  // secrets never delay or throttle this one.
  Login LogIn(std::string_view secret, const std::string& client, std::string* session);

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
  // At most this many of a client's wrong secrets wait for their answers.
  static constexpr int kMaxQueuedFailures = 8;

  const std::string secret_;
  const std::chrono::milliseconds failure_delay_;
  const std::string local_form_token_;  // without a secret: one for everybody
  std::mutex lock_;
  std::unordered_map<std::string, Session> sessions_;
  // The wrong secrets of each client that wait for their answers, and when
  // the next one may be answered. Kept only while some wait: as each holds a
  // serving thread, there are never more entries than threads.
  struct Failures {
    int waiting = 0;
    std::chrono::steady_clock::time_point next_answer;
  };
  std::unordered_map<std::string, Failures> failures_;
};

// The throttling key of a client address (numeric, without port): the
// address itself, and for IPv6 its /64 network, which one machine is
// commonly given whole. Empty for anything that is not an address.
std::string ThrottledClient(const std::string& address);

}  // namespace vnscope::server
