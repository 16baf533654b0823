// The administrator's commands on a data folder while the server serves it:
// --purge (by age and state, with --dry-run) and the modes of --backup-to.
// Reports are aged by moving their arrival time back in the database, as the
// store keeps it.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "server/store.h"
#include "test_support.h"

namespace vnscope::test {
namespace {

constexpr uint8_t kSetState = 4, kStateChanged = 5;
constexpr uint32_t kNew = 0, kRefix = 1, kFixed = 0x80000000, kConfirmed = 0x80000001, kNoProblem = 0x80000002;
constexpr int64_t kDayMs = 24LL * 60 * 60 * 1000;

// A package over the inline limit when `large`, so that it is kept as a file.
Bytes Package(const std::string& tag, bool large) {
  const std::u16string title(tag.begin(), tag.end());
  if (!large) return ReportPackage(title, "text of " + tag);
  Bytes snapshot(server::kInlinePackageLimit + 1000 + tag.size());
  for (size_t i = 0; i < snapshot.size(); ++i) snapshot[i] = static_cast<uint8_t>(i * 13 + tag.size() + tag[0]);
  return ReportPackage(title, "text of " + tag, snapshot);
}

std::string Submit(uint16_t port, const Bytes& package) {
  const Submission submission = SubmitPackage(port, package);
  EXPECT_TRUE(submission.reply && submission.reply->code == 0);
  return submission.reply ? NameOf(*submission.reply) : "";
}

void SetState(uint16_t port, const std::string& name, uint32_t state) {
  Connection connection(port);
  ASSERT_TRUE(connection.Send(kSetState, StatePayload(state, name)));
  const std::vector<Frame> replies = connection.ReceiveReplies();
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[0].code, kStateChanged);
  EXPECT_TRUE(connection.End());
}

// Moves the arrival of the named reports `days` days back, beside the server.
void Age(const std::filesystem::path& data, const std::vector<std::string>& names, int64_t days) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((data / server::kDatabaseFile).c_str(), &db), SQLITE_OK);
  sqlite3_busy_timeout(db, 10'000);
  for (const std::string& name : names) {
    const std::string sql = "UPDATE reports SET received_ms = received_ms - " + std::to_string(days * kDayMs) +
                            " WHERE name = '" + name + "'";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  }
  sqlite3_close(db);
}

// One count query over the database.
int64_t Count(const std::filesystem::path& data, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open((data / server::kDatabaseFile).c_str(), &db);
  sqlite3_busy_timeout(db, 10'000);
  sqlite3_stmt* query = nullptr;
  int64_t count = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &query, nullptr) == SQLITE_OK && sqlite3_step(query) == SQLITE_ROW)
    count = sqlite3_column_int64(query, 0);
  sqlite3_finalize(query);
  sqlite3_close(db);
  return count;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::set<std::string> Listed(uint16_t port) {
  const ReportList list = ListReports(port);
  EXPECT_EQ(list.fault, "");
  const std::vector<std::string> names = list.Names();
  return {names.begin(), names.end()};
}

std::set<std::string> PackageFiles(const std::filesystem::path& data) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(data / "packages")) names.insert(entry.path().stem());
  return names;
}

class RetentionTest : public ::testing::Test {
 protected:
  ProgramRun Purge(std::vector<std::string> args) {
    args.insert(args.begin(), {VNSCOPE_SERVER_BINARY, "--data", data_.string(), "--purge"});
    return RunProgram(args);
  }

  TempDir dir_;
  std::filesystem::path data_ = dir_.path() / "data";
};

