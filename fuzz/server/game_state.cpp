// The game's state a package carries, as the dashboard and the API read it,
// and what people type when they triage. The first byte picks the part: 0
// "variables.csv", 1 "gamestate.txt", 2 a name and a comment; the rest is
// the text.
#include <string>

#include "fuzz/fuzz_support.h"
#include "server/dashboard/triage_input.h"
#include "server/game_state.h"

namespace {

using namespace vnscope::server;
using vnscope::fuzz::Check;
using vnscope::fuzz::IsWellFormedUtf8;

std::span<const uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// A field as the DLL writes it: quoted when it holds a comma, a quote or a
// line break, inner quotes doubled.
std::string Field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

void CheckVariables(std::span<const uint8_t> bytes) {
  const auto variables = ParseVariables(bytes);
  if (!variables) return;
  // Written again as the DLL writes the table, the rows read back the same.
  std::string table = "\xEF\xBB\xBFindex,name,value,register\r\n";
  for (const GameVariable& variable : *variables) {
    Check(IsWellFormedUtf8(variable.name), "a name is not well-formed UTF-8");
    table += std::to_string(variable.index) + "," + Field(variable.name) + "," + std::to_string(variable.value) + "," +
             (variable.register_number ? std::to_string(*variable.register_number) : "") + "\r\n";
  }
  const auto again = ParseVariables(AsBytes(table));
  Check(again && again->size() == variables->size(), "the table written again does not read back");
  for (size_t i = 0; i < variables->size(); ++i) {
    Check((*variables)[i] == (*again)[i], "a row reads back otherwise");
  }
}

void CheckLines(std::span<const uint8_t> bytes) {
  const auto lines = ParseGameState(bytes);
  // A byte-order mark first, so that a key that starts with one keeps it.
  std::string text = "\xEF\xBB\xBF";
  for (const auto& [key, value] : lines) {
    Check(IsWellFormedUtf8(key) && IsWellFormedUtf8(value), "a line is not well-formed UTF-8");
    Check(key.find('\n') == std::string::npos && value.find('\n') == std::string::npos, "a line holds a line end");
    Check(key.find(": ") == std::string::npos, "a key holds the separator");
    text += key + ": " + value + "\r\n";
  }
  Check(ParseGameState(AsBytes(text)) == lines, "the lines written again read back otherwise");
}

void CheckTyped(std::string_view text) {
  if (const auto name = PersonName(text)) {
    Check(IsWellFormedUtf8(*name) && name->size() <= kMaxPersonNameBytes, "a name out of its bounds");
    Check(name->find_first_of("\r\n\t") == std::string::npos, "a name of more than one line");
    Check(name->empty() || (name->front() != ' ' && name->back() != ' '), "a name with spaces around it");
  }
  if (const auto comment = CommentText(text)) {
    Check(IsWellFormedUtf8(*comment) && comment->size() <= kMaxCommentBytes, "a comment out of its bounds");
    Check(comment->find('\r') == std::string::npos, "a comment keeps a CR");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::span<const uint8_t> rest(data + 1, size - 1);
  switch (data[0] % 3) {
    case 0: CheckVariables(rest); break;
    case 1: CheckLines(rest); break;
    default: CheckTyped({reinterpret_cast<const char*>(rest.data()), rest.size()}); break;
  }
  return 0;
}
