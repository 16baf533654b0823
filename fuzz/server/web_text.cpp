// The dashboard's handling of text it did not write: report texts decoded
// from the senders' code page, the list's and the login's query values, and
// the escaping of everything shown back. The first byte picks the part, the
// rest is the text.
#include <algorithm>
#include <string>

#include "fuzz/fuzz_support.h"
#include "server/dashboard/access.h"
#include "server/dashboard/dashboard.h"
#include "server/dashboard/request_values.h"
#include "server/web_text.h"

namespace {

using namespace vnscope::server;
using vnscope::fuzz::Check;
using vnscope::fuzz::IsWellFormedUtf8;

constexpr char kReplacement[] = "\xEF\xBF\xBD";

// UTF-8 decoded by the rule the dashboard promises: well-formed sequences
// stay, every other byte (and every 0) becomes U+FFFD, trailing 0s go.
std::string ExpectedUtf8(std::string_view bytes) {
  while (!bytes.empty() && bytes.back() == 0) bytes.remove_suffix(1);
  std::string out;
  size_t i = 0;
  while (i < bytes.size()) {
    size_t length = 1;
    while (length <= 4 && i + length <= bytes.size() && !IsWellFormedUtf8(bytes.substr(i, length))) ++length;
    if (length <= 4 && i + length <= bytes.size() && bytes[i] != 0) {
      out.append(bytes.substr(i, length));
      i += length;
    } else {
      out += kReplacement;
      ++i;
    }
  }
  return out;
}

void CheckDecoding(std::string_view text, uint8_t choice) {
  static const char* const kEncodings[] = {"UTF-8", "CP932", "UTF-16LE", "ISO-8859-1", "EUC-JP"};
  const char* encoding = kEncodings[choice % std::size(kEncodings)];
  const std::string decoded =
      DecodeText({reinterpret_cast<const uint8_t*>(text.data()), text.size()}, encoding);
  Check(IsWellFormedUtf8(decoded), "decoded text is not well-formed UTF-8");
  Check(decoded.find('\0') == std::string::npos, "decoded text holds a 0");
  if (encoding == kEncodings[0]) Check(decoded == ExpectedUtf8(text), "UTF-8 bytes not kept or replaced one by one");
}

// What a decimal query value says, read digit by digit: nothing when it is
// not one, or when it is beyond 3.
std::optional<int> SmallDecimal(std::string_view text) {
  if (!text.empty() && text[0] == '-') {
    text.remove_prefix(1);
    if (text.empty() || text.find_first_not_of('0') != std::string_view::npos) return std::nullopt;
  }
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  const size_t first = std::min(text.find_first_not_of('0'), text.size() - 1);
  text.remove_prefix(first);
  if (text.size() > 1 || text[0] > '3') return std::nullopt;
  return text[0] - '0';
}

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

void CheckQueryValues(std::string_view text) {
  // Three values separated by 0 bytes: tab, page, next.
  std::string values[3];
  for (size_t i = 0, at = 0; i < 3 && at <= text.size(); ++i) {
    const size_t end = std::min(text.find('\0', at), text.size());
    values[i] = std::string(text.substr(at, end - at));
    at = end + 1;
  }
  const int tab = ListTabFromQuery(values[0]);
  Check(tab == SmallDecimal(values[0]).value_or(1), "tab other than the one written or the first");

  const int64_t page = ListPageFromQuery(values[1]);
  Check(page >= 1 && ListOffset(page) >= 0, "page before the first");

  // A browser drops tabs and line breaks anywhere in an address, and a path
  // that then starts with two slashes (either way) names another host.
  const std::string next = SafeNext(values[2]);
  Check(std::none_of(next.begin(), next.end(), IsControl), "next holds a control character");
  Check(next[0] == '/' && (next.size() == 1 || (next[1] != '/' && next[1] != '\\')), "next leaves the site");
  std::string asked = values[2];
  std::erase_if(asked, [](char c) { return c == '\t' || c == '\n' || c == '\r'; });
  Check(next == "/" || next == asked, "next changed into another path");
}

void CheckEscaping(std::string_view text) {
  const std::string html = HtmlEscape(text);
  Check(html.find_first_of("<>\"'") == std::string::npos, "HTML escape lets a markup character through");
  for (size_t at = html.find('&'); at != std::string::npos; at = html.find('&', at + 1)) {
    const std::string_view rest = std::string_view(html).substr(at);
    Check(rest.starts_with("&amp;") || rest.starts_with("&lt;") || rest.starts_with("&gt;") ||
              rest.starts_with("&quot;") || rest.starts_with("&#39;"),
          "bare ampersand after escaping");
  }
  // Percent-encoding must decode back to exactly the text.
  const std::string url = UrlEncode(text);
  std::string back;
  for (size_t i = 0; i < url.size(); ++i) {
    if (url[i] != '%') {
      Check(std::isalnum(static_cast<unsigned char>(url[i])) || std::string_view("-_.~").find(url[i]) != std::string_view::npos,
            "URL encoding lets a reserved character through");
      back += url[i];
      continue;
    }
    Check(i + 2 < url.size(), "cut-off percent escape");
    back += static_cast<char>(std::stoi(url.substr(i + 1, 2), nullptr, 16));
    i += 2;
  }
  Check(back == text, "URL encoding does not decode back");
  // A cookie's value is a piece of the header, without separators.
  const std::string_view value = CookieValue(text, kSessionCookie);
  Check(value.empty() || (value.data() >= text.data() && value.data() + value.size() <= text.data() + text.size() &&
                          value.find(';') == std::string_view::npos),
        "cookie value outside its pair");
  // The client a proxy names: the header's last entry, trimmed, and only
  // when the request came from loopback.
  const std::string header(text);
  Check(ForwardedClient("192.0.2.1", header) == "192.0.2.1", "a remote client named itself another");
  const std::string client = ForwardedClient("127.0.0.1", header);
  if (header.empty()) {
    Check(client == "127.0.0.1", "no header, yet another client");
  } else {
    const std::string last_entry = header.substr(header.rfind(',') + 1);
    Check(last_entry.find(client) != std::string::npos &&
              (client.empty() || (client.front() != ' ' && client.back() != ' ')) &&
              (client.empty() == (last_entry.find_first_not_of(' ') == std::string::npos)),
          "the client is not the header's last entry, trimmed");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 3) {
    case 0: CheckDecoding(text, static_cast<uint8_t>(data[0] / 3)); break;
    case 1: CheckQueryValues(text); break;
    case 2: CheckEscaping(text); break;
  }
  return 0;
}