TEST_F(RetentionTest, PurgeByAgeAndStateAndDryRun) {
  ServerProcess server(VNSCOPE_SERVER_BINARY, data_);
  ASSERT_TRUE(server.started()) << server.Log();
  struct Report {
    const char* tag;
    uint32_t state;
    int64_t age_days;
    bool large;
  };
  const Report reports[] = {
      {"a", kNew, 10, false},      {"b", kFixed, 10, false}, {"c", kConfirmed, 10, true},
      {"d", kNoProblem, 3, false}, {"e", kConfirmed, 0, true}, {"f", kRefix, 10, false},
  };
  std::map<std::string, std::string> name_of;  // tag -> report name
  for (const Report& report : reports) {
    const std::string name = Submit(server.port(), Package(report.tag, report.large));
    name_of[report.tag] = name;
    if (report.state != kNew) SetState(server.port(), name, report.state);
    if (report.age_days > 0) Age(data_, {name}, report.age_days);
  }
  struct Step {
    std::vector<std::string> args;
    std::vector<std::string> printed;  // tags, oldest first
    std::set<std::string> left;        // tags listed afterwards
  };
  const Step steps[] = {
      {{"--older-than", "5", "--state", "完了", "--state", "0x80000002", "--dry-run"},
       {"c"},
       {"a", "b", "c", "d", "e", "f"}},
      // Labels and numbers name the same states: 2147483650 is 問題なし, which
      // only "d" is in, and it is three days old.
      {{"--older-than", "5", "--state", "完了", "--state", "2147483650"}, {"c"}, {"a", "b", "d", "e", "f"}},
      {{"--older-than", "2", "--state", "問題なし"}, {"d"}, {"a", "b", "e", "f"}},
      {{"--older-than", "5"}, {"a", "b", "f"}, {"e"}},
      {{"--older-than", "0", "--state", "新着", "--state", "1"}, {}, {"e"}},
      {{"--older-than", "0", "--state", "0x80000001", "--dry-run"}, {"e"}, {"e"}},
  };
  for (const Step& step : steps) {
    const ProgramRun run = Purge(step.args);
    const std::string what = ::testing::PrintToString(step.args);
    EXPECT_EQ(run.status, 0) << what << "\n" << run.err;
    std::vector<std::string> expected;
    for (const std::string& tag : step.printed) expected.push_back(name_of[tag]);
    EXPECT_EQ(Lines(run.out), expected) << what;
    std::set<std::string> left;
    for (const std::string& tag : step.left) left.insert(name_of[tag]);
    EXPECT_EQ(Listed(server.port()), left) << what;
  }
  // What went took its package file and its state history along.
  EXPECT_EQ(PackageFiles(data_), std::set<std::string>{name_of["e"]});
  EXPECT_EQ(Count(data_, "SELECT count(*) FROM state_changes"), 1) << "only e's change is left";
  EXPECT_EQ(server.Stop(), 0) << server.Log();

  struct Refused {
    std::vector<std::string> args;
    const char* why;
  };
  const Refused refused[] = {
      {{"--older-than", "0", "--state", "done"}, "not a state"},
      {{"--older-than", "0", "--state", "2"}, "not a state"},
      {{"--older-than", "-1"}, "negative days"},
      {{}, "no --older-than"},
  };
  for (const Refused& r : refused) {
    const ProgramRun run = Purge(r.args);
    EXPECT_NE(run.status, 0) << r.why;
    EXPECT_EQ(run.out, "") << r.why;
  }
  EXPECT_NE(RunProgram({VNSCOPE_SERVER_BINARY, "--data", data_.string(), "--dry-run"}).status, 0)
      << "--dry-run only with --purge";
  EXPECT_EQ(Count(data_, "SELECT count(*) FROM reports"), 1) << "nothing was removed by the refused commands";
}

