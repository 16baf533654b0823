// Text helpers of the server's pages, lists and notifications: everything a
// sender wrote passes through HtmlEscape before it reaches a page, and report
// texts are decoded from the senders' ANSI code page here.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vnscope::server {

// Escapes the five characters that can end text or an attribute value in
// HTML. Safe for element content and double- or single-quoted attributes.
std::string HtmlEscape(std::string_view text);

// Percent-encodes everything but unreserved characters, for query values.
std::string UrlEncode(std::string_view text);

// "2026-12-07 20:15:02" (UTC) and "2026-12-07T20:15:02.123Z" for Unix milliseconds.
std::string UtcTimeText(int64_t unix_ms);
std::string IsoTime(int64_t unix_ms);
// ISO 8601 with the offset written out, "2026-12-07T20:15:02.123+00:00", for
// tools that read only that form.
std::string IsoTimeWithOffset(int64_t unix_ms);

// The state's label in UTF-8, or its number as 0xXXXXXXXX when it has none.
std::string StateLabel(uint32_t state);

// Whether iconv knows `encoding` as a source encoding.
bool CanDecode(const std::string& encoding);

// Decodes text in `encoding` (an iconv name such as "CP932") to UTF-8. Bytes
// that do not decode (for UTF-8: every byte outside a well-formed sequence),
// and 0 bytes inside the text, become U+FFFD each, so that nothing a sender
// wrote disappears without a trace; the terminating 0 bytes the client
// appends are dropped. The result is always well-formed UTF-8.
std::string DecodeText(std::span<const uint8_t> bytes, const std::string& encoding);

}  // namespace vnscope::server
