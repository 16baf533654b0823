#include "harness/report_seeding.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "canvas/pixel_buffer.h"
#include "report/package/package_entries.h"
#include "report/package/png_encode.h"
#include "report/package/zip_writer.h"
#include "report/protocol/byte_buffer.h"
#include "report/protocol/system_ansi_codec.h"
#include "report/protocol/winsock_stream.h"

namespace vnscope::test {
namespace {

constexpr char16_t kHeader[] = u"[tqvm.dat]\r\nhash: 0123456789abcdef0123456789abcdef";

std::u16string Decimal(uint64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

std::vector<uint8_t> SnapshotPng(uint32_t seed) {
  PixelBuffer picture;
  EXPECT_TRUE(CreatePixelBuffer(32, 6, 8, &picture));
  for (uint32_t i = 0; i < 8u * 6u * 4u; ++i) picture.pixels[i] = static_cast<uint8_t>(i * 7 + seed);
  ByteBuffer png;
  EXPECT_EQ(EncodePng(picture, &png), 0);
  ReleasePixelBuffer(&picture);
  return {png.Data(), png.Data() + png.RequestedSize()};
}

std::vector<uint8_t> ReportPackage(const ReportSeed& seed, const std::u16string& reporter,
                                   const std::vector<uint8_t>& png) {
  ZipWriter zip;
  EXPECT_TRUE(zip.Start());
  const auto author = AuthorEntry(seed.title, reporter, seed.flags);
  EXPECT_TRUE(zip.Add("author", author.data(), static_cast<uint32_t>(author.size())));
  if (seed.flags & ReportFlags::HasText) {
    const auto script = ScriptInfoEntry(kHeader, seed.body, SystemAnsiCodec());
    EXPECT_TRUE(zip.Add("scriptinfo.txt", script.data(), static_cast<uint32_t>(script.size())));
  }
  if (!png.empty()) {
    EXPECT_TRUE(zip.Add("snapshot.png", png.data(), static_cast<uint32_t>(png.size())));
  }
  for (const auto& [name, bytes] : seed.entries) {
    EXPECT_TRUE(zip.Add(name.c_str(), bytes.data(), static_cast<uint32_t>(bytes.size())));
  }
  if (!seed.reportId.empty()) {
    EXPECT_TRUE(zip.Add("reportid", reinterpret_cast<const uint8_t*>(seed.reportId.data()),
                        static_cast<uint32_t>(seed.reportId.size())));
  }
  std::vector<uint8_t> bytes;
  if (auto package = zip.Finish()) bytes.assign(package->data, package->data + package->size);
  return bytes;
}

std::wstring UniqueTitle(const std::wstring& stem) {
  static int counter = 0;
  return stem + L" #" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount()) + L"-" +
         std::to_wstring(++counter);
}

ServerEndpoint TestServer() {
  ServerEndpoint server = BuildServerEndpoint();
  if (const char* override = std::getenv("VNSCOPE_TEST_SERVER")) {
    const std::string text = override;
    const size_t colon = text.rfind(':');
    server.address = text.substr(0, colon);
    server.port = static_cast<uint16_t>(std::atoi(text.c_str() + colon + 1));
  }
  return server;
}

ReportRecords ServerReports() {
  ReportRecords records;
  WinsockStream stream;
  EXPECT_TRUE(ListReports(stream, TestServer(), SystemAnsiCodec(), &records)) << stream.LastFailure();
  return records;
}

std::vector<SeededReport> SeedReports(const std::vector<ReportSeed>& seeds) {
  static uint32_t sequence = 0;
  std::vector<SeededReport> reports;
  for (const auto& seed : seeds) {
    SeededReport report;
    report.title = seed.title;
    report.reporter = u"テスター" + Decimal(GetCurrentProcessId()) + u"-" + Decimal(GetTickCount()) + u"-" +
                      Decimal(++sequence);
    if (seed.flags & ReportFlags::HasText) report.text = std::u16string(kHeader) + u"\r\n" + seed.body + u"\r\n";
    if (seed.flags & ReportFlags::HasSnapshot) report.png = SnapshotPng(sequence);
    const auto package = ReportPackage(seed, report.reporter, report.png);
    WinsockStream stream;
    EXPECT_EQ(SubmitReport(stream, TestServer(), package.data(), static_cast<uint32_t>(package.size())),
              SubmitResult::Stored)
        << "is the report server running? " << stream.LastFailure();
    reports.push_back(std::move(report));
  }
  const ReportRecords listed = ServerReports();
  for (auto& report : reports) {
    for (const auto& [name, record] : listed) {
      if (record.reporter == report.reporter) report.name = name;
    }
    EXPECT_FALSE(report.name.empty()) << "a seeded report is not listed";
  }
  for (size_t i = 0; i < seeds.size(); ++i) {
    if (seeds[i].state == ReportState::New || reports[i].name.empty()) continue;
    ReportRecords changed;
    WinsockStream stream;
    EXPECT_TRUE(SetReportState(stream, TestServer(), SystemAnsiCodec(), {reports[i].name}, seeds[i].state, &changed));
  }
  return reports;
}

}  // namespace vnscope::test
