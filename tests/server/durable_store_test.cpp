// The store's durability: stores of earlier versions brought up to date, the
// start-up pass over package files and the integrity check, in-process; and
// with the real binary, kill -9 during submissions and the online backup.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "server/package.h"
#include "server/store.h"
#include "test_support.h"

namespace vnscope::server {
namespace {

using test::Bytes;

const std::u16string kTitleStart = u"report ";

// A package whose title tells it apart; over the inline limit when `large`.
Bytes Package(const std::string& tag, bool large) {
  const std::u16string title = kTitleStart + std::u16string(tag.begin(), tag.end());
  if (!large) return test::ReportPackage(title, "text of " + tag);
  Bytes snapshot(kInlinePackageLimit + 5000 + tag.size());
  for (size_t i = 0; i < snapshot.size(); ++i) snapshot[i] = static_cast<uint8_t>(i * 7 + tag.size() + tag[0]);
  return test::ReportPackage(title, "text of " + tag, snapshot);
}

}  // namespace

// Client `client`'s `index`-th package: distinct from every other one.
Bytes DistinctPackage(int client, int index, bool large) {
  return Package(std::to_string(client) + "-" + std::to_string(index), large);
}

namespace {

std::unique_ptr<ReportStore> OpenStore(const std::filesystem::path& data, std::string* error) {
  return ReportStore::Open(data, error);
}

std::string AddTo(ReportStore& store, const Bytes& package) {
  std::string reason;
  auto summary = InspectPackage(package, &reason);
  EXPECT_TRUE(summary) << reason;
  auto name = store.Add(*summary, package, "127.0.0.1:1", 1'765'000'000'000, &reason);
  EXPECT_TRUE(name) << reason;
  return name.value_or("");
}

bool Exec(const std::filesystem::path& database, const std::string& sql) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open(database.c_str(), &db) == SQLITE_OK &&
            sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

std::string Hex(const Bytes& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t byte : bytes) text += {digits[byte >> 4], digits[byte & 15]};
  return text;
}

// Stores as servers of schema versions 1 and 2 left them: every package in a
// table of its own, a history of state changes from version 2 on.
TEST(StoreUpgrade, EarlierStoresKeepEveryReportItsNameAndState) {
  struct OldReport {
    std::string name;
    uint32_t state;
    Bytes package;
  };
  const std::vector<OldReport> reports = {
      {"20261201-090000-000001", 0, Package("new", false)},
      {"20261201-090500-000002", 1, Package("refix", true)},
      {"20261202-100000-000004", 0x80000000u, Package("fixed", false)},
      {"20261202-100000-000005", 0x80000001u, Package("confirmed", true)},
      {"20261203-110000-000006", 0x80000002u, Package("no problem", false)},
  };
  for (int version : {1, 2}) {
    SCOPED_TRACE(version);
    test::TempDir dir;
    const auto data = dir.path() / "data";
    std::filesystem::create_directories(data);
    std::string sql = test::kSchemaOneTables;
    if (version == 2) {
      sql += "CREATE TABLE state_changes(id INTEGER PRIMARY KEY, report_id INTEGER NOT NULL REFERENCES reports(id), "
             "changed_ms INTEGER NOT NULL, previous INTEGER NOT NULL, state INTEGER NOT NULL, source TEXT NOT NULL, "
             "peer TEXT NOT NULL);"
             "INSERT INTO state_changes VALUES(1, 4, 77, 0, 2147483648, 'browser', '10.0.0.1:5');";
    }
    for (const OldReport& report : reports) {
      std::string reason;
      auto summary = InspectPackage(report.package, &reason);
      ASSERT_TRUE(summary) << reason;
      const std::string id = std::to_string(std::stoi(report.name.substr(16)));
      sql += "INSERT INTO reports VALUES(" + id + ", '" + report.name + "', 0, 'p', 't', 'r', " +
             std::to_string(summary->author.flags) + ", " + std::to_string(report.state) + ", x'" +
             Hex(summary->author_entry) + "');INSERT INTO packages VALUES(" + id + ", x'" + Hex(report.package) + "');";
    }
    sql += "PRAGMA user_version=" + std::to_string(version) + ";";
    ASSERT_TRUE(Exec(data / kDatabaseFile, sql));

    std::string error;
    auto store = OpenStore(data, &error);
    ASSERT_TRUE(store) << error;
    auto listed = store->List(&error);
    ASSERT_TRUE(listed) << error;
    ASSERT_EQ(listed->size(), reports.size());
    for (size_t i = 0; i < reports.size(); ++i) {
      EXPECT_EQ((*listed)[i].name, reports[i].name);
      EXPECT_EQ((*listed)[i].state, reports[i].state);
      Bytes package;
      ASSERT_EQ(store->LoadPackage(reports[i].name, &package, &error), Lookup::kFound) << error;
      EXPECT_EQ(package, reports[i].package) << reports[i].name;
      EXPECT_EQ(std::filesystem::exists(data / "packages" / (reports[i].name + ".zip")),
                reports[i].package.size() > kInlinePackageLimit)
          << reports[i].name;
    }
    ReportDetails details;
    ASSERT_EQ(store->LoadDetails(reports[2].name, &details, &error), Lookup::kFound) << error;
    EXPECT_EQ(details.history.size(), version == 2 ? 1u : 0u) << "the history comes along";
    // The sequence goes on after the highest number, never reusing one.
    EXPECT_EQ(AddTo(*store, Package("after", true)).substr(16), "000007");
    store.reset();
    store = OpenStore(data, &error);
    ASSERT_TRUE(store) << error << " (reopening the upgraded store)";
  }
}

TEST(StoreUpgrade, StoreOfANewerServerIsRefused) {
  test::TempDir dir;
  std::filesystem::create_directories(dir.path() / "data");
  ASSERT_TRUE(Exec(dir.path() / "data" / kDatabaseFile,
                   "CREATE TABLE future(x); PRAGMA user_version=" + std::to_string(kSchemaVersion + 1) + ";"));
  std::string error;
  EXPECT_FALSE(OpenStore(dir.path() / "data", &error));
  EXPECT_NE(error.find("newer server"), std::string::npos) << error;
}

TEST(StoreFiles, LeftoversOfUnfinishedSubmissionsGoOthersStay) {
  test::TempDir dir;
  const auto data = dir.path() / "data";
  std::string error;
  auto store = OpenStore(data, &error);
  ASSERT_TRUE(store) << error;
  const Bytes large = Package("large", true), small = Package("small", false);
  const std::string large_name = AddTo(*store, large), small_name = AddTo(*store, small);
  store.reset();
  const auto packages = data / "packages";
  EXPECT_EQ(std::filesystem::file_size(packages / (large_name + ".zip")), large.size());
  EXPECT_FALSE(std::filesystem::exists(packages / (small_name + ".zip"))) << "small packages live in their rows";
  for (const char* leftover : {"20261207-000000-000099.zip", "20261207-000000-000100.zip.tmp", "notes.txt"})
    std::ofstream(packages / leftover) << "partial";

  store = OpenStore(data, &error);
  ASSERT_TRUE(store) << error;
  EXPECT_FALSE(std::filesystem::exists(packages / "20261207-000000-000099.zip")) << "no row ever committed";
  EXPECT_FALSE(std::filesystem::exists(packages / "20261207-000000-000100.zip.tmp"));
  EXPECT_TRUE(std::filesystem::exists(packages / "notes.txt")) << "not the store's to remove";
  Bytes loaded;
  ASSERT_EQ(store->LoadPackage(large_name, &loaded, &error), Lookup::kFound) << error;
  EXPECT_EQ(loaded, large);
  ASSERT_EQ(store->LoadPackage(small_name, &loaded, &error), Lookup::kFound) << error;
  EXPECT_EQ(loaded, small);
}

void Overwrite(const std::filesystem::path& file, std::streamoff at, size_t count) {
  std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
  out.seekp(at);
  out << std::string(count, '\xA5');
}

// Damage found when the store opens stops it, and the message names the
// damaged file.
TEST(StoreCheck, DamageStopsTheOpenNamingTheFile) {
  struct Case {
    const char* why;
    void (*damage)(const std::filesystem::path& data, const std::string& large_name);
    std::string named;  // relative to the data directory; empty: the package's file
  };
  const Case cases[] = {
      {"header overwritten", [](auto& data, auto&) { Overwrite(data / kDatabaseFile, 0, 100); }, kDatabaseFile},
      {"table page overwritten", [](auto& data, auto&) { Overwrite(data / kDatabaseFile, 4096 + 8, 3000); },
       kDatabaseFile},
      {"package file missing", [](auto& data, auto& name) { std::filesystem::remove(data / "packages" / (name + ".zip")); },
       ""},
      {"package file cut short",
       [](auto& data, auto& name) { std::filesystem::resize_file(data / "packages" / (name + ".zip"), 1000); }, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    test::TempDir dir;
    const auto data = dir.path() / "data";
    std::string large_name, error;
    {
      auto store = OpenStore(data, &error);
      ASSERT_TRUE(store) << error;
      for (int i = 0; i < 40; ++i) AddTo(*store, Package("filler " + std::to_string(i), false));
      large_name = AddTo(*store, Package("large", true));
    }
    c.damage(data, large_name);
    EXPECT_FALSE(OpenStore(data, &error));
    const std::string named = (c.named.empty() ? data / "packages" / (large_name + ".zip") : data / c.named).string();
    EXPECT_NE(error.find(named), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace vnscope::server

namespace vnscope::test {
namespace {

using server::kInlinePackageLimit;

// Every package a test sends is told apart by its title; the server's reply
// names the report.
struct Sent {
  std::mutex lock;
  std::map<std::string, Bytes> acknowledged;  // name -> package
  std::vector<Bytes> unanswered;              // sent, no reply seen (in flight when the server died)

  void Submit(uint16_t port, const Bytes& package) {
    const std::optional<Frame> reply = SubmitPackage(port, package).reply;
    std::lock_guard guard(lock);
    if (reply && reply->code == 0) acknowledged.emplace(NameOf(*reply), package);
    else if (!reply) unanswered.push_back(package);
  }
};

// The names a restarted server lists, in its order.
std::vector<std::string> ListedNames(uint16_t port) {
  const ReportList list = ListReports(port);
  EXPECT_EQ(list.fault, "");
  return list.Names();
}

// After the server on `data` has stopped: every listed report holds exactly
// one of the packages sent, and every acknowledged one holds its own.
void ExpectExactlyWhatWasSent(const std::filesystem::path& data, const std::vector<std::string>& listed,
                              const std::map<std::string, Bytes>& must_hold, const Sent& sent) {
  std::string error;
  auto store = server::ReportStore::Open(data, &error);
  ASSERT_TRUE(store) << error;
  for (const std::string& name : listed) {
    Bytes package;
    ASSERT_EQ(store->LoadPackage(name, &package, &error), server::Lookup::kFound) << name << ": " << error;
    if (auto it = sent.acknowledged.find(name); it != sent.acknowledged.end()) {
      EXPECT_EQ(package, it->second) << name;
    } else {
      EXPECT_NE(std::find(sent.unanswered.begin(), sent.unanswered.end(), package), sent.unanswered.end())
          << name << " holds a package nobody sent, or one stored twice";
    }
  }
  for (const auto& [name, package] : must_hold)
    EXPECT_NE(std::find(listed.begin(), listed.end(), name), listed.end()) << name << " was acknowledged";
  for (const auto& entry : std::filesystem::directory_iterator(data / "packages"))
    EXPECT_EQ(entry.path().extension(), ".zip") << entry.path() << " left behind";
}

class StoreProcessTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::filesystem::path data_ = dir_.path() / "data";
};

TEST_F(StoreProcessTest, KillDuringLargeAndSmallSubmissionsKeepsExactlyTheAcknowledged) {
  Sent sent;
  {
    ServerProcess server(VNSCOPE_SERVER_BINARY, data_);
    ASSERT_TRUE(server.started()) << server.Log();
    std::atomic<bool> killed = false;
    std::vector<std::thread> clients;
    for (int c = 0; c < 10; ++c) {
      clients.emplace_back([&, c] {
        for (int i = 0; !killed; ++i) {
          const bool large = c < 4;
          sent.Submit(server.port(), server::DistinctPackage(c, i, large));
        }
      });
    }
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
      {
        std::lock_guard guard(sent.lock);
        if (sent.acknowledged.size() >= 40) break;
      }
      if (std::chrono::steady_clock::now() > give_up) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    server.Kill();
    killed = true;
    for (auto& client : clients) client.join();
  }
  ASSERT_GE(sent.acknowledged.size(), 40u);
  std::vector<std::string> listed;
  {
    ServerProcess restarted(VNSCOPE_SERVER_BINARY, data_);
    ASSERT_TRUE(restarted.started()) << restarted.Log();
    listed = ListedNames(restarted.port());
    EXPECT_EQ(restarted.Stop(), 0) << restarted.Log();
  }
  ExpectExactlyWhatWasSent(data_, listed, sent.acknowledged, sent);
}

TEST_F(StoreProcessTest, BackupTakenDuringSubmissionsRestoresEveryEarlierReport) {
  Sent sent;
  std::map<std::string, Bytes> before_backup;
  const auto backup = dir_.path() / "backup";
  {
    ServerProcess server(VNSCOPE_SERVER_BINARY, data_);
    ASSERT_TRUE(server.started()) << server.Log();
    for (int i = 0; i < 6; ++i) sent.Submit(server.port(), server::DistinctPackage(0, i, i % 2 == 0));
    std::atomic<bool> stop = false;
    std::vector<std::thread> clients;
    for (int c = 1; c <= 4; ++c) {
      clients.emplace_back([&, c] {
        for (int i = 0; !stop; ++i) sent.Submit(server.port(), server::DistinctPackage(c, i, c <= 2));
      });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    {
      std::lock_guard guard(sent.lock);
      before_backup = sent.acknowledged;
    }
    ServerProcess backup_run(VNSCOPE_SERVER_BINARY, data_, {"--backup-to", backup.string()});
    stop = true;
    for (auto& client : clients) client.join();
    EXPECT_NE(backup_run.Log().find("backed up"), std::string::npos) << backup_run.Log();
    EXPECT_EQ(server.Stop(), 0) << server.Log();
  }
  ASSERT_GE(before_backup.size(), 6u);
  std::vector<std::string> listed;
  {
    ServerProcess restored(VNSCOPE_SERVER_BINARY, backup);
    ASSERT_TRUE(restored.started()) << restored.Log();
    listed = ListedNames(restored.port());
    EXPECT_EQ(restored.Stop(), 0) << restored.Log();
  }
  ExpectExactlyWhatWasSent(backup, listed, before_backup, sent);
  // A second backup into a directory that is not empty is refused.
  ServerProcess again(VNSCOPE_SERVER_BINARY, data_, {"--backup-to", backup.string()});
  EXPECT_NE(again.Log().find("backup failed"), std::string::npos) << again.Log();
}

TEST_F(StoreProcessTest, CorruptedDatabaseStopsTheServerNamingTheFile) {
  {
    ServerProcess server(VNSCOPE_SERVER_BINARY, data_);
    ASSERT_TRUE(server.started()) << server.Log();
    Sent sent;
    for (int i = 0; i < 30; ++i) sent.Submit(server.port(), server::DistinctPackage(0, i, false));
    EXPECT_EQ(server.Stop(), 0) << server.Log();
  }
  {
    std::fstream file(data_ / "reports.sqlite3", std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(4096 + 8);
    file << std::string(3000, '\x5A');
  }
  ServerProcess server(VNSCOPE_SERVER_BINARY, data_);
  EXPECT_FALSE(server.started());
  EXPECT_FALSE(server.running()) << "it stopped";
  EXPECT_NE(server.Log().find((data_ / "reports.sqlite3").string() + ": damaged"), std::string::npos) << server.Log();
}

}  // namespace
}  // namespace vnscope::test
