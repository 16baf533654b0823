// Reports on the real report server for the browser and preview tests:
// submitted through the library's own client and found again by a reporter
// name unique to the run, since the server is shared by every test.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "report/protocol/report_client.h"
#include "report/protocol/report_types.h"

namespace vnscope::test {

// The build's server, or VNSCOPE_TEST_SERVER=address:port.
ServerEndpoint TestServer();

struct ReportSeed {
  std::u16string title;
  uint32_t flags = ReportFlags::HasText;
  uint32_t state = ReportState::New;
  std::u16string body = u"千早の台詞で立ち絵が一瞬消える。";
  std::string reportId;  // when set, the package ends with it as "reportid"
  // Further entries by name ("variables.csv", ...), after the snapshot's and
  // before the report id, as given.
  std::vector<std::pair<std::string, std::vector<uint8_t>>> entries;
};

struct SeededReport {
  std::u16string name;      // the server's
  std::u16string title;
  std::u16string reporter;  // unique to this report
  std::u16string text;      // what FetchReport's ReportText carries
  std::vector<uint8_t> png; // empty without HasSnapshot
};

// Unique per run, so that a report can be found on a shared server.
std::wstring UniqueTitle(const std::wstring& stem);

// A snapshot picture; every `seed` gives another, so that a mix-up shows.
std::vector<uint8_t> SnapshotPng(uint32_t seed);

// A report's package: the author entry, the text (a fixed header above the
// seed's body) when the flags name it, the snapshot when `png` has one, the
// seed's further entries, and the seed's report id when it has one.
std::vector<uint8_t> ReportPackage(const ReportSeed& seed, const std::u16string& reporter,
                                   const std::vector<uint8_t>& png);

// Submits one report per seed (with the entries its flags name), sets the
// states that are not New, and returns them in seed order. Fails the calling
// test when the server does not take them.
std::vector<SeededReport> SeedReports(const std::vector<ReportSeed>& seeds);

// The server's reports as the client lists them.
ReportRecords ServerReports();

}  // namespace vnscope::test
