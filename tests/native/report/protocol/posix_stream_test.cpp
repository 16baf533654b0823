#include "report/protocol/posix_stream.h"

#include <gtest/gtest.h>

#include <string>

#include "loopback_server.h"

namespace vnscope {
namespace {

const StreamTimeouts kTimeouts{500, 500, 500};

struct BadAddress {
  const char* why;
  std::string address;
};

// inet_addr's error value is all ones, which is also a valid address: only
// the text "255.255.255.255" may produce it.
TEST(PosixStream, RefusesTextThatIsNoDottedAddress) {
  const BadAddress cases[] = {
      {"a host name", "localhost"},
      {"empty", ""},
      {"five parts", "1.2.3.4.5"},
      {"a part past 255", "1.2.3.256"},
      {"trailing garbage", "127.0.0.1x"},
  };
  for (const auto& c : cases) {
    PosixStream stream(kTimeouts);
    EXPECT_FALSE(stream.Connect(c.address, 80)) << c.why;
    EXPECT_EQ(stream.LastFailure().rfind("inet_addr", 0), 0u) << c.why << ": " << stream.LastFailure();
  }
}

TEST(PosixStream, AllOnesIsAcceptedWhenWrittenOut) {
  PosixStream stream(kTimeouts);
  // Nobody answers a TCP connect to the broadcast address, but the text
  // itself must get past the conversion.
  EXPECT_FALSE(stream.Connect("255.255.255.255", 9));
  EXPECT_NE(stream.LastFailure().rfind("inet_addr", 0), 0u) << stream.LastFailure();
}

TEST(PosixStream, RefusedConnectSaysSo) {
  PosixStream stream(kTimeouts);
  EXPECT_FALSE(stream.Connect("127.0.0.1", test_support::UnusedPort()));
  EXPECT_EQ(stream.LastFailure().rfind("connect", 0), 0u) << stream.LastFailure();
  EXPECT_EQ(stream.Send(reinterpret_cast<const uint8_t*>("x"), 1), -1) << "nothing stays open";
}

}  // namespace
}  // namespace vnscope
