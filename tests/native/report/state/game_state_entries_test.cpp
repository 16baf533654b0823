// The three game-state entries byte for byte, against worked examples written
// from the entries' definitions: UTF-8 (with the byte-order mark only in the
// CSV), CRLF after every line, CSV quoting, the log's tail cut at a line start.
#include "report/state/game_state_entries.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace vnscope {
namespace {

using namespace std::string_literals;

std::string AsString(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

constexpr char kBom[] = "\xEF\xBB\xBF";
constexpr char kHeader[] = "index,name,value,register\r\n";

struct VariablesCase {
  const char* what;
  std::vector<GameVariable> variables;
  std::string bytes;  // after the byte-order mark and the first line
};

TEST(VariablesEntry, OneCrlfLinePerVariableInTableOrder) {
  const VariablesCase cases[] = {
      {"no committed variables: the first line alone", {}, ""},
      {"plain names, a register, none",
       {{u"#a", 3, -1}, {u"@b", -5, 7}},
       "0,#a,3,\r\n1,@b,-5,7\r\n"},
      {"the 32-bit limits and the highest register",
       {{u"#min", INT32_MIN, 65535}, {u"#max", INT32_MAX, 0}},
       "0,#min,-2147483648,65535\r\n1,#max,2147483647,0\r\n"},
      {"a comma quotes the name", {{u"#x,y", 1, -1}}, "0,\"#x,y\",1,\r\n"},
      {"inner quotes doubled", {{u"#say\"hi\"", 0, -1}}, "0,\"#say\"\"hi\"\"\",0,\r\n"},
      {"line breaks inside quotes", {{u"#a\r\nb", 0, -1}, {u"#c\nd", 0, -1}},
       "0,\"#a\r\nb\",0,\r\n1,\"#c\nd\",0,\r\n"},
      // フ U+30D5, ラ U+30E9, グ U+30B0, 千 U+5343, 早 U+65E9: three bytes each
      {"Japanese in UTF-8, no code page", {{u"#フラグ.千早", 2, 12}},
       "0,#\xE3\x83\x95\xE3\x83\xA9\xE3\x82\xB0.\xE5\x8D\x83\xE6\x97\xA9,2,12\r\n"},
      // U+1F600 is the pair D83D DE00 and four bytes F0 9F 98 80
      {"a surrogate pair is one character", {{u"@\U0001F600", 0, -1}}, "0,@\xF0\x9F\x98\x80,0,\r\n"},
      {"a lone surrogate has no UTF-8 form: U+FFFD", {{u"#\xD800x", 0, -1}}, "0,#\xEF\xBF\xBDx,0,\r\n"},
      {"spaces need no quotes", {{u"# a b ", 0, -1}}, "0,# a b ,0,\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AsString(VariablesEntry(c.variables)), kBom + std::string(kHeader) + c.bytes) << c.what;
  }
}

TEST(GameStateEntry, KeyValueLinesInOrderWithoutByteOrderMark) {
  GameStateFacts facts;
  facts.label = u"第一章_開始";
  facts.voice = u"voice/chihaya_001.ogg";
  facts.bgs = u"";
  facts.bgv = u"bgv/rain.ogg";
  facts.vnscope = u"1.0.0";
  facts.engine = u"tqvm.exe 2.1.0.15";
  facts.windows = u"10.0.19045";
  facts.codepage = u"932";
  facts.screen = u"1920x1080";
  facts.time = u"2026-12-08T15:04:05+09:00";
  // 第 U+7B2C, 一 U+4E00, 章 U+7AE0, 開 U+958B, 始 U+59CB
  EXPECT_EQ(AsString(GameStateEntry(facts)),
            "label: \xE7\xAC\xAC\xE4\xB8\x80\xE7\xAB\xA0_\xE9\x96\x8B\xE5\xA7\x8B\r\n"
            "voice: voice/chihaya_001.ogg\r\n"
            "bgs: \r\n"
            "bgv: bgv/rain.ogg\r\n"
            "vnscope: 1.0.0\r\n"
            "engine: tqvm.exe 2.1.0.15\r\n"
            "windows: 10.0.19045\r\n"
            "codepage: 932\r\n"
            "screen: 1920x1080\r\n"
            "time: 2026-12-08T15:04:05+09:00\r\n");
  EXPECT_EQ(AsString(GameStateEntry({})),
            "label: \r\nvoice: \r\nbgs: \r\nbgv: \r\nvnscope: \r\nengine: \r\nwindows: \r\ncodepage: \r\n"
            "screen: \r\ntime: \r\n")
      << "empty values stay as an empty field";
}

// A line break inside a value would end the line and hide the keys below it.
TEST(GameStateEntry, LineBreaksInsideAValueBecomeSpaces) {
  GameStateFacts facts;
  facts.voice = u"a\r\nb\nc";
  const std::string entry = AsString(GameStateEntry(facts));
  EXPECT_NE(entry.find("\r\nvoice: a  b c\r\nbgs: \r\n"), std::string::npos) << entry;
}

// Lines of exactly `width` bytes each, CRLF included.
std::u16string Lines(size_t count, size_t width, char16_t fill = u'x') {
  std::u16string text;
  for (size_t i = 0; i < count; ++i) text += std::u16string(width - 2, fill) + u"\r\n";
  return text;
}

// ASCII text as its bytes.
std::string Ascii(const std::u16string& text) { return std::string(text.begin(), text.end()); }

struct LogCase {
  const char* what;
  std::u16string text;
  std::string tail;
};

TEST(ExecutionLogEntry, LongestTailFromALineStartWithin64KiB) {
  const std::u16string hundred = Lines(1000, 100);  // 100,000 bytes
  const std::u16string exact = Lines(1024, 64);      // 65,536 bytes: fits whole
  // あ U+3042 is three bytes: 20 of them and CRLF make a 62-byte line.
  const std::u16string kana = Lines(1100, 22, u'あ');
  std::string kanaLine;
  for (int i = 0; i < 20; ++i) kanaLine += "\xE3\x81\x82";
  kanaLine += "\r\n";
  std::string kanaTail;
  for (int i = 0; i < 65536 / 62; ++i) kanaTail += kanaLine;  // 1,057 lines, 65,534 bytes
  const LogCase cases[] = {
      {"no log", u"", ""},
      {"short, as the window shows it", u"起動\r\nscene 1\r\n", "\xE8\xB5\xB7\xE5\x8B\x95\r\nscene 1\r\n"},
      {"the last line without its line end", u"a\r\nbc", "a\r\nbc"},
      {"655 lines of 100 bytes fit, 656 do not", hundred, Ascii(Lines(655, 100))},
      {"exactly 64 KiB is kept whole", exact, Ascii(exact)},
      {"one more byte drops the first line", u"z\n" + exact, Ascii(exact)},
      {"multibyte lines counted in bytes", kana, kanaTail},
      {"a last line longer than the limit leaves nothing", u"short\r\n" + std::u16string(70000, u'x'), ""},
      {"a tail that ends with its line end at the limit",
       u"first\r\n" + std::u16string(65534, u'y') + u"\r\n", std::string(65534, 'y') + "\r\n"},
  };
  for (const auto& c : cases) {
    const std::string tail = AsString(ExecutionLogEntry(c.text));
    EXPECT_EQ(tail.size(), c.tail.size()) << c.what;
    EXPECT_EQ(tail, c.tail) << c.what;
  }
}

TEST(FormatLocalTime, SignedOffsetInHoursAndMinutes) {
  const struct {
    LocalTimeStamp time;
    std::u16string text;
  } cases[] = {
      {{2026, 12, 8, 15, 4, 5, 540}, u"2026-12-08T15:04:05+09:00"},
      {{1999, 1, 31, 0, 0, 0, 0}, u"1999-01-31T00:00:00+00:00"},
      {{2027, 7, 1, 23, 59, 59, -330}, u"2027-07-01T23:59:59-05:30"},
      {{2027, 3, 9, 9, 9, 9, 345}, u"2027-03-09T09:09:09+05:45"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatLocalTime(c.time), c.text);
}

TEST(DottedNumbers, JoinsWithDots) {
  EXPECT_EQ(DottedNumbers({10, 0, 19045}), u"10.0.19045");
  EXPECT_EQ(DottedNumbers({1, 2, 3, 65535}), u"1.2.3.65535");
  EXPECT_EQ(DottedNumbers({}), u"");
}

}  // namespace
}  // namespace vnscope
