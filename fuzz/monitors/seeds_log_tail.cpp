// Seeds for log_tail: logs the tests write, read the ways the window reads.
#include "fuzz/common/op_stream.h"
#include "fuzz/monitors/log_tail_ops.h"
#include "monitors/log_tail.h"
#include "seeds/seed_registry.h"
#include "monitors/utf16_log.h"

namespace vnscope::fuzz {
namespace {

using namespace log_tail;

OpWriter& Append(OpWriter& out, std::u16string_view text) {
  const std::vector<uint8_t> bytes = test::Utf16Le(text);
  return out.U8(kAppend).U8(static_cast<uint8_t>(bytes.size())).Bytes(bytes);
}

OpWriter& Poll(OpWriter& out, uint16_t firstRead = 0) { return out.U8(kPoll).U8(kWindowKeep).U16(firstRead); }

const SeedWriter kLogTail("log_tail", [] {
  OpWriter lines, oddReads, byteOrderMark, rewritten, backlog, carriedThenSkipped, hugeKeep;
  Poll(Append(lines, u"a\nb\n実行開始\n"));
  Poll(Append(lines, std::u16string_view(u"ab\0cd\ne", 7)));
  Poll(Append(oddReads, u"ab\ncd\n"), 3);
  Poll(Append(oddReads, u"ef"), 1);
  Poll(Append(byteOrderMark.U8(kByteOrderMark), u"log\n"));
  Poll(Append(rewritten, u"old log line\n"));
  Poll(rewritten.U8(kRewrite).U8(4).Bytes(test::Utf16Le(u"n\n")).U16(6));
  Poll(rewritten.U8(kShrink).U32(1));
  // A burst larger than the window keeps, then one with an odd byte pending.
  Poll(backlog.U8(kAppendMany).U16(40000).U16(u'x').U8(80));
  carriedThenSkipped.U8(kAppend).U8(1).U8(0x41);
  Poll(carriedThenSkipped);
  carriedThenSkipped.U8(kAppendMany).U16(3000).U16(u'y').U8(10);
  carriedThenSkipped.U8(kPoll).U8(kChunksOver).U8(2).U8(1).U16(0);
  Poll(Append(hugeKeep, u"kept\n")).U8(kVirtualSkip).U64(5ull << 30).U8(kHugeKeep).U16(7);
  Poll(hugeKeep);
  return Seeds{{"lines", lines.bytes()},         {"odd-reads", oddReads.bytes()},
               {"byte-order-mark", byteOrderMark.bytes()}, {"rewritten", rewritten.bytes()},
               {"backlog", backlog.bytes()},     {"carried-then-skipped", carriedThenSkipped.bytes()},
               {"huge-keep", hugeKeep.bytes()}};
});

}  // namespace
}  // namespace vnscope::fuzz
