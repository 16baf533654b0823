#include "report/protocol/read_ahead.h"

#include <gtest/gtest.h>

#include <deque>
#include <numeric>
#include <vector>

namespace vnscope {
namespace {

constexpr uint32_t kBlock = limits::kReadAheadBytes;

// A socket as the read-ahead sees it: each call hands over at most the next
// arrival (or its 0 or -1), and every call is recorded.
struct ScriptedSocket {
  std::deque<std::vector<uint8_t>> arrivals;
  int32_t end = 0;  // once the arrivals are used up
  struct Call {
    uint32_t size;
    bool intoCaller;
  };
  std::vector<Call> calls;
  const uint8_t* caller = nullptr;

  int32_t operator()(uint8_t* into, uint32_t size) {
    calls.push_back({size, into == caller});
    if (arrivals.empty()) return end;
    std::vector<uint8_t>& next = arrivals.front();
    const uint32_t count = std::min<uint32_t>(size, static_cast<uint32_t>(next.size()));
    std::copy(next.begin(), next.begin() + count, into);
    next.erase(next.begin(), next.begin() + count);
    if (next.empty()) arrivals.pop_front();
    return static_cast<int32_t>(count);
  }
};

std::vector<uint8_t> Counting(uint32_t size, uint8_t from = 0) {
  std::vector<uint8_t> bytes(size);
  std::iota(bytes.begin(), bytes.end(), from);
  return bytes;
}

struct ReadCase {
  const char* what;
  std::deque<std::vector<uint8_t>> arrivals;
  int32_t end;
  std::vector<uint32_t> reads;         // lengths asked for, in order
  std::vector<int32_t> results;        // what each read returns
  std::vector<uint32_t> socketSizes;   // sizes the socket was asked for
};

TEST(ReadAhead, SmallReadsShareOneReceive) {
  const ReadCase cases[] = {
      {"a frame's code, length and payload from one arrival", {Counting(12)}, 0, {1, 4, 7}, {1, 4, 7}, {kBlock}},
      {"a read past what is held gets what is held", {Counting(10)}, 0, {1, 20}, {1, 9}, {kBlock}},
      {"the next receive only once the block is used up", {Counting(3), Counting(2, 3)}, 0, {2, 2, 1},
       {2, 1, 1}, {kBlock, kBlock}},
      {"the peer's close passes through", {}, 0, {5}, {0}, {kBlock}},
      {"an error passes through, after the bytes held", {Counting(2)}, -1, {1, 1, 1}, {1, 1, -1},
       {kBlock, kBlock}},
      {"nothing asked, nothing received", {Counting(2)}, 0, {0}, {0}, {}},
  };
  for (const auto& c : cases) {
    ScriptedSocket socket{c.arrivals, c.end};
    ReadAhead ahead;
    std::vector<uint8_t> got;
    for (size_t i = 0; i < c.reads.size(); ++i) {
      std::vector<uint8_t> out(c.reads[i]);
      const int32_t result = ahead.Read(out.data(), c.reads[i], socket);
      EXPECT_EQ(result, c.results[i]) << c.what << ", read " << i;
      if (result > 0) got.insert(got.end(), out.begin(), out.begin() + result);
    }
    // Whatever the reads took came in order, with nothing lost or repeated.
    EXPECT_EQ(got, Counting(static_cast<uint32_t>(got.size()))) << c.what;
    std::vector<uint32_t> sizes;
    for (const auto& call : socket.calls) sizes.push_back(call.size);
    EXPECT_EQ(sizes, c.socketSizes) << c.what;
  }
}

// A payload of a block or more lands where the reader wants it, uncopied.
TEST(ReadAhead, LargeReadGoesStraightToTheReader) {
  ScriptedSocket socket{{Counting(kBlock + 100)}};
  ReadAhead ahead;
  std::vector<uint8_t> out(kBlock + 100);
  socket.caller = out.data();
  EXPECT_EQ(ahead.Read(out.data(), kBlock + 100, socket), static_cast<int32_t>(kBlock + 100));
  ASSERT_EQ(socket.calls.size(), 1u);
  EXPECT_TRUE(socket.calls[0].intoCaller);
  EXPECT_EQ(out, Counting(kBlock + 100));
}

// A new connection must not read what the last one left.
TEST(ReadAhead, DiscardForgetsWhatIsHeld) {
  ScriptedSocket socket{{Counting(10), {0xAA}}};
  ReadAhead ahead;
  uint8_t byte = 0;
  EXPECT_EQ(ahead.Read(&byte, 1, socket), 1);
  ahead.Discard();
  EXPECT_EQ(ahead.Read(&byte, 1, socket), 1);
  EXPECT_EQ(byte, 0xAA);
  EXPECT_EQ(socket.calls.size(), 2u);
}

}  // namespace
}  // namespace vnscope
