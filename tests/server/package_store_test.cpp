// The server's pieces without sockets: request parsing, package inspection,
// report names, the store and the request handlers.
#include <gtest/gtest.h>

#include <ctime>
#include <set>
#include <thread>

#include "report/protocol/utf8_text.h"
#include "server/handlers.h"
#include "server/package.h"
#include "server/protocol.h"
#include "server/report_name.h"
#include "server/store.h"
#include "test_support.h"

namespace vnscope::server {
namespace {

using test::Bytes;

TEST(Protocol, FramesFollowTheWireLayout) {
  // ListReports goes out as 02 00 00 00 00; a state change for "ab" has an
  // 8-byte payload, so its header is 04 08 00 00 00.
  EXPECT_EQ(EncodeFrameHeader(2, 0), (std::array<uint8_t, 5>{2, 0, 0, 0, 0}));
  const uint8_t header[5] = {4, 8, 0, 0, 0};
  EXPECT_EQ(DecodeFrameHeader(header).code, 4);
  EXPECT_EQ(DecodeFrameHeader(header).length, 8u);
  const uint8_t big[5] = {1, 0x01, 0x02, 0x03, 0x84};
  EXPECT_EQ(DecodeFrameHeader(big).length, 0x84030201u);
  std::vector<uint8_t> frame;
  AppendFrame(frame, ServerReply::ReportName, Bytes{'a', 'b', 0});
  EXPECT_EQ(frame, (Bytes{2, 3, 0, 0, 0, 'a', 'b', 0}));
}

TEST(Protocol, StateRequestOfTheClient) {
  // Fixed for the report named ab: 00 00 00 80 61 62 00 00.
  auto request = ParseStateRequest(Bytes{0x00, 0x00, 0x00, 0x80, 0x61, 0x62, 0x00, 0x00});
  ASSERT_TRUE(request);
  EXPECT_EQ(request->state, 0x80000000u);
  EXPECT_EQ(request->name, "ab");
  EXPECT_EQ(ParseNameRequest(Bytes{0x61, 0x62, 0x00}), "ab");
}

TEST(Protocol, MalformedRequestsAreRejected) {
  struct Case {
    const char* why;
    Bytes payload;
    bool state_request;
  };
  const Case cases[] = {
      {"name without its 0 byte", {'a', 'b'}, false},
      {"empty payload", {}, false},
      {"state shorter than 4 bytes", {0, 0, 0}, true},
      {"state without a name terminator", {1, 0, 0, 0, 'a'}, true},
  };
  for (const Case& c : cases) {
    const bool parsed = c.state_request ? ParseStateRequest(c.payload).has_value()
                                        : ParseNameRequest(c.payload).has_value();
    EXPECT_FALSE(parsed) << c.why;
  }
}

TEST(Protocol, OnlyTheFiveStatesAreKnown) {
  for (uint32_t state : {0u, 1u, 0x80000000u, 0x80000001u, 0x80000002u}) EXPECT_TRUE(IsKnownState(state)) << state;
  for (uint32_t state : {2u, 0x7FFFFFFFu, 0x80000003u, 0xFFFFFFFFu}) EXPECT_FALSE(IsKnownState(state)) << state;
}

TEST(Protocol, OnlySubmissionsMayBeLarge) {
  EXPECT_EQ(MaxRequestPayload(ClientCommand::SubmitReport, 5'000'000), 5'000'000u);
  EXPECT_EQ(MaxRequestPayload(ClientCommand::ListReports, 5'000'000), 64u << 10);
  EXPECT_EQ(MaxRequestPayload(ClientCommand::FetchReportEntry, 5'000'000), 64u << 10);
  EXPECT_EQ(CommandFromCode(6), ClientCommand::FetchReportEntry);
  EXPECT_FALSE(CommandFromCode(7));
  EXPECT_FALSE(CommandFromCode(0xFF));
}

TEST(Author, ParsesTheEntryOfTheWorkedExample) {
  // Title a, user b, flags 1: 61 00 00 00 62 00 00 00 01 00 00 00.
  auto author = ParseAuthor(Bytes{0x61, 0, 0, 0, 0x62, 0, 0, 0, 1, 0, 0, 0});
  ASSERT_TRUE(author);
  EXPECT_EQ(author->title, u"a");
  EXPECT_EQ(author->reporter, u"b");
  EXPECT_EQ(author->flags, 1u);
}

TEST(Author, MalformedEntriesAreRejected) {
  const std::pair<const char*, Bytes> cases[] = {
      {"empty", {}},
      {"title without terminator", {0x61, 0}},
      {"odd byte inside the title", {0x61, 0, 0}},
      {"reporter without terminator", {0, 0, 0x62, 0}},
      {"no flags", {0, 0, 0, 0}},
      {"three flag bytes", {0, 0, 0, 0, 1, 0, 0}},
      {"bytes after the flags", {0, 0, 0, 0, 1, 0, 0, 0, 9}},
  };
  for (const auto& [why, entry] : cases) EXPECT_FALSE(ParseAuthor(entry)) << why;
}

TEST(Package, AcceptsWhatTheClientBuilds) {
  const Bytes package = test::ReportPackage(u"タイトル", "text", Bytes{0x89, 'P', 'N', 'G'});
  std::string reason;
  auto summary = InspectPackage(package, &reason);
  ASSERT_TRUE(summary) << reason;
  EXPECT_EQ(summary->author.title, u"タイトル");
  EXPECT_EQ(summary->author.reporter, u"tester");
  EXPECT_EQ(summary->author.flags, 3u);
  EXPECT_EQ(summary->author_entry, test::AuthorEntry(u"タイトル", u"tester", 3));
  Bytes snapshot;
  EXPECT_EQ(ReadPackageEntry(package, kSnapshotEntry, 100, &snapshot), EntryStatus::kFound);
  EXPECT_EQ(snapshot, (Bytes{0x89, 'P', 'N', 'G'}));
  EXPECT_EQ(ReadPackageEntry(package, kSnapshotEntry, 3, &snapshot), EntryStatus::kBroken) << "over the cap";
  EXPECT_EQ(ReadPackageEntry(package, "missing", 100, &snapshot), EntryStatus::kMissing);
}

TEST(Package, RefusesWhatCannotBeServed) {
  Bytes corrupted = test::ReportPackage(u"t", "some text");
  // The first entry's data starts after the 30-byte header and the 6-byte name.
  corrupted[30 + 6] ^= 0xFF;
  const std::pair<const char*, Bytes> cases[] = {
      {"not a zip", test::ToBytes("hello, server")},
      {"empty", {}},
      {"no author entry", test::StoredZip({{"scriptinfo.txt", test::ToBytes("x")}})},
      {"author without flags", test::StoredZip({{"author", Bytes{0x61, 0, 0, 0, 0x62, 0, 0, 0}}})},
      {"author CRC does not match", corrupted},
      {"truncated archive", Bytes(corrupted.begin(), corrupted.end() - 10)},
  };
  for (const auto& [why, package] : cases) {
    std::string reason;
    EXPECT_FALSE(InspectPackage(package, &reason)) << why;
    EXPECT_FALSE(reason.empty()) << why;
  }
}

TEST(Package, TitlesBecomeUtf8ForTheDatabase) {
  EXPECT_EQ(EncodeUtf8(u"a\u00e9\u30bf"), "a\xC3\xA9\xE3\x82\xBF");
  EXPECT_EQ(EncodeUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(EncodeUtf8(std::u16string(1, char16_t{0xD800})), "\xEF\xBF\xBD") << "unpaired surrogate";
}

int64_t UnixMillis(int year, int month, int day, int hour, int minute, int second) {
  std::tm utc{};
  utc.tm_year = year - 1900;
  utc.tm_mon = month - 1;
  utc.tm_mday = day;
  utc.tm_hour = hour;
  utc.tm_min = minute;
  utc.tm_sec = second;
  return int64_t{timegm(&utc)} * 1000;
}

TEST(ReportName, IsTheUtcTimeAndTheSequence) {
  EXPECT_EQ(FormatReportName(UnixMillis(2026, 12, 7, 20, 15, 2) + 999, 123), "20261207-201502-000123");
  EXPECT_EQ(FormatReportName(UnixMillis(2030, 1, 1, 0, 0, 0), 1234567), "20300101-000000-1234567");
  EXPECT_TRUE(LooksLikeReportName("20261207-201502-000123"));
  for (const char* other : {"", "../../etc/passwd", "20261207-201502-00012", "20261207x201502-000123",
                            "2026120a-201502-000123"})
    EXPECT_FALSE(LooksLikeReportName(other)) << other;
}

const StateChangeOrigin kBrowserChange{kSourceBrowser, "127.0.0.1:2", 0};

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override { store_ = Open(); }
  std::unique_ptr<ReportStore> Open() {
    std::string error;
    auto store = ReportStore::Open(dir_.path() / "data", &error);
    EXPECT_TRUE(store) << error;
    return store;
  }
  std::string Add(const Bytes& package, int64_t unix_ms) {
    std::string reason;
    auto summary = InspectPackage(package, &reason);
    EXPECT_TRUE(summary) << reason;
    auto name = store_->Add(*summary, package, "127.0.0.1:1", unix_ms, &reason);
    EXPECT_TRUE(name) << reason;
    return name.value_or("");
  }

  test::TempDir dir_;
  std::unique_ptr<ReportStore> store_;
};

TEST_F(StoreTest, NamesFollowArrivalEvenWhenTheClockStepsBack) {
  const int64_t noon = UnixMillis(2026, 12, 7, 12, 0, 0);
  const std::string first = Add(test::ReportPackage(u"1", "a"), noon);
  const std::string second = Add(test::ReportPackage(u"2", "b"), noon - 3'600'000);
  EXPECT_EQ(first, "20261207-120000-000001");
  EXPECT_EQ(second, "20261207-120000-000002");
  auto listed = store_->List(nullptr);
  ASSERT_TRUE(listed);
  ASSERT_EQ(listed->size(), 2u);
  EXPECT_EQ((*listed)[1].name, second);
  EXPECT_EQ((*listed)[1].author_entry, test::AuthorEntry(u"2", u"tester", 1));
  EXPECT_EQ((*listed)[1].state, 0u) << "new reports are New";
}

TEST_F(StoreTest, KeepsPackagesAndStatesAcrossReopening) {
  const Bytes package = test::ReportPackage(u"t", "text", Bytes{1, 2, 3});
  const std::string name = Add(package, 0);
  EXPECT_EQ(store_->SetState(name, 0x80000001u, kBrowserChange, nullptr), Lookup::kFound);
  EXPECT_EQ(store_->SetState("20000101-000000-000099", 1, kBrowserChange, nullptr), Lookup::kUnknown);

  std::string error;
  EXPECT_FALSE(ReportStore::Open(dir_.path() / "data", &error)) << "a second server on the same data";
  store_.reset();
  store_ = Open();
  Bytes loaded;
  EXPECT_EQ(store_->LoadPackage(name, &loaded, nullptr), Lookup::kFound);
  EXPECT_EQ(loaded, package);
  EXPECT_EQ(store_->LoadPackage("nobody", &loaded, nullptr), Lookup::kUnknown);
  auto listed = store_->List(nullptr);
  ASSERT_TRUE(listed);
  ASSERT_EQ(listed->size(), 1u);
  EXPECT_EQ((*listed)[0].state, 0x80000001u);
}

class RecordedReplies : public ReplySink {
 public:
  bool Send(ServerReply code, std::span<const uint8_t> payload) override {
    frames.push_back({static_cast<uint8_t>(code), Bytes(payload.begin(), payload.end())});
    return true;
  }
  std::vector<test::Frame> frames;
};

TEST_F(StoreTest, ListSummaryIsTheAuthorEntryThenTheState) {
  const Bytes package = test::StoredZip({{"author", test::AuthorEntry(u"T", u"R", 3)}});
  const std::string name = Add(package, 0);
  ASSERT_EQ(store_->SetState(name, 1, kBrowserChange, nullptr), Lookup::kFound);
  RequestHandler handler(*store_, [] { return int64_t{0}; });
  RecordedReplies replies;
  handler.Handle(ClientCommand::ListReports, {}, "peer", replies);
  ASSERT_EQ(replies.frames.size(), 3u);
  EXPECT_EQ(replies.frames[0].code, 2);
  EXPECT_EQ(replies.frames[0].payload, test::NamePayload(name));
  // Title T, reporter R, flags 3, state 1.
  EXPECT_EQ(replies.frames[1].code, 3);
  EXPECT_EQ(replies.frames[1].payload, (Bytes{0x54, 0, 0, 0, 0x52, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(replies.frames[2].code, 0);
}

TEST_F(StoreTest, ConcurrentSubmissionsEachGetTheirOwnDurableRow) {
  // Many threads at once share commits; each must come back with its own
  // name, and the row under that name must hold its own package, small ones
  // in the row and large ones as files, there after reopening.
  constexpr int kThreads = 12, kEach = 25;
  std::vector<std::vector<std::pair<std::string, Bytes>>> stored(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        const std::string text = "thread " + std::to_string(t) + " report " + std::to_string(i);
        // Every fifth one is over the size that moves a package into a file.
        const Bytes snapshot(i % 5 == 0 ? kInlinePackageLimit + 1 : 0, static_cast<uint8_t>(t));
        const Bytes package = test::ReportPackage(u"concurrent", text, snapshot);
        std::string reason;
        auto summary = InspectPackage(package, &reason);
        auto name = summary ? store_->Add(*summary, package, "127.0.0.1:1", 0, &reason) : std::nullopt;
        if (!name) ADD_FAILURE() << reason;
        else stored[t].emplace_back(*name, package);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  store_.reset();
  store_ = Open();
  ASSERT_TRUE(store_);

  auto listed = store_->List(nullptr);
  ASSERT_TRUE(listed);
  EXPECT_EQ(listed->size(), size_t{kThreads * kEach});
  std::set<std::string> names;
  for (const auto& report : *listed) names.insert(report.name);
  EXPECT_EQ(names.size(), listed->size()) << "names are never handed out twice";
  for (const auto& mine : stored) {
    for (const auto& [name, package] : mine) {
      Bytes loaded;
      ASSERT_EQ(store_->LoadPackage(name, &loaded, nullptr), Lookup::kFound) << name;
      EXPECT_EQ(loaded, package) << name;
    }
  }
}

TEST_F(StoreTest, TextWithoutItsTerminatorGetsOne) {
  const Bytes package = test::StoredZip(
      {{"author", test::AuthorEntry(u"T", u"R", 1)}, {"scriptinfo.txt", test::ToBytes("line\r\n")}});
  const std::string name = Add(package, 0);
  RequestHandler handler(*store_, [] { return int64_t{0}; });
  RecordedReplies replies;
  handler.Handle(ClientCommand::FetchReport, test::NamePayload(name), "peer", replies);
  ASSERT_EQ(replies.frames.size(), 3u);
  EXPECT_EQ(replies.frames[0].code, 6);
  EXPECT_EQ(replies.frames[0].payload, test::NamePayload("line\r\n"));
  EXPECT_EQ(replies.frames[1].code, 7);
  EXPECT_EQ(replies.frames[2].code, 0);
}

}  // namespace
}  // namespace vnscope::server
