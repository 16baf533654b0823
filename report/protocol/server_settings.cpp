#include "report/protocol/server_settings.h"

#include <algorithm>
#include <optional>

#include "report/protocol/limits.h"

namespace vnscope {
namespace {

static_assert(VNSCOPE_SERVER_PORT > 0 && VNSCOPE_SERVER_PORT <= 65535,
              "VNSCOPE_SERVER_PORT must be a TCP port number");

using Kind = SettingsProblem::Kind;

// The longest stretch of the file's own text a message repeats.
constexpr size_t kQuotedChars = 64;

// Notepad saves "Unicode" as UTF-16 with a byte order mark. Only ASCII
// matters in this file; any other unit becomes '?', which no valid value holds.
std::string NarrowUtf16(std::string_view bytes, bool little_endian) {
  std::string text;
  text.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto low = static_cast<unsigned char>(bytes[little_endian ? i : i + 1]);
    const auto high = static_cast<unsigned char>(bytes[little_endian ? i + 1 : i]);
    const unsigned unit = low | (high << 8);
    text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  }
  return text;
}

std::string DecodeSettingsText(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return std::string(bytes.substr(3));
  if (bytes.starts_with("\xFF\xFE")) return NarrowUtf16(bytes.substr(2), true);
  if (bytes.starts_with("\xFE\xFF")) return NarrowUtf16(bytes.substr(2), false);
  return std::string(bytes);
}

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

// Decimal digits only, at most `max`; nullopt for anything else.
std::optional<uint32_t> DecimalUpTo(std::string_view text, uint32_t max) {
  if (text.empty()) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - '0');
    if (value > max) return std::nullopt;
  }
  return value;
}

// Four decimal parts 0-255. Leading zeros are refused: the client's address
// conversion reads them as octal, so "010" would silently mean 8; other
// forms it accepts (hex, fewer parts) are refused for the same reason.
bool IsDottedIpv4(std::string_view text) {
  int parts = 0;
  while (true) {
    const size_t dot = text.find('.');
    const std::string_view part = text.substr(0, dot);
    if (part.size() > 1 && part[0] == '0') return false;
    if (!DecimalUpTo(part, 255)) return false;
    ++parts;
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  return parts == 4;
}

// A value may be written in double quotes, as Windows' own profile functions allow.
std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return value.substr(1, value.size() - 2);
  return value;
}

SettingsProblem Problem(Kind kind, int line, std::string_view key = {}, std::string_view value = {}) {
  return {kind, line, std::string(key.substr(0, kQuotedChars)), std::string(value.substr(0, kQuotedChars))};
}

std::u16string Widen(std::string_view text) {
  std::u16string wide;
  for (char c : text) wide.push_back(static_cast<unsigned char>(c) < 0x80 ? static_cast<char16_t>(c) : u'?');
  return wide;
}

std::u16string Number(uint32_t value) { return Widen(std::to_string(value)); }

}  // namespace

ServerEndpoint BuiltInServerEndpoint() {
  return {VNSCOPE_SERVER_ADDRESS, static_cast<uint16_t>(VNSCOPE_SERVER_PORT)};
}

#ifndef _WIN32
// Natively there is no DLL for a settings file to sit beside.
ServerEndpoint BuildServerEndpoint() { return BuiltInServerEndpoint(); }
#endif

ServerSettings ParseServerSettings(std::string_view bytes, const ServerEndpoint& defaults) {
  if (bytes.size() > limits::kMaxSettingsFileBytes) return {defaults, Problem(Kind::TooLarge, 0)};
  const std::string text = DecodeSettingsText(bytes);
  std::string_view rest = text;
  ServerEndpoint endpoint = defaults;
  bool in_server = false;
  bool seen_address = false;
  bool seen_port = false;
  for (int number = 1; !rest.empty(); ++number) {
    const size_t end = rest.find('\n');
    const std::string_view line = Trim(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']') return {defaults, Problem(Kind::BadLine, number, {}, line)};
      in_server = SameName(Trim(line.substr(1, line.size() - 2)), "server");
      continue;
    }
    const size_t equals = line.find('=');
    const std::string_view key = Trim(line.substr(0, equals));
    if (equals == std::string_view::npos || key.empty()) return {defaults, Problem(Kind::BadLine, number, {}, line)};
    if (!in_server) continue;
    const std::string_view value = Unquote(Trim(line.substr(equals + 1)));
    if (SameName(key, "address")) {
      if (seen_address) return {defaults, Problem(Kind::DuplicateKey, number, key, value)};
      if (!IsDottedIpv4(value)) return {defaults, Problem(Kind::BadAddress, number, key, value)};
      seen_address = true;
      endpoint.address = std::string(value);
    } else if (SameName(key, "port")) {
      if (seen_port) return {defaults, Problem(Kind::DuplicateKey, number, key, value)};
      const std::optional<uint32_t> port = DecimalUpTo(value, 65535);
      if (!port || *port == 0) return {defaults, Problem(Kind::BadPort, number, key, value)};
      seen_port = true;
      endpoint.port = static_cast<uint16_t>(*port);
    } else {
      return {defaults, Problem(Kind::UnknownKey, number, key, value)};
    }
  }
  return {endpoint, {}};
}

std::u16string DescribeSettingsProblem(const SettingsProblem& problem, const ServerEndpoint& used) {
  const std::u16string at = u"vnscope.ini の " + Number(problem.line) + u" 行目: ";
  const std::u16string key = u"\"" + Widen(problem.key) + u"\"";
  const std::u16string value = u"\"" + Widen(problem.value) + u"\"";
  std::u16string what;
  switch (problem.kind) {
    case Kind::None: return {};
    case Kind::Unreadable: what = u"vnscope.ini を読めませんでした。"; break;
    case Kind::TooLarge:
      what = u"vnscope.ini が大きすぎます (" + Number(limits::kMaxSettingsFileBytes) + u" バイトまで)。";
      break;
    case Kind::BadLine: what = at + value + u" は「キー = 値」の形ではありません。"; break;
    case Kind::BadAddress:
      what = at + u"address " + value + u" は IPv4 アドレス (例: 192.168.0.10) ではありません。";
      break;
    case Kind::BadPort: what = at + u"port " + value + u" は 1〜65535 のポート番号ではありません。"; break;
    case Kind::UnknownKey: what = at + u"[server] に " + key + u" という項目はありません (address と port のみ)。"; break;
    case Kind::DuplicateKey: what = at + key + u" が二度書かれています。"; break;
  }
  return what + u"\n設定は使わず、既定のサーバー " + Widen(used.address) + u":" + Number(used.port) +
         u" を使いました。";
}

}  // namespace vnscope
