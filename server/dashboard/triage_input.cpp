#include "server/dashboard/triage_input.h"

#include <cstdint>
#include <span>

#include "server/web_text.h"

namespace vnscope::server {
namespace {

std::string WellFormed(std::string_view typed) {
  return DecodeText(std::span(reinterpret_cast<const uint8_t*>(typed.data()), typed.size()), "UTF-8");
}

std::string_view Trimmed(std::string_view text, std::string_view blanks) {
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

std::optional<std::string> PersonName(std::string_view typed) {
  // Checked before the work: the bound is on what was sent, too.
  if (typed.size() > 4 * kMaxPersonNameBytes) return std::nullopt;
  std::string name = WellFormed(typed);
  for (char& c : name) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  }
  name = std::string(Trimmed(name, " "));
  if (name.size() > kMaxPersonNameBytes) return std::nullopt;
  return name;
}

std::optional<std::string> CommentText(std::string_view typed) {
  if (typed.size() > 4 * kMaxCommentBytes) return std::nullopt;
  const std::string text = WellFormed(typed);
  std::string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      lines += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      lines += text[i];
    }
  }
  std::string comment(Trimmed(lines, " \t\n"));
  if (comment.size() > kMaxCommentBytes) return std::nullopt;
  return comment;
}

}  // namespace vnscope::server
