#include "report/protocol/report_framing.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cstring>
#include <deque>
#include <string>

#include "report/protocol/limits.h"
#include "loopback_server.h"
#include "recording_stream.h"
#include "report/protocol/posix_stream.h"
#include "throttled_stream.h"

namespace vnscope {
namespace {

using test_support::Concat;
using test_support::LoopbackServer;
using test_support::Message;
using test_support::ReadMessage;
using test_support::ReadToEnd;
using test_support::ThrottledStream;
using test_support::WriteAll;

const StreamTimeouts kTimeouts{5000, 5000, 5000};

// The protocol's EndExchange: code 0, length 0.
const std::vector<uint8_t> kEndExchange = {0x00, 0x00, 0x00, 0x00, 0x00};

// A stream that takes only 3 bytes a call still gets every message out whole,
// and one that hands over 1 byte a call still yields whole replies.
TEST(ReportFraming, PartialSendsAndReceivesAreContinued) {
  std::vector<uint8_t> received;
  const std::vector<uint8_t> big(5000, 0x5A);
  LoopbackServer server([&](int connection) {
    received = ReadMessage(connection);
    WriteAll(connection, Message(6, {'a', 'b', 'c', 0}));
    const auto rest = ReadToEnd(connection);
    received.insert(received.end(), rest.begin(), rest.end());
  });
  PosixStream socket_stream(kTimeouts);
  ThrottledStream stream(socket_stream, 3, 1);
  ASSERT_TRUE(stream.Connect("127.0.0.1", server.endpoint().port));
  EXPECT_TRUE(SendReportMessage(stream, 1, big.data(), static_cast<uint32_t>(big.size())));
  ByteBuffer reply;
  EXPECT_EQ(ReceiveReportMessage(stream, &reply), 6);
  ASSERT_EQ(reply.RequestedSize(), 4u);
  EXPECT_EQ(std::memcmp(reply.Data(), "abc", 4), 0);
  CloseExchange(stream);
  server.Join();
  EXPECT_GT(stream.partial_sends(), 0);
  EXPECT_EQ(received, Concat({Message(1, big), kEndExchange}));
}

// A zero-length reply must not read as the previous reply's bytes.
TEST(ReportFraming, ZeroLengthPayloadLeavesTheBlockButReadsEmpty) {
  LoopbackServer server([&](int connection) {
    WriteAll(connection, Concat({Message(6, {'a', 'b', 0}), Message(7), Message(0)}));
    ReadToEnd(connection);
  });
  PosixStream stream(kTimeouts);
  ASSERT_TRUE(stream.Connect("127.0.0.1", server.endpoint().port));
  ByteBuffer reply;
  EXPECT_EQ(ReceiveReportMessage(stream, &reply), 6);
  EXPECT_EQ(reply.RequestedSize(), 3u);
  const uint8_t* block = reply.Data();
  EXPECT_EQ(ReceiveReportMessage(stream, &reply), 7);
  EXPECT_EQ(reply.RequestedSize(), 0u);
  EXPECT_EQ(reply.Data(), block);
  EXPECT_EQ(ReceiveReportMessage(stream, &reply), 0);
  CloseExchange(stream);
}

struct OversizedReply {
  const char* why;
  std::vector<uint8_t> header;
};

// The length comes from the peer: past the limit it is refused before any
// memory is asked for.
TEST(ReportFraming, OversizedReplyLengthFailsWithoutAllocating) {
  static_assert(limits::kMaxReplyPayload + 1 == 0x04000001u);
  const OversizedReply cases[] = {
      {"one byte past the limit", {0x04, 0x01, 0x00, 0x00, 0x04}},
      {"largest 32-bit length", {0x02, 0xFF, 0xFF, 0xFF, 0xFF}},
  };
  for (const auto& c : cases) {
    LoopbackServer server([&](int connection) {
      WriteAll(connection, c.header);
      ReadToEnd(connection);
    });
    PosixStream stream(kTimeouts);
    ASSERT_TRUE(stream.Connect("127.0.0.1", server.endpoint().port));
    ByteBuffer reply;
    EXPECT_EQ(ReceiveReportMessage(stream, &reply), -1) << c.why;
    EXPECT_EQ(reply.Data(), nullptr) << c.why;
    EXPECT_EQ(reply.Capacity(), 0u) << c.why;
    CloseExchange(stream);
  }
}

struct CutReply {
  const char* why;
  std::vector<uint8_t> bytes;  // all the server sends before closing
};

TEST(ReportFraming, ReplyCutShortFails) {
  const CutReply cases[] = {
      {"closed before the code", {}},
      {"closed inside the length", {0x02, 0x03, 0x00}},
      {"closed inside the payload", {0x02, 0x03, 0x00, 0x00, 0x00, 0x61}},
  };
  for (const auto& c : cases) {
    LoopbackServer server([&](int connection) {
      WriteAll(connection, c.bytes);
      shutdown(connection, SHUT_WR);
      ReadToEnd(connection);
    });
    PosixStream stream(kTimeouts);
    ASSERT_TRUE(stream.Connect("127.0.0.1", server.endpoint().port));
    ByteBuffer reply;
    EXPECT_EQ(ReceiveReportMessage(stream, &reply), -1) << c.why;
    CloseExchange(stream);
  }
}

struct CloseCase {
  const char* what;
  std::deque<int32_t> send_results;
  std::deque<std::vector<uint8_t>> leftovers;  // what the server still sends
  int32_t receive_end;
  std::vector<std::string> calls;
  std::vector<uint8_t> sent;
};

// EndExchange, shut down sending, discard blocks of up to 256 bytes until the
// server closes or an error, shut down receiving, close.
TEST(ReportFraming, CloseExchangeRunsTheCloseSequence) {
  const CloseCase cases[] = {
      {"quiet server", {}, {}, 0,
       {"send 5", "shutdown send", "receive 256", "shutdown receive", "close"},
       {0, 0, 0, 0, 0}},
      {"leftovers are drained in 256-byte blocks", {}, {std::vector<uint8_t>(300, 1)}, 0,
       {"send 5", "shutdown send", "receive 256", "receive 256", "receive 256",
        "shutdown receive", "close"},
       {0, 0, 0, 0, 0}},
      {"a receive error ends the drain", {}, {{1, 2}}, -1,
       {"send 5", "shutdown send", "receive 256", "receive 256", "shutdown receive", "close"},
       {0, 0, 0, 0, 0}},
      {"nothing goes out: the length is not tried", {-1}, {}, 0,
       {"send 5", "shutdown send", "receive 256", "shutdown receive", "close"},
       {}},
      {"the code went out alone: the length follows", {1}, {}, 0,
       {"send 5", "send 4", "shutdown send", "receive 256", "shutdown receive", "close"},
       {0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    test_support::RecordingStream stream;
    stream.send_results = c.send_results;
    stream.receive_blocks = c.leftovers;
    stream.receive_end = c.receive_end;
    CloseExchange(stream);
    EXPECT_EQ(stream.log, c.calls) << c.what;
    EXPECT_EQ(stream.sent, c.sent) << c.what;
  }
}

}  // namespace
}  // namespace vnscope

namespace vnscope {
namespace {

// A server that never stops sending: the close gives up after a bounded drain.
class EndlessStream final : public ReportStream {
 public:
  uint64_t received = 0;
  bool closed = false;
  bool Connect(const std::string&, uint16_t) override { return true; }
  int32_t Send(const uint8_t*, uint32_t length) override { return static_cast<int32_t>(length); }
  int32_t Receive(uint8_t* buffer, uint32_t length) override {
    std::memset(buffer, 7, length);
    received += length;
    return received > (uint64_t{1} << 32) ? 0 : static_cast<int32_t>(length);
  }
  void ShutdownSend() override {}
  void ShutdownReceive() override {}
  void Close() override { closed = true; }
};

TEST(ReportFraming, CloseStopsDrainingAServerThatNeverStops) {
  EndlessStream stream;
  CloseExchange(stream);
  EXPECT_TRUE(stream.closed);
  EXPECT_GE(stream.received, limits::kMaxDrainAtClose);
  EXPECT_LT(stream.received, uint64_t{limits::kMaxDrainAtClose} + 512);
}

}  // namespace
}  // namespace vnscope
