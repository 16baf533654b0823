#include "report/package/zip_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "independent_unzip.h"

namespace vnscope {
namespace {

using test_support::UnzippedEntry;
using test_support::UnzipTestPasses;
using test_support::UnzipWithPython;

std::tm LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm time{};
  time.tm_year = year - 1900;
  time.tm_mon = month - 1;
  time.tm_mday = day;
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  return time;
}

std::vector<uint8_t> Bytes(const PackageView& view) {
  return std::vector<uint8_t>(view.data, view.data + view.size);
}

// 2024-03-15 10:20:30: date (44 << 9) | (3 << 5) | 15 = 0x586F,
// time (10 << 11) | (20 << 5) | 15 = 0x528F.
const std::tm kStamp = LocalTime(2024, 3, 15, 10, 20, 30);

// The "author" entry of title a, user b, flags 1.
const std::vector<uint8_t> kAuthor = {0x61, 0, 0, 0, 0x62, 0, 0, 0, 0x01, 0, 0, 0};

TEST(ZipWriter, AuthorOnlyArchiveIsTheTabledBytes) {
  // Laid out field by field from the local header, central directory and end
  // record tables. The CRC-32 of the 12 data bytes is 0xE25026AB (zlib.crc32).
  const std::vector<uint8_t> expected = {
      // local file header, 30 bytes
      0x50, 0x4B, 0x03, 0x04, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x8F, 0x52, 0x6F, 0x58,
      0xAB, 0x26, 0x50, 0xE2, 0x0C, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x06, 0x00,
      0x00, 0x00,
      // name "author", then the data
      0x61, 0x75, 0x74, 0x68, 0x6F, 0x72,
      0x61, 0x00, 0x00, 0x00, 0x62, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
      // central directory file header, 46 bytes, local header at offset 0
      0x50, 0x4B, 0x01, 0x02, 0x0A, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x8F, 0x52,
      0x6F, 0x58, 0xAB, 0x26, 0x50, 0xE2, 0x0C, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x00,
      0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00,
      0x61, 0x75, 0x74, 0x68, 0x6F, 0x72,
      // end of central directory: 1 entry, directory of 52 bytes at offset 48
      0x50, 0x4B, 0x05, 0x06, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x34, 0x00,
      0x00, 0x00, 0x30, 0x00, 0x00, 0x00, 0x00, 0x00};
  ASSERT_EQ(expected.size(), 122u);

  ZipWriter writer;
  ASSERT_TRUE(writer.Start(kStamp));
  ASSERT_TRUE(writer.Add("author", kAuthor.data(), static_cast<uint32_t>(kAuthor.size())));
  const auto package = writer.Finish();
  ASSERT_TRUE(package.has_value());
  EXPECT_EQ(Bytes(*package), expected);
  EXPECT_FALSE(writer.IsOpen());

  const auto entries = UnzipWithPython(Bytes(*package));
  ASSERT_TRUE(entries.has_value());
  ASSERT_EQ(entries->size(), 1u);
  EXPECT_EQ((*entries)[0].name, "author");
  EXPECT_EQ((*entries)[0].data, kAuthor);
  EXPECT_EQ((*entries)[0].date_time, "2024-3-15-10-20-30");
  EXPECT_EQ((*entries)[0].compress_type, 0);  // stored
  EXPECT_TRUE(UnzipTestPasses(Bytes(*package)));
}

TEST(ZipWriter, FullPackageReadsBackWithEveryEntry) {
  struct Entry {
    std::string name;
    std::vector<uint8_t> data;
  };
  std::vector<uint8_t> big(70000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  const Entry entries[] = {
      {"author", kAuthor},
      {"scriptinfo.txt", {'h', '\r', '\n', 'r', '\r', '\n', 0}},
      {"snapshot.png", big},
      {"objectlist.csv", {0}},
  };
  ZipWriter writer;
  ASSERT_TRUE(writer.Start(kStamp));
  for (const auto& entry : entries) {
    ASSERT_TRUE(writer.Add(entry.name, entry.data.data(), static_cast<uint32_t>(entry.data.size())));
  }
  EXPECT_EQ(writer.EntryCount(), 4);
  const auto package = writer.Finish();
  ASSERT_TRUE(package.has_value());

  const auto read = UnzipWithPython(Bytes(*package));
  ASSERT_TRUE(read.has_value());
  ASSERT_EQ(read->size(), std::size(entries));
  for (size_t i = 0; i < read->size(); ++i) {
    EXPECT_EQ((*read)[i].name, entries[i].name);
    EXPECT_EQ((*read)[i].data, entries[i].data) << entries[i].name;
  }
  EXPECT_TRUE(UnzipTestPasses(Bytes(*package)));
}

// A name of length 0 adds no name bytes and length 0 in both headers: 30 + 46
// + 22 bytes around the data.
TEST(ZipWriter, EmptyNameHasLengthZeroInBothHeaders) {
  const uint8_t data[] = {'x', 'y'};
  ZipWriter writer;
  ASSERT_TRUE(writer.Start(kStamp));
  ASSERT_TRUE(writer.Add("", data, sizeof data));
  const auto package = writer.Finish();
  ASSERT_TRUE(package.has_value());
  const std::vector<uint8_t> bytes = Bytes(*package);
  ASSERT_EQ(bytes.size(), 30u + 2 + 46 + 22);
  EXPECT_EQ(bytes[26], 0);  // local header: file name length
  EXPECT_EQ(bytes[27], 0);
  EXPECT_EQ(bytes[30], 'x');  // the data follows the header at once
  const size_t central = 32;
  EXPECT_EQ(bytes[central], 0x50);
  EXPECT_EQ(bytes[central + 3], 0x02);
  EXPECT_EQ(bytes[central + 28], 0);  // central header: file name length
  EXPECT_EQ(bytes[central + 29], 0);

  const auto read = UnzipWithPython(bytes);
  ASSERT_TRUE(read.has_value());
  ASSERT_EQ(read->size(), 1u);
  EXPECT_EQ((*read)[0].name, "");
  EXPECT_EQ((*read)[0].data, std::vector<uint8_t>({'x', 'y'}));
}

TEST(ZipWriter, ArchiveWithoutEntriesIsTheEndRecordAlone) {
  ZipWriter writer;
  ASSERT_TRUE(writer.Start(kStamp));
  const auto package = writer.Finish();
  ASSERT_TRUE(package.has_value());
  const std::vector<uint8_t> expected = {0x50, 0x4B, 0x05, 0x06, 0, 0, 0, 0, 0, 0, 0,
                                         0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(Bytes(*package), expected);
  const auto read = UnzipWithPython(Bytes(*package));
  ASSERT_TRUE(read.has_value());
  EXPECT_TRUE(read->empty());
}

struct StampCase {
  std::tm local;
  uint16_t date;
  uint16_t time;
};

// date = ((year - 1980) << 9) | (month << 5) | day; time = (hour << 11) |
// (minute << 5) | (second / 2).
TEST(ZipWriter, DosDateAndTimeFollowTheFormula) {
  const StampCase cases[] = {
      {LocalTime(2024, 1, 1, 0, 0, 0), (44 << 9) | (1 << 5) | 1, 0},
      {LocalTime(2024, 1, 1, 23, 59, 59), (44 << 9) | (1 << 5) | 1, (23 << 11) | (59 << 5) | 29},
      {LocalTime(1980, 1, 1, 0, 0, 1), (1 << 5) | 1, 0},
      {LocalTime(2107, 12, 31, 12, 30, 58), (127 << 9) | (12 << 5) | 31,
       (12 << 11) | (30 << 5) | 29},
  };
  for (const auto& c : cases) {
    const DosDateTime stamp = ToDosDateTime(c.local);
    EXPECT_EQ(stamp.date, c.date) << c.local.tm_year + 1900 << "-" << c.local.tm_mon + 1;
    EXPECT_EQ(stamp.time, c.time) << c.local.tm_hour << ":" << c.local.tm_min;
  }
}

TEST(ZipWriter, EntryOfFirstJanuaryAtLastSecondCarriesItsStamp) {
  ZipWriter writer;
  ASSERT_TRUE(writer.Start(LocalTime(2024, 1, 1, 23, 59, 59)));
  const uint8_t data[] = {1};
  ASSERT_TRUE(writer.Add("e", data, 1));
  const auto package = writer.Finish();
  ASSERT_TRUE(package.has_value());
  const std::vector<uint8_t> bytes = Bytes(*package);
  const uint16_t time = (23 << 11) | (59 << 5) | 29;
  const uint16_t date = (44 << 9) | (1 << 5) | 1;
  EXPECT_EQ(bytes[10] | bytes[11] << 8, time);  // local header
  EXPECT_EQ(bytes[12] | bytes[13] << 8, date);
  const size_t central = 30 + 1 + 1;
  EXPECT_EQ(bytes[central + 12] | bytes[central + 13] << 8, time);
  EXPECT_EQ(bytes[central + 14] | bytes[central + 15] << 8, date);
  const auto read = UnzipWithPython(bytes);
  ASSERT_TRUE(read.has_value());
  ASSERT_EQ(read->size(), 1u);
  // Two-second resolution: 59 s is stored as 29 and read back as 58.
  EXPECT_EQ((*read)[0].date_time, "2024-1-1-23-59-58");
}

TEST(ZipWriter, OperationsOutOfTurnChangeNothing) {
  ZipWriter writer;
  const uint8_t data[] = {1};
  EXPECT_FALSE(writer.Add("a", data, 1)) << "add before start";
  EXPECT_FALSE(writer.Finish().has_value()) << "finish before start";
  ASSERT_TRUE(writer.Start(kStamp));
  ASSERT_TRUE(writer.Add("a", data, 1));
  EXPECT_FALSE(writer.Start(kStamp)) << "start while open";
  EXPECT_EQ(writer.EntryCount(), 1) << "a refused start keeps the entries";
  const auto package = writer.Finish();
  ASSERT_TRUE(package.has_value());
  EXPECT_FALSE(writer.Add("b", data, 1)) << "add after finish";
  EXPECT_FALSE(writer.Finish().has_value()) << "second finish";
  const auto read = UnzipWithPython(Bytes(*package));
  ASSERT_TRUE(read.has_value());
  ASSERT_EQ(read->size(), 1u) << "the package is untouched by the refused calls";
}

struct UnstorableEntry {
  const char* why;
  std::string name;
  uint32_t length;  // the data pointer covers 3 bytes; larger entries are never read
};

// An entry that cannot be stored breaks the writer: no later add succeeds and
// finish hands out no package with a part missing. The next package starts
// whole again.
TEST(ZipWriter, BrokenWriterYieldsNoPackage) {
  const UnstorableEntry cases[] = {
      {"archive would pass what a ByteBuffer may hold", "snapshot.png", 0x7FFFFFF0u},
      {"name longer than its 16-bit field", std::string(65536, 'n'), 3},
  };
  const uint8_t data[] = {1, 2, 3};
  for (const auto& c : cases) {
    ZipWriter writer;
    ASSERT_TRUE(writer.Start(kStamp));
    ASSERT_TRUE(writer.Add("author", data, 3));
    EXPECT_FALSE(writer.Add(c.name, data, c.length)) << c.why;
    EXPECT_FALSE(writer.Add("objectlist.csv", data, 3)) << c.why;
    EXPECT_FALSE(writer.Finish().has_value()) << c.why;
    EXPECT_FALSE(writer.IsOpen()) << c.why;

    ASSERT_TRUE(writer.Start(kStamp));
    ASSERT_TRUE(writer.Add("author", data, 3));
    const auto package = writer.Finish();
    ASSERT_TRUE(package.has_value()) << c.why;
    const auto read = UnzipWithPython(Bytes(*package));
    ASSERT_TRUE(read.has_value());
    ASSERT_EQ(read->size(), 1u);
    EXPECT_EQ((*read)[0].name, "author");
  }
}

}  // namespace
}  // namespace vnscope
