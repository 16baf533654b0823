#include "server/web_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "report/protocol/report_states.h"
#include "report/protocol/utf8_text.h"

namespace vnscope::server {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

class Iconv {
 public:
  explicit Iconv(const std::string& from) : handle_(iconv_open("UTF-8", from.c_str())) {}
  ~Iconv() {
    if (ok()) iconv_close(handle_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

 private:
  iconv_t handle_;
};

// Length of the well-formed UTF-8 sequence at `at`, or 0: shortest forms
// only, no surrogates, nothing past U+10FFFF.
size_t WellFormedLength(std::string_view text, size_t at) {
  auto byte = [&](size_t i) { return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0u; };
  auto trail = [&](size_t i, unsigned low = 0x80, unsigned high = 0xBF) { return byte(i) >= low && byte(i) <= high; };
  const unsigned lead = byte(0);
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return trail(1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    const bool second = lead == 0xE0 ? trail(1, 0xA0) : lead == 0xED ? trail(1, 0x80, 0x9F) : trail(1);
    return second && trail(2) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    const bool second = lead == 0xF0 ? trail(1, 0x90) : lead == 0xF4 ? trail(1, 0x80, 0x8F) : trail(1);
    return second && trail(2) && trail(3) ? 4 : 0;
  }
  return 0;
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string UrlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

namespace {

std::tm UtcParts(int64_t unix_ms) {
  const std::time_t seconds = static_cast<std::time_t>(unix_ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  return utc;
}

}  // namespace

std::string UtcTimeText(int64_t unix_ms) {
  const std::tm t = UtcParts(unix_ms);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

std::string IsoTime(int64_t unix_ms) {
  const std::tm t = UtcParts(unix_ms);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(unix_ms % 1000));
  return text;
}

std::string IsoTimeWithOffset(int64_t unix_ms) {
  std::string time = IsoTime(unix_ms);
  time.pop_back();  // the Z
  return time + "+00:00";
}

bool CanDecode(const std::string& encoding) { return Iconv(encoding).ok(); }

std::string DecodeText(std::span<const uint8_t> bytes, const std::string& encoding) {
  while (!bytes.empty() && bytes.back() == 0) bytes = bytes.first(bytes.size() - 1);
  std::string out;
  Iconv converter(encoding);
  if (!converter.ok()) return out;
  // Every input byte yields at most 3 output bytes (U+FFFF and below in UTF-8),
  // and the replacement character is 3 bytes too.
  std::string buffer(bytes.size() * 3 + 16, '\0');
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
  size_t in_left = bytes.size();
  while (in_left > 0) {
    char* at = buffer.data();
    size_t out_left = buffer.size();
    const size_t rc = iconv(converter.get(), &in, &in_left, &at, &out_left);
    out.append(buffer.data(), static_cast<size_t>(at - buffer.data()));
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL (a lead byte cut off by the end): one replacement for
    // the byte that does not decode, then go on from the next one.
    out += kReplacement;
    ++in;
    --in_left;
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
  }
  // iconv's UTF-8 passes through the old 5- and 6-byte forms and code points
  // past U+10FFFF as they came; only well-formed sequences may reach a page.
  std::string text;
  text.reserve(out.size());
  for (size_t at = 0; at < out.size();) {
    const size_t length = WellFormedLength(out, at);
    if (length == 0 || out[at] == '\0') {
      text += kReplacement;
      ++at;
    } else {
      text.append(out, at, length);
      at += length;
    }
  }
  return text;
}

std::string StateLabel(uint32_t state) {
  const std::u16string_view label = ReportStateLabel(state);
  if (!label.empty()) return EncodeUtf8(label);
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", state);
  return text;
}

}  // namespace vnscope::server
