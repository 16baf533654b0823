// vnscope.ini as studios write it: what overrides the built-in endpoint and
// what is refused whole, with the message the tester reads.
#include <gtest/gtest.h>

#include <string>

#include "report/protocol/limits.h"
#include "report/protocol/server_settings.h"

namespace vnscope {
namespace {

using Kind = SettingsProblem::Kind;

const ServerEndpoint kDefaults{"127.0.0.1", 47211};

struct Accepted {
  const char* why;
  std::string text;
  std::string address;
  uint16_t port;
};

TEST(ServerSettings, AcceptedFilesOverrideWhatTheyName) {
  const Accepted cases[] = {
      {"empty file", "", "127.0.0.1", 47211},
      {"both keys", "[server]\naddress = 192.168.10.5\nport = 5000\n", "192.168.10.5", 5000},
      {"port only keeps the address", "[server]\nport=1\n", "127.0.0.1", 1},
      {"address only keeps the port", "[server]\naddress=10.0.0.0\n", "10.0.0.0", 47211},
      {"CRLF, tabs, case of names", "[ Server ]\r\n\tADDRESS\t=\t10.1.2.3\r\nPort = 65535\r\n", "10.1.2.3", 65535},
      {"quoted values", "[server]\naddress=\"10.0.0.7\"\nport=\"8080\"", "10.0.0.7", 8080},
      {"comments and other sections", "; studio\n# x\n[client]\nport=abc\naddress=x\n[server]\nport=6000\n",
       "127.0.0.1", 6000},
      {"keys before any section", "port=1\n[server]\n", "127.0.0.1", 47211},
      {"UTF-8 byte order mark", "\xEF\xBB\xBF[server]\nport=7000\n", "127.0.0.1", 7000},
      {"UTF-16LE, as Notepad saves Unicode", std::string("\xFF\xFE[\0s\0e\0r\0v\0e\0r\0]\0\n\0p\0o\0r\0t\0=\0009\0", 32),
       "127.0.0.1", 9},
      {"UTF-16BE", std::string("\xFE\xFF\0[\0s\0e\0r\0v\0e\0r\0]\0\n\0p\0o\0r\0t\0=\0003", 32), "127.0.0.1", 3},
      {"leading zeros are decimal in a port", "[server]\nport=0080\n", "127.0.0.1", 80},
  };
  for (const Accepted& c : cases) {
    const ServerSettings settings = ParseServerSettings(c.text, kDefaults);
    EXPECT_EQ(settings.problem.kind, Kind::None) << c.why;
    EXPECT_EQ(settings.endpoint.address, c.address) << c.why;
    EXPECT_EQ(settings.endpoint.port, c.port) << c.why;
  }
}

struct Refused {
  const char* why;
  std::string text;
  Kind kind;
  int line;
};

TEST(ServerSettings, AnyProblemKeepsTheWholeDefault) {
  const Refused cases[] = {
      {"port above 65535", "[server]\naddress=10.0.0.1\nport=70000\n", Kind::BadPort, 3},
      {"port 0 is no server", "[server]\nport=0\n", Kind::BadPort, 2},
      {"port with a sign", "[server]\nport=+80\n", Kind::BadPort, 2},
      {"port overflowing 32 bits", "[server]\nport=4294967297\n", Kind::BadPort, 2},
      {"trailing comment is part of the value", "[server]\nport=80 ; office\n", Kind::BadPort, 2},
      {"empty port", "[server]\nport=\n", Kind::BadPort, 2},
      {"host name", "[server]\naddress=reports.studio.lan\n", Kind::BadAddress, 2},
      {"three parts (the client would read 10.0.0.1)", "[server]\naddress=10.0.1\n", Kind::BadAddress, 2},
      {"leading zero (the client would read octal)", "[server]\naddress=10.0.0.010\n", Kind::BadAddress, 2},
      {"part above 255", "[server]\naddress=10.0.0.256\n", Kind::BadAddress, 2},
      {"hexadecimal part", "[server]\naddress=0x0a.0.0.1\n", Kind::BadAddress, 2},
      {"empty part", "[server]\naddress=10..0.1\n", Kind::BadAddress, 2},
      {"IPv6", "[server]\naddress=::1\n", Kind::BadAddress, 2},
      {"line without =", "[server]\naddress 10.0.0.1\n", Kind::BadLine, 2},
      {"unclosed section", "[server\nport=80\n", Kind::BadLine, 1},
      {"misspelt key", "[server]\nadress=10.0.0.1\n", Kind::UnknownKey, 2},
      {"key given twice", "[server]\nport=80\n[server]\nport=81\n", Kind::DuplicateKey, 4},
      {"full-width digits", "[server]\nport=\xEF\xBC\x98\xEF\xBC\x90\n", Kind::BadPort, 2},
  };
  for (const Refused& c : cases) {
    const ServerSettings settings = ParseServerSettings(c.text, kDefaults);
    EXPECT_EQ(settings.problem.kind, c.kind) << c.why;
    EXPECT_EQ(settings.problem.line, c.line) << c.why;
    EXPECT_EQ(settings.endpoint.address, kDefaults.address) << c.why;
    EXPECT_EQ(settings.endpoint.port, kDefaults.port) << c.why;
  }
}

TEST(ServerSettings, FileAtTheSizeLimitIsReadAndOneByteMoreIsNot) {
  std::string text = "[server]\nport=5000\n";
  text.resize(limits::kMaxSettingsFileBytes, '\n');
  EXPECT_EQ(ParseServerSettings(text, kDefaults).endpoint.port, 5000);
  text.push_back('\n');
  const ServerSettings settings = ParseServerSettings(text, kDefaults);
  EXPECT_EQ(settings.problem.kind, Kind::TooLarge);
  EXPECT_EQ(settings.endpoint.port, kDefaults.port);
}

TEST(ServerSettings, MessageNamesTheLineTheValueAndTheServerUsed) {
  const ServerSettings settings = ParseServerSettings("[server]\nport = 70000\n", kDefaults);
  EXPECT_EQ(DescribeSettingsProblem(settings.problem, settings.endpoint),
            u"vnscope.ini の 2 行目: port \"70000\" は 1〜65535 のポート番号ではありません。\n"
            u"設定は使わず、既定のサーバー 127.0.0.1:47211 を使いました。");
  EXPECT_EQ(DescribeSettingsProblem({}, kDefaults), u"");
}

TEST(ServerSettings, MessageQuotesAtMostSixtyFourCharactersOfTheFile) {
  const std::string junk(1000, 'x');
  const ServerSettings settings = ParseServerSettings("[server]\nport=" + junk + "\n", kDefaults);
  EXPECT_EQ(settings.problem.value, junk.substr(0, 64));
}

}  // namespace
}  // namespace vnscope
