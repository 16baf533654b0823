#include "report/state/game_state_entries.h"

#include <cstdio>

#include "report/protocol/limits.h"
#include "report/protocol/utf8_text.h"

namespace vnscope {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";

void Append(std::string_view bytes, std::vector<uint8_t>* out) { out->insert(out->end(), bytes.begin(), bytes.end()); }

void AppendNumber(int64_t value, std::vector<uint8_t>* out) {
  char digits[24];
  const int length = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value));
  Append(std::string_view(digits, static_cast<size_t>(length)), out);
}

bool NeedsQuotes(std::u16string_view field) { return field.find_first_of(u",\"\r\n") != std::u16string_view::npos; }

void AppendCsvField(std::u16string_view field, std::vector<uint8_t>* out) {
  if (!NeedsQuotes(field)) {
    Append(EncodeUtf8(field), out);
    return;
  }
  out->push_back('"');
  for (size_t start = 0;;) {
    const size_t quote = field.find(u'"', start);
    Append(EncodeUtf8(field.substr(start, quote - start)), out);
    if (quote == std::u16string_view::npos) break;
    Append("\"\"", out);
    start = quote + 1;
  }
  out->push_back('"');
}

std::u16string OnOneLine(std::u16string value) {
  for (char16_t& unit : value) {
    if (unit == u'\r' || unit == u'\n') unit = u' ';
  }
  return value;
}

}  // namespace

std::vector<uint8_t> VariablesEntry(std::span<const GameVariable> variables) {
  std::vector<uint8_t> entry;
  // Most names are short ASCII: about 40 bytes a line.
  entry.reserve(64 + variables.size() * 40);
  Append(kByteOrderMark, &entry);
  Append("index,name,value,register", &entry);
  Append(kLineEnd, &entry);
  for (size_t position = 0; position < variables.size(); ++position) {
    const GameVariable& variable = variables[position];
    AppendNumber(static_cast<int64_t>(position), &entry);
    entry.push_back(',');
    AppendCsvField(variable.name, &entry);
    entry.push_back(',');
    AppendNumber(variable.value, &entry);
    entry.push_back(',');
    if (variable.registerNumber >= 0) AppendNumber(variable.registerNumber, &entry);
    Append(kLineEnd, &entry);
  }
  return entry;
}

std::vector<uint8_t> GameStateEntry(const GameStateFacts& facts) {
  const std::pair<std::string_view, const std::u16string*> lines[] = {
      {"label", &facts.label},     {"voice", &facts.voice},     {"bgs", &facts.bgs},
      {"bgv", &facts.bgv},         {"vnscope", &facts.vnscope}, {"engine", &facts.engine},
      {"windows", &facts.windows}, {"codepage", &facts.codepage}, {"screen", &facts.screen},
      {"time", &facts.time},
  };
  std::vector<uint8_t> entry;
  for (const auto& [key, value] : lines) {
    Append(key, &entry);
    Append(": ", &entry);
    Append(EncodeUtf8(OnOneLine(*value)), &entry);
    Append(kLineEnd, &entry);
  }
  return entry;
}

std::vector<uint8_t> ExecutionLogEntry(std::u16string_view logText) {
  // Every unit takes at least one byte of UTF-8, so no tail that fits starts
  // before the last kMaxExecutionLogEntry units: only those are looked at,
  // however long the log has grown.
  const size_t limit = limits::kMaxExecutionLogEntry;
  const size_t floor = logText.size() > limit ? logText.size() - limit : 0;
  size_t start = logText.size();
  size_t bytes = 0;
  // Lines from the end, each taken whole while the total still fits.
  while (start > floor) {
    size_t lineStart = start - 1;
    while (lineStart > floor && logText[lineStart - 1] != u'\n') --lineStart;
    if (lineStart > 0 && logText[lineStart - 1] != u'\n') break;  // the line begins before the floor
    const size_t lineBytes = EncodedUtf8Size(logText.substr(lineStart, start - lineStart));
    if (lineBytes > limit - bytes) break;
    bytes += lineBytes;
    start = lineStart;
  }
  const std::string tail = EncodeUtf8(logText.substr(start));
  return std::vector<uint8_t>(tail.begin(), tail.end());
}

std::u16string FormatLocalTime(const LocalTimeStamp& time) {
  const int offset = time.offsetMinutes < 0 ? -time.offsetMinutes : time.offsetMinutes;
  char text[40];
  const int length = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", time.year,
                                   time.month, time.day, time.hour, time.minute, time.second,
                                   time.offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
  return std::u16string(text, text + length);
}

std::u16string DecimalText(int64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

std::u16string DottedNumbers(std::initializer_list<uint32_t> parts) {
  std::u16string text;
  for (uint32_t part : parts) {
    if (!text.empty()) text += u'.';
    text += DecimalText(part);
  }
  return text;
}

}  // namespace vnscope
