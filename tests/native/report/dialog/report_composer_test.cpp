#include "report/report_composer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../package/independent_unzip.h"
#include "report/package/package_entries.h"
#include "report/protocol/report_types.h"

namespace vnscope {
namespace {

using test_support::UnzipWithPython;

const Latin1Codec kLatin1;

struct Snapshot {
  PixelBuffer buffer;
  Snapshot() {
    CreatePixelBuffer(32, 2, 3, &buffer);
    for (uint32_t i = 0; i < buffer.RowBytes() * buffer.height; ++i) buffer.pixels[i] = static_cast<uint8_t>(i);
  }
};

std::vector<std::string> EntryNames(const PackageView& package) {
  const auto entries = UnzipWithPython(std::vector<uint8_t>(package.data, package.data + package.size));
  std::vector<std::string> names;
  if (!entries) return {"<unreadable archive>"};
  for (const auto& entry : *entries) names.push_back(entry.name);
  return names;
}

struct EntryCase {
  const char* why;
  uint32_t flags;
  std::vector<std::string> names;
};

// The entries follow what was chosen, always in this order.
TEST(ComposeReport, ChosenEntriesInOrder) {
  const EntryCase cases[] = {
      {"nothing chosen: the author alone", 0, {"author"}},
      {"text only", ReportFlags::HasText, {"author", "scriptinfo.txt"}},
      {"snapshot only", ReportFlags::HasSnapshot, {"author", "snapshot.png", "objectlist.csv"}},
      {"both", ReportFlags::HasText | ReportFlags::HasSnapshot,
       {"author", "scriptinfo.txt", "snapshot.png", "objectlist.csv"}},
  };
  Snapshot snapshot;
  const ObjectRows rows = {{u"0", u"bg01", u"BG", u"x"}};
  for (const auto& c : cases) {
    ZipWriter zip;
    PackageView package;
    const SendChoice choice{u"title", u"tester", c.flags};
    const ReportParts parts{u"header", u"text", &snapshot.buffer, &rows};
    ASSERT_EQ(ComposeReport(choice, parts, kLatin1, &zip, &package), ComposeStatus::Composed) << c.why;
    EXPECT_EQ(EntryNames(package), c.names) << c.why;
  }
}

TEST(ComposeReport, EntriesCarryTheirContents) {
  Snapshot snapshot;
  const ObjectRows rows = {{u"0", u"bg01"}, {u"1"}};
  ZipWriter zip;
  PackageView package;
  const SendChoice choice{u"t", u"r", ReportFlags::HasText | ReportFlags::HasSnapshot};
  ASSERT_EQ(ComposeReport(choice, {u"H", u"body", &snapshot.buffer, &rows}, kLatin1, &zip, &package),
            ComposeStatus::Composed);
  const auto entries = UnzipWithPython(std::vector<uint8_t>(package.data, package.data + package.size));
  ASSERT_TRUE(entries.has_value());
  ASSERT_EQ(entries->size(), 4u);
  EXPECT_EQ((*entries)[0].data, AuthorEntry(u"t", u"r", 3));
  const std::string script = "H\r\nbody\r\n";
  EXPECT_EQ((*entries)[1].data, std::vector<uint8_t>(script.c_str(), script.c_str() + script.size() + 1));
  EXPECT_TRUE((*entries)[2].data.size() > 8 && (*entries)[2].data[1] == 'P') << "a PNG file";
  const std::string csv = "\"0\",\"bg01\",\n\"1\",\n";
  EXPECT_EQ((*entries)[3].data, std::vector<uint8_t>(csv.c_str(), csv.c_str() + csv.size() + 1));
}

TEST(ComposeReport, SnapshotThatCannotBeEncodedFailsAtThePng) {
  PixelBuffer empty;
  const ObjectRows rows;
  const PixelBuffer* snapshots[] = {&empty, nullptr};
  for (const PixelBuffer* snapshot : snapshots) {
    ZipWriter zip;
    PackageView package;
    const SendChoice choice{u"t", u"r", ReportFlags::HasSnapshot};
    EXPECT_EQ(ComposeReport(choice, {u"", u"", snapshot, &rows}, kLatin1, &zip, &package),
              ComposeStatus::PngFailed);
    EXPECT_FALSE(zip.IsOpen()) << "the writer is closed again for the next send";
  }
}

TEST(ComposeReport, AnOpenWriterIsNotStartedAgain) {
  ZipWriter zip;
  ASSERT_TRUE(zip.Start());
  PackageView package;
  EXPECT_EQ(ComposeReport(SendChoice{}, ReportParts{}, kLatin1, &zip, &package), ComposeStatus::ZipNotStarted);
}

}  // namespace
}  // namespace vnscope
