// What people type when they triage (names, comments), as the dashboard and
// the JSON API take it: made well-formed, bounded, and the same both ways.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vnscope::server {

// A comment's text, in UTF-8 bytes. A whole log pasted in is welcome; a
// comment is stored in its report's history and shown on every visit, so
// what goes beyond a page of text is refused rather than cut.
inline constexpr size_t kMaxCommentBytes = 64 << 10;
// A person's name (a comment's author, an assignee): a name, not a text.
inline constexpr size_t kMaxPersonNameBytes = 256;
// A dashboard form or a JSON API body: a comment of kMaxCommentBytes with
// its line breaks sent as CR LF or escaped, and the other fields.
inline constexpr size_t kMaxFormBodyBytes = 3 * kMaxCommentBytes + (16 << 10);
inline constexpr size_t kMaxApiBodyBytes = kMaxFormBodyBytes;

// A name as typed: well-formed UTF-8 (bytes that are not become U+FFFD), line
// breaks and tabs as spaces, without spaces around it. Nothing when it is
// longer than kMaxPersonNameBytes. May be empty.
std::optional<std::string> PersonName(std::string_view typed);

// A comment as typed: well-formed UTF-8, CR LF and lone CR as LF, without
// blank lines or spaces around it. Nothing when longer than kMaxCommentBytes.
std::optional<std::string> CommentText(std::string_view typed);

inline constexpr char kUserNameCookie[] = "vnscope_name";

}  // namespace vnscope::server