// Clients keep submitting while purges run: every report acknowledged and
// not named by a purge is still there byte for byte, and those named are gone.
TEST_F(RetentionTest, PurgeWhileClientsSubmitKeepsEveryNewerReport) {
  ServerProcess server(VNSCOPE_SERVER_BINARY, data_);
  ASSERT_TRUE(server.started()) << server.Log();
  std::map<std::string, Bytes> acknowledged;  // name -> package
  std::mutex lock;
  std::vector<std::string> old_names;
  for (int i = 0; i < 12; ++i) {
    const Bytes package = Package("old " + std::to_string(i), i % 3 == 0);
    old_names.push_back(Submit(server.port(), package));
    acknowledged[old_names.back()] = package;
  }
  Age(data_, old_names, 30);

  std::atomic<bool> stop = false;
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&, c] {
      for (int i = 0; !stop; ++i) {
        const Bytes package = Package("new " + std::to_string(c) + "-" + std::to_string(i), c < 2);
        const Submission submission = SubmitPackage(server.port(), package);
        if (!submission.reply || submission.reply->code != 0) continue;
        std::lock_guard guard(lock);
        acknowledged[NameOf(*submission.reply)] = package;
      }
    });
  }
  auto acknowledged_count = [&] {
    std::lock_guard guard(lock);
    return acknowledged.size();
  };
  while (acknowledged_count() < 30) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  // The reports a month old go, and none of the others.
  const ProgramRun by_age = Purge({"--older-than", "7"});
  EXPECT_EQ(by_age.status, 0) << by_age.err;
  EXPECT_EQ(Lines(by_age.out), old_names);

  // Everything up to now: what was acknowledged before the purge started
  // goes; what arrives while it runs may go or stay, whole either way.
  std::set<std::string> before_second;
  {
    std::lock_guard guard(lock);
    for (const auto& [name, package] : acknowledged) before_second.insert(name);
  }
  const ProgramRun everything = Purge({"--older-than", "0"});
  EXPECT_EQ(everything.status, 0) << everything.err;
  const size_t goal = acknowledged_count() + 20;
  while (acknowledged_count() < goal) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  stop = true;
  for (auto& client : clients) client.join();

  std::set<std::string> purged(old_names.begin(), old_names.end());
  for (const std::string& name : Lines(everything.out)) {
    EXPECT_TRUE(acknowledged.count(name)) << name << " was never acknowledged";
    EXPECT_TRUE(purged.insert(name).second) << name << " purged twice";
  }
  for (const std::string& name : before_second) {
    EXPECT_TRUE(purged.count(name)) << name << " arrived before the purge began and was kept";
  }
  const std::set<std::string> listed = Listed(server.port());
  EXPECT_EQ(server.Stop(), 0) << server.Log();

  std::string error;
  auto store = server::ReportStore::Open(data_, &error);
  ASSERT_TRUE(store) << error;
  size_t kept = 0;
  for (const auto& [name, package] : acknowledged) {
    if (purged.count(name)) {
      EXPECT_FALSE(listed.count(name)) << name << " was purged but is listed";
      continue;
    }
    ++kept;
    EXPECT_TRUE(listed.count(name)) << name << " was acknowledged, not purged, and is gone";
    Bytes stored;
    ASSERT_EQ(store->LoadPackage(name, &stored, &error), server::Lookup::kFound) << name << ": " << error;
    EXPECT_EQ(stored, package) << name;
  }
  EXPECT_EQ(listed.size(), kept);
  EXPECT_GE(kept, 20u) << "the reports acknowledged after the purges are kept";
  for (const std::string& name : PackageFiles(data_)) EXPECT_FALSE(purged.count(name)) << name << ".zip left behind";
}

mode_t ModeOf(const std::filesystem::path& path) {
  struct stat info{};
  stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

// A backup holds every report: whatever the umask of whoever takes it, its
// folders are 0750 and its files 0640.
TEST_F(RetentionTest, BackupFoldersAndFilesHaveTheirModesWhateverTheUmask) {
  ServerProcess server(VNSCOPE_SERVER_BINARY, data_);
  ASSERT_TRUE(server.started()) << server.Log();
  Submit(server.port(), Package("small", false));
  const std::string large = Submit(server.port(), Package("large", true));
  for (const mode_t mask : {mode_t{0}, mode_t{022}, mode_t{077}}) {
    const auto backup = dir_.path() / ("backup-" + std::to_string(mask));
    const mode_t previous = umask(mask);
    const ProgramRun run = RunProgram({VNSCOPE_SERVER_BINARY, "--data", data_.string(), "--backup-to", backup.string()});
    umask(previous);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::pair<std::filesystem::path, mode_t> expected[] = {
        {backup, 0750},
        {backup / "packages", 0750},
        {backup / server::kDatabaseFile, 0640},
        {backup / "packages" / (large + ".zip"), 0640},
    };
    for (const auto& [path, mode] : expected) {
      EXPECT_EQ(ModeOf(path), mode) << path << " under umask 0" << std::oct << mask;
    }
  }
  EXPECT_EQ(server.Stop(), 0) << server.Log();
}

}  // namespace
}  // namespace vnscope::test
