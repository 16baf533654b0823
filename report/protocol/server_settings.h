// The report server's endpoint as a studio sets it: the build's address and
// port, unless a vnscope.ini beside the DLL names others in its [server]
// section. Platform-free: the DLL reads the file, this reads its text.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace vnscope {

struct ServerEndpoint {
  std::string address;  // dotted IPv4
  uint16_t port = 0;
};

inline constexpr char16_t kServerSettingsFileName[] = u"vnscope.ini";

// The endpoint the DLL was built with (VNSCOPE_SERVER_ADDRESS, VNSCOPE_SERVER_PORT).
ServerEndpoint BuiltInServerEndpoint();

// Why a settings file was not used. The file's own words (`key`, `value`) are
// kept for the message that tells the tester.
struct SettingsProblem {
  enum class Kind {
    None,
    Unreadable,    // the file exists but could not be read
    TooLarge,      // longer than limits::kMaxSettingsFileBytes
    BadLine,       // neither a section, a key = value pair nor a comment
    BadAddress,    // not four decimal numbers 0-255 without leading zeros
    BadPort,       // not a decimal number 1-65535
    UnknownKey,    // a key of [server] other than address and port
    DuplicateKey,  // the same key twice in [server]
  };
  Kind kind = Kind::None;
  int line = 0;  // 1-based; 0 for the whole file
  std::string key;
  std::string value;
};

struct ServerSettings {
  ServerEndpoint endpoint;
  SettingsProblem problem;  // Kind::None when the endpoint is what the file said
};

// Reads the text of a vnscope.ini: lines of "[section]", "key = value" and
// comments (";" or "#"), keys and section names without regard to case,
// UTF-8 (with or without its byte order mark) or UTF-16 with one. In [server],
// `address` and `port` override `defaults` one by one; other sections are
// ignored. Any problem in the file keeps all of `defaults`: a studio address
// with the build's port, or the other way round, is nobody's server.
ServerSettings ParseServerSettings(std::string_view text, const ServerEndpoint& defaults);

// What the tester is told when the file was not used, ending with the
// endpoint used instead. Empty when there was no problem.
std::u16string DescribeSettingsProblem(const SettingsProblem& problem, const ServerEndpoint& used);

}  // namespace vnscope
