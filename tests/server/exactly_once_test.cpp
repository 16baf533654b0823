// A report id is stored once: the same package again, another package under
// an id the store holds, submissions of one new id at the same moment, after
// a restart and in a store of the version before ids; packages without one
// are stored as often as they come.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <set>
#include <thread>

#include "server/package.h"
#include "server/package_files.h"
#include "server/store.h"
#include "server_fixture.h"
#include "test_support.h"

namespace vnscope::test {
namespace {

constexpr uint8_t kDone = 0;

// Ids as the client writes them: 32 lowercase hexadecimal digits.
std::string Id(unsigned number) {
  char text[40];
  std::snprintf(text, sizeof text, "5eed0000000000000000%012x", number);
  return text;
}

// Over the size at which a package becomes a file of its own.
Bytes LargeSnapshot(uint8_t seed) {
  Bytes snapshot(server::kInlinePackageLimit + 4096);
  for (size_t i = 0; i < snapshot.size(); ++i) snapshot[i] = static_cast<uint8_t>(i * 13 + seed);
  return snapshot;
}

// The reply to one submission, which must be its only one.
Frame SubmitOnce(uint16_t port, const Bytes& package) {
  Submission submission = SubmitPackage(port, package);
  EXPECT_TRUE(submission.closed) << "more than one reply to a submission";
  return submission.reply.value_or(Frame{0xFF, {}});
}

// After the server on `data` has stopped: what the store keeps under each
// name, and the package files it holds.
struct KeptStore {
  std::map<std::string, Bytes> packages;
  std::set<std::string> files;
};
KeptStore ReadStore(const std::filesystem::path& data) {
  KeptStore kept;
  std::string error;
  auto store = server::ReportStore::Open(data, &error);
  EXPECT_TRUE(store) << error;
  if (!store) return kept;
  for (const auto& report : store->List(&error).value_or(std::vector<server::ListedReport>{})) {
    EXPECT_EQ(store->LoadPackage(report.name, &kept.packages[report.name], &error), server::Lookup::kFound) << error;
  }
  for (const auto& entry : std::filesystem::directory_iterator(data / server::kPackagesFolder))
    kept.files.insert(entry.path().filename().string());
  return kept;
}

class ExactlyOnceTest : public ServerTest {};

TEST_F(ExactlyOnceTest, SecondSubmissionsOfAnIdAreAnsweredZeroAndStoreNothing) {
  struct Case {
    const char* what;
    Bytes first;
    Bytes second;
    bool one_report;  // the second comes back with the first one's name, nothing new stored
  };
  const std::vector<Case> cases = {
      {"the same package again", ReportPackage(u"again", "t", {}, Id(1)), ReportPackage(u"again", "t", {}, Id(1)),
       true},
      {"the same large package again", ReportPackage(u"large", "t", LargeSnapshot(1), Id(2)),
       ReportPackage(u"large", "t", LargeSnapshot(1), Id(2)), true},
      {"other contents under a stored id", ReportPackage(u"first words", "a", {}, Id(3)),
       ReportPackage(u"second thoughts", "b", LargeSnapshot(2), Id(3)), true},
      {"two ids", ReportPackage(u"one", "t", {}, Id(4)), ReportPackage(u"one", "t", {}, Id(5)), false},
      {"no id, twice", ReportPackage(u"older client", "t"), ReportPackage(u"older client", "t"), false},
  };
  ServerProcess& server = Start();
  std::map<std::string, Bytes> expected;  // name -> the package it must keep
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Frame first = SubmitOnce(server.port(), c.first);
    const Frame second = SubmitOnce(server.port(), c.second);
    EXPECT_EQ(first.code, kDone);
    EXPECT_EQ(second.code, kDone) << "a repeat is answered as stored";
    EXPECT_EQ(NameOf(second) == NameOf(first), c.one_report);
    expected[NameOf(first)] = c.first;
    if (!c.one_report) expected[NameOf(second)] = c.second;
  }
  EXPECT_EQ(ListReports(server.port()).reports.size(), expected.size());
  ASSERT_EQ(server.Stop(), 0) << server.Log();
  const KeptStore kept = ReadStore(data_);
  EXPECT_EQ(kept.packages, expected) << "each report keeps the package first submitted, as submitted";
  std::set<std::string> large;
  for (const auto& [name, package] : expected) {
    if (package.size() > server::kInlinePackageLimit) large.insert(name + ".zip");
  }
  EXPECT_EQ(kept.files, large) << "no file of a repeat is left behind";
}

TEST_F(ExactlyOnceTest, MalformedIdsAreRefused) {
  const std::vector<std::pair<const char*, std::string>> bad = {
      {"31 digits", Id(7).substr(1)},
      {"33 digits", Id(7) + "0"},
      {"upper case", "5EED0000000000000000000000000007"},
      {"not hexadecimal", "5eed000000000000000000000000000g"},
  };
  ServerProcess& server = Start();
  for (const auto& [why, id] : bad) {
    EXPECT_NE(SubmitOnce(server.port(), ReportPackage(u"bad id", "t", {}, id)).code, kDone) << why;
  }
  EXPECT_TRUE(ListReports(server.port()).reports.empty());
}

TEST_F(ExactlyOnceTest, ConcurrentSubmissionsOfOneNewIdStoreOneReport) {
  // Submitters released together all pass the look-up before any of them is
  // committed; the index must still let only one in. Small packages share a
  // commit; large ones each write a file first.
  constexpr int kIds = 6, kSubmitters = 8;
  ServerProcess& server = Start();
  std::map<std::string, Bytes> packages;  // id -> package
  for (int i = 0; i < kIds; ++i) {
    const std::string id = Id(100 + i);
    packages[id] = ReportPackage(u"together", "t", i % 2 ? LargeSnapshot(static_cast<uint8_t>(i)) : Bytes{}, id);
  }
  std::map<std::string, std::vector<Frame>> replies;  // id -> one reply per submitter
  for (const auto& [id, package] : packages) {
    std::vector<Frame> frames(kSubmitters);
    std::atomic<int> ready = 0;
    std::vector<std::thread> submitters;
    for (int s = 0; s < kSubmitters; ++s) {
      submitters.emplace_back([&, s, package = &package] {
        ++ready;
        while (ready.load() < kSubmitters) std::this_thread::yield();
        frames[s] = SubmitOnce(server.port(), *package);
      });
    }
    for (auto& submitter : submitters) submitter.join();
    replies[id] = std::move(frames);
  }
  std::set<std::string> names;
  for (const auto& [id, frames] : replies) {
    for (const Frame& frame : frames) {
      EXPECT_EQ(frame.code, kDone) << id;
      EXPECT_EQ(NameOf(frame), NameOf(frames[0])) << id << ": every submitter learns the one name";
    }
    names.insert(NameOf(frames[0]));
  }
  EXPECT_EQ(names.size(), size_t{kIds});
  EXPECT_EQ(ListReports(server.port()).reports.size(), size_t{kIds});
  ASSERT_EQ(server.Stop(), 0) << server.Log();
  const KeptStore kept = ReadStore(data_);
  EXPECT_EQ(kept.packages.size(), size_t{kIds});
  EXPECT_EQ(kept.files.size(), size_t{kIds / 2}) << "one file for each large report, none for the others";
}

TEST_F(ExactlyOnceTest, StoredIdsOutliveARestart) {
  const Bytes package = ReportPackage(u"before the restart", "t", {}, Id(200));
  std::string name;
  {
    ServerProcess& server = Start();
    name = NameOf(SubmitOnce(server.port(), package));
    ASSERT_EQ(server.Stop(), 0) << server.Log();
  }
  ServerProcess& server = Start();
  const Frame again = SubmitOnce(server.port(), package);
  EXPECT_EQ(again.code, kDone);
  EXPECT_EQ(NameOf(again), name);
  const ReportList list = ListReports(server.port());
  ASSERT_EQ(list.reports.size(), 1u);
  EXPECT_EQ(list.reports[0].name, name);
}

// A store of the version before ids (4 added the column and its index):
// its reports stay, and ids are stored once from then on.
TEST(ExactlyOnceStore, StoreWithoutIdsGainsThem) {
  TempDir dir;
  const auto data = dir.path() / "data";
  const Bytes older = ReportPackage(u"stored before ids", "t");
  std::string error;
  std::string older_name;
  auto add = [&](server::ReportStore& store, const Bytes& package, bool* held) {
    auto summary = server::InspectPackage(package, &error);
    EXPECT_TRUE(summary) << error;
    return store.Add(*summary, package, "127.0.0.1:1", 1'765'000'000'000, &error, held).value_or("");
  };
  {
    auto store = server::ReportStore::Open(data, &error);
    ASSERT_TRUE(store) << error;
    older_name = add(*store, older, nullptr);
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((data / server::kDatabaseFile).c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db,
                         "DROP INDEX reports_by_reportid; ALTER TABLE reports DROP COLUMN reportid; "
                         "PRAGMA user_version=3;",
                         nullptr, nullptr, nullptr),
            SQLITE_OK)
      << sqlite3_errmsg(db);
  sqlite3_close(db);

  auto store = server::ReportStore::Open(data, &error);
  ASSERT_TRUE(store) << error;
  const Bytes with_id = ReportPackage(u"after", "t", {}, Id(300));
  bool held = true;
  const std::string first = add(*store, with_id, &held);
  EXPECT_FALSE(held);
  EXPECT_EQ(add(*store, with_id, &held), first);
  EXPECT_TRUE(held);
  const auto listed = store->List(&error);
  ASSERT_TRUE(listed) << error;
  ASSERT_EQ(listed->size(), 2u);
  EXPECT_EQ((*listed)[0].name, older_name);
  Bytes kept;
  EXPECT_EQ(store->LoadPackage(older_name, &kept, &error), server::Lookup::kFound);
  EXPECT_EQ(kept, older);
}

}  // namespace
}  // namespace vnscope::test
