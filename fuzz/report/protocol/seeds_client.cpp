// Seeds for the client's exchanges and the settings file: server replies as
// the server frames them, and vnscope.ini files as studios write them.
#include "fuzz/report/protocol/summary_payload.h"
#include "seeds/seed_registry.h"
#include "test_support.h"

namespace vnscope::fuzz {
namespace {

using test::Bytes;
using test::FrameBytes;
using test::ToBytes;

// client_replies: exchange (0 submit, 1 list, 2 snapshots, 3 states, 4 text),
// options (bit 0 connect fails, bit 1 end as error, bits 2-3 names), receive
// chunk (0: all), send budget (0x80 and up: all), state; then the replies.
Bytes Replies(uint8_t exchange, uint8_t options, uint8_t chunk, std::initializer_list<Bytes> frames) {
  Bytes bytes{exchange, options, chunk, 0xFF, 0x80};
  for (const Bytes& frame : frames) bytes.insert(bytes.end(), frame.begin(), frame.end());
  return bytes;
}

const Bytes kDone = FrameBytes(0);
const Bytes kName = test::NamePayload("20260101-000000-000001");

const SeedWriter kClientReplies("client_replies", [] {
  Bytes oversized = FrameBytes(4);
  oversized[4] = 0x10;  // 256 MiB declared
  Bytes send_fails = Replies(2, 3 << 2, 0, {kDone, kDone});
  send_fails[3] = 3;  // the budget ends inside the second request
  return Seeds{
      {"submit-stored", Replies(0, 0, 0, {FrameBytes(0, kName)})},
      {"submit-refused", Replies(0, 0, 1, {FrameBytes(1, ToBytes("not a zip"))})},
      {"list", Replies(1, 0, 7,
                       {FrameBytes(2, kName), FrameBytes(3, SummaryPayload(u"題名", u"tester", 3, 0x80000000u)),
                        FrameBytes(2, test::NamePayload("b")), FrameBytes(3, Bytes{1, 2}), kDone})},
      {"snapshots", Replies(2, 2 << 2, 0, {FrameBytes(4, Bytes{0x89, 'P', 'N', 'G'}), kDone, kDone})},
      {"snapshot-cut", Replies(2, 1 << 2, 3, {FrameBytes(4, Bytes{1, 2, 3})})},
      {"states", Replies(3, 3 << 2, 0, {FrameBytes(5), kDone, kDone, FrameBytes(5), kDone})},
      {"text", Replies(4, 0, 0, {FrameBytes(6, ToBytes(std::string("line\r\nnext\0", 11))), FrameBytes(7), kDone})},
      {"oversized", Replies(4, 2, 0, {oversized})},
      {"unknown-codes", Replies(1, 0, 0,
                                {FrameBytes(200, ToBytes("skip")), FrameBytes(3, SummaryPayload(u"x", u"tester", 3, 1)),
                                 kDone})},
      {"send-fails", send_fails},
      {"no-connection", Replies(1, 1, 0, {kDone})},
  };
});

const SeedWriter kServerSettings("server_settings", [] {
  Bytes utf16{0xFF, 0xFE};
  for (char c : std::string("[server]\r\naddress=192.168.0.10\r\n")) utf16.insert(utf16.end(), {uint8_t(c), 0});
  return Seeds{
      {"plain", ToBytes("[server]\naddress = 192.168.0.10\nport = 47211\n")},
      {"comments-bom", ToBytes("\xEF\xBB\xBF; studio server\r\n[Server]\r\nPort=\"8080\"\r\n# end\r\n")},
      {"utf16", utf16},
      {"leading-zero", ToBytes("[server]\naddress = 010.0.0.1\n")},
      {"duplicate", ToBytes("[server]\nport = 1\nport = 2\n")},
      {"other-section", ToBytes("[other]\nanything = 1\n[server]\naddress=1.2.3.4\n")},
      {"bad-line", ToBytes("[server\naddress 1.2.3.4\n")},
  };
});

}  // namespace
}  // namespace vnscope::fuzz
