// Reading a report's game state back, and the restore's plan: entries built
// by the writer read back to what went in; malformed entries are refused;
// the plan compares by name.
#include "report/state/reported_state.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace vnscope {
namespace {

std::vector<uint8_t> Bytes(std::string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); }

TEST(ParseVariablesEntry, ReadsBackWhatTheWriterWrote) {
  const std::vector<GameVariable> written = {
      {u"#x,y", 1, -1},     {u"#say\"hi\"", -2, 3}, {u"#a\r\nb", INT32_MIN, 65535},
      {u"@フラグ.千早", INT32_MAX, -1}, {u"@\U0001F600", 0, 0}, {u"#plain", 42, -1},
  };
  const auto read = ParseVariablesEntry(VariablesEntry(written));
  ASSERT_TRUE(read);
  ASSERT_EQ(read->size(), written.size());
  for (size_t i = 0; i < written.size(); ++i) {
    EXPECT_EQ((*read)[i].name, written[i].name) << i;
    EXPECT_EQ((*read)[i].value, written[i].value) << i;
  }
  const auto empty = ParseVariablesEntry(VariablesEntry({}));
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());
}

TEST(ParseVariablesEntry, AcceptsLfAndAMissingMarkOrLastLineEnd) {
  const auto read = ParseVariablesEntry(Bytes("index,name,value,register\n0,#a,5,\n1,\"#b,c\",-7,2"));
  ASSERT_TRUE(read);
  ASSERT_EQ(read->size(), 2u);
  EXPECT_EQ((*read)[1].name, u"#b,c");
  EXPECT_EQ((*read)[1].value, -7);
}

// The server reads the rows with the same reader: this table stands for both.
TEST(ParseVariablesEntry, RefusesWhatIsNotSuchAnEntry) {
  const struct {
    const char* why;
    std::string bytes;
  } bad[] = {
      {"another first line", "\xEF\xBB\xBFname,value\r\n"},
      {"no first line at all", ""},
      {"three fields", "index,name,value,register\r\n0,#a,1\r\n"},
      {"five fields", "index,name,value,register\r\n0,#a,1,,\r\n"},
      {"a value that is not a number", "index,name,value,register\r\n0,#a,x,\r\n"},
      {"a value beyond 32 bits", "index,name,value,register\r\n0,#a,2147483648,\r\n"},
      {"an empty value", "index,name,value,register\r\n0,#a,,\r\n"},
      {"a register that is not a number", "index,name,value,register\r\n0,#a,1,r\r\n"},
      {"an index that is not a number", "index,name,value,register\r\n-,#a,1,\r\n"},
      {"a quote never closed", "index,name,value,register\r\n0,\"#a,1,\r\n"},
      {"text after a closing quote", "index,name,value,register\r\n0,\"#a\"b,1,\r\n"},
      {"a name that is not UTF-8", "index,name,value,register\r\n0,#\x82\xA0,1,\r\n"},
      {"an overlong form", "index,name,value,register\r\n0,#\xC0\xAF,1,\r\n"},
  };
  for (const auto& c : bad) EXPECT_FALSE(ParseVariablesEntry(Bytes(c.bytes))) << c.why;
}

TEST(GameStateValue, FindsAKeyByItsWholeName) {
  GameStateFacts facts;
  facts.label = u"第一章";
  facts.bgs = u"se/rain: heavy";
  facts.time = u"2026-12-08T15:04:05+09:00";
  const std::vector<uint8_t> entry = GameStateEntry(facts);
  EXPECT_EQ(GameStateValue(entry, "label"), u"第一章");
  EXPECT_EQ(GameStateValue(entry, "bgs"), u"se/rain: heavy") << "only the first \": \" separates";
  EXPECT_EQ(GameStateValue(entry, "voice"), u"") << "an empty field is a value";
  EXPECT_EQ(GameStateValue(entry, "time"), u"2026-12-08T15:04:05+09:00");
  EXPECT_FALSE(GameStateValue(entry, "bg")) << "bgs and bgv are other keys";
  EXPECT_FALSE(GameStateValue(entry, "scene"));
  EXPECT_FALSE(GameStateValue(Bytes("label: \x82\xA0\r\n"), "label")) << "not UTF-8";
  EXPECT_EQ(GameStateValue(Bytes("label: a"), "label"), u"a") << "the last line without its line end";
}

TEST(PlanRestore, WritesTheDifferingByNameInTheGamesOrderAndCountsTheMissing) {
  const std::vector<GameVariable> running = {
      {u"#a", 1, -1}, {u"#b", 2, -1}, {u"#c", 3, -1}, {u"#a", 9, -1}, {u"@d", 4, 7},
  };
  const std::vector<ReportedVariable> reported = {
      {u"@d", -4},  // differs: written at position 4
      {u"#c", 3},   // the same value: nothing to write
      {u"#b", 5},   // differs
      {u"#z", 1},   // the game has no #z
      {u"#a", 7},   // the first #a, position 0
      {u"#b", 6},   // listed again: the first one counts
      {u"#y", 0},   // missing too
      {u"#y", 1},   // and counted once
  };
  const RestorePlan plan = PlanRestore(running, reported);
  ASSERT_EQ(plan.writes.size(), 3u);
  const VariableWrite expected[] = {{0, 7}, {1, 5}, {4, -4}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(plan.writes[i].position, expected[i].position) << i;
    EXPECT_EQ(plan.writes[i].value, expected[i].value) << i;
  }
  EXPECT_EQ(plan.missing, 2u);
  const std::vector<ReportedVariable> unchanged = {{u"#a", 1}, {u"#b", 2}};
  const RestorePlan same = PlanRestore(running, unchanged);
  EXPECT_TRUE(same.writes.empty());
  EXPECT_EQ(same.missing, 0u);
}

TEST(RestoreQuestion, CountsAndLabelWithTheMissingOnASecondLine) {
  RestorePlan plan;
  plan.writes = {{0, 1}, {3, 2}};
  EXPECT_EQ(RestoreQuestion(plan, u"第一章"), u"2個の変数を書き換えて、ラベル 第一章 にジャンプします。よろしいですか？");
  plan.missing = 3;
  EXPECT_EQ(RestoreQuestion(plan, u"ed_01"),
            u"2個の変数を書き換えて、ラベル ed_01 にジャンプします。よろしいですか？\n"
            u"（このゲームにない変数 3個は飛ばします）");
}

}  // namespace
}  // namespace vnscope
