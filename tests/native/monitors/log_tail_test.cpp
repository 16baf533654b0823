// Following the execution log: line ends, NUL units, the byte-order mark,
// odd bytes, rewritten files and large offsets.
#include "monitors/log_tail.h"

#include <gtest/gtest.h>

#include <vector>

#include "utf16_log.h"

namespace vnscope {
namespace {

using test::Utf16Le;

// Feeds `file` from the tail's offset on in chunks of at most `chunk` bytes,
// the way the window reads it.
std::u16string Poll(LogTail& tail, const std::vector<uint8_t>& file, size_t chunk = kLogChunkBytes) {
  std::u16string shown;
  tail.FollowSize(file.size());
  for (size_t at = tail.offset(); at < file.size(); at = tail.offset()) {
    const size_t count = std::min(chunk, file.size() - at);
    tail.AppendChunk(std::span(file.data() + at, count), &shown);
  }
  return shown;
}

TEST(LogTailTest, OneChunkShownAsTheEditControlWantsIt) {
  const struct {
    const char* why;
    std::u16string_view file;
    std::u16string_view shown;
  } cases[] = {
      {"LF becomes CR LF, an unfinished line is shown as it stands", u"a\nb", u"a\r\nb"},
      {"a chunk ending on LF adds the line break and nothing more", u"a\n", u"a\r\n"},
      {"empty lines", u"\n\n", u"\r\n\r\n"},
      {"CR passes through, so CR LF shows as CR CR LF", u"a\r\n", u"a\r\r\n"},
      {"a NUL unit ends what the chunk shows", std::u16string_view(u"ab\0cd\ne", 7), u"ab"},
      {"a byte-order mark is an ordinary character", u"\uFEFFlog", u"\uFEFFlog"},
      {"Japanese", u"実行開始\n", u"実行開始\r\n"},
  };
  for (const auto& c : cases) {
    LogTail tail;
    EXPECT_EQ(Poll(tail, Utf16Le(c.file)), c.shown) << c.why;
    EXPECT_EQ(tail.offset(), c.file.size() * 2) << c.why;
  }
}

TEST(LogTailTest, LaterPollsContinueWhereTheLastOneStopped) {
  LogTail tail;
  std::vector<uint8_t> file = Utf16Le(u"a\nb");
  EXPECT_EQ(Poll(tail, file), u"a\r\nb");
  const auto more = Utf16Le(u"c\n");
  file.insert(file.end(), more.begin(), more.end());
  // The display now reads a, break, bc, break.
  EXPECT_EQ(Poll(tail, file), u"c\r\n");
  EXPECT_EQ(Poll(tail, file), u"");
}

TEST(LogTailTest, NulSkipsOnlyTheRestOfItsChunk) {
  std::u16string text(1023, u'x');
  text[10] = u'\0';
  text += u"next";
  LogTail tail;
  EXPECT_EQ(Poll(tail, Utf16Le(text)), u"xxxxxxxxxxnext");
}

TEST(LogTailTest, AnOddByteWaitsForItsPartner) {
  const std::vector<uint8_t> file = Utf16Le(u"ab\ncd");
  LogTail tail;
  std::u16string shown;
  // The engine is caught halfway through writing the unit 'b'.
  tail.AppendChunk(std::span(file.data(), 3), &shown);
  EXPECT_EQ(shown, u"a");
  EXPECT_EQ(tail.offset(), 3u);
  shown += Poll(tail, file);
  EXPECT_EQ(shown, u"ab\r\ncd");
  // Odd chunk lengths all the way through still read every unit right.
  LogTail odd;
  EXPECT_EQ(Poll(odd, file, 3), u"ab\r\ncd");
}

TEST(LogTailTest, AFileThatShrankIsFollowedFromItsStart) {
  LogTail tail;
  EXPECT_EQ(Poll(tail, Utf16Le(u"old log line\n")), u"old log line\r\n");
  EXPECT_EQ(Poll(tail, Utf16Le(u"new\n")), u"new\r\n");
  LogTail same;
  EXPECT_FALSE(same.FollowSize(0));
}

TEST(LogTailTest, RestartShowsTheSameFileAgain) {
  LogTail tail;
  const auto file = Utf16Le(u"x\n");
  EXPECT_EQ(Poll(tail, file), u"x\r\n");
  tail.Restart();
  EXPECT_EQ(Poll(tail, file), u"x\r\n");
}

TEST(LogTailTest, BacklogIsSkippedInWholeChunks) {
  LogTail tail;
  const uint64_t beyondTwoGiB = 5ull << 30;
  const uint64_t keep = 10 * kLogChunkBytes;
  const uint64_t skipped = tail.SkipBacklog(beyondTwoGiB, keep);
  EXPECT_EQ(skipped % kLogChunkBytes, 0u);
  EXPECT_EQ(tail.offset(), skipped);
  EXPECT_GE(beyondTwoGiB - tail.offset(), keep);
  EXPECT_LT(beyondTwoGiB - tail.offset(), keep + kLogChunkBytes);
  // Little left to read: nothing is skipped.
  EXPECT_EQ(tail.SkipBacklog(tail.offset() + keep, keep), 0u);
}

TEST(LogTailTest, SkippingDropsACarriedByteWithItsPartner) {
  std::vector<uint8_t> file(3 * kLogChunkBytes, 0x41);
  const auto end = Utf16Le(u"\nend");
  file.insert(file.end(), end.begin(), end.end());
  LogTail whole;
  const std::u16string everything = Poll(whole, file);
  LogTail tail;
  std::u16string shown;
  tail.AppendChunk(std::span(file.data(), 1), &shown);
  EXPECT_GT(tail.SkipBacklog(file.size(), 2), 0u);
  EXPECT_EQ(tail.offset() % 2, 0u);
  // What is shown after the skip is the end of what reading it all shows.
  shown = Poll(tail, file);
  EXPECT_FALSE(shown.empty());
  EXPECT_TRUE(everything.ends_with(shown));
}

// Found by fuzzing: with a byte carried over and a backlog of exactly whole
// chunks over the keep, the skip moved one byte past the end of the file;
// the next poll took the file for rewritten and showed all of it again.
TEST(LogTailTest, SkippingWithACarriedByteStaysInsideTheFile) {
  // One byte read (the engine caught mid-write), then two whole chunks more.
  std::vector<uint8_t> file = Utf16Le(std::u16string(kLogChunkBytes, u'x') + u"y");
  file.pop_back();
  LogTail tail;
  std::u16string shown;
  tail.AppendChunk(std::span(file.data(), 1), &shown);
  ASSERT_GT(tail.SkipBacklog(file.size(), 0), 0u);
  EXPECT_LE(tail.offset(), file.size());
  EXPECT_EQ(tail.offset() % 2, 0u) << "the next read starts on a unit";
  EXPECT_FALSE(tail.FollowSize(file.size())) << "a file that only grew is not rewritten";
  file.push_back(0);
  EXPECT_EQ(Poll(tail, file), u"y") << "only the last unit is shown, never all of it again";
}

// Found by fuzzing: a keep near 2^64 wrapped `keep + one chunk` to a small
// number, and the whole file was skipped.
TEST(LogTailTest, AHugeKeepSkipsNothing) {
  for (const uint64_t keep : {~uint64_t{0}, ~uint64_t{0} - kLogChunkBytes, ~uint64_t{0} - 1}) {
    LogTail tail;
    EXPECT_EQ(tail.SkipBacklog(1 << 20, keep), 0u) << keep;
    EXPECT_EQ(tail.offset(), 0u);
  }
}

}  // namespace
}  // namespace vnscope
