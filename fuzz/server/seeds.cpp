// Seeds for the server's targets, made by the tests' builders: whole client
// conversations, packages as the DLL writes them, dashboard texts and queries.
#include "seeds/seed_registry.h"
#include "test_support.h"

namespace vnscope::fuzz {
namespace {

using test::Bytes;
using test::FrameBytes;
using test::ToBytes;

// The connection target's store names its two reports from a fixed clock.
const std::string kWithSnapshot = "20260101-000000-000001";
const std::string kTextOnly = "20260101-000000-000002";

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const Bytes kEnd = FrameBytes(0);

// FetchReportEntry's payload: the report name and a 0, the entry name and a 0.
Bytes EntryPayload(const std::string& name, const std::string& entry) {
  return Join({test::NamePayload(name), test::NamePayload(entry)});
}
const Bytes kPng = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 2, 0, 0, 0, 1};

const SeedWriter kConnection("connection", [] {
  const Bytes package = test::ReportPackage(u"落ちる", "script\r\nline", kPng);
  Bytes huge_header = FrameBytes(1);
  huge_header[1] = huge_header[2] = huge_header[3] = huge_header[4] = 0xFF;
  Bytes truncated = FrameBytes(1, package);
  truncated.resize(truncated.size() / 2);
  return Seeds{
      {"list", Join({FrameBytes(2), kEnd})},
      {"submit-list-fetch", Join({FrameBytes(1, package), FrameBytes(2),
                                  FrameBytes(3, test::NamePayload("20260101-000000-000003")),
                                  FrameBytes(5, test::NamePayload("20260101-000000-000003")), kEnd})},
      {"fetch-both", Join({FrameBytes(3, test::NamePayload(kWithSnapshot)), FrameBytes(3, test::NamePayload(kTextOnly)),
                           FrameBytes(5, test::NamePayload(kTextOnly)), kEnd})},
      {"set-states", Join({FrameBytes(4, test::StatePayload(0x80000000u, kWithSnapshot)),
                           FrameBytes(4, test::StatePayload(7, kTextOnly)),
                           FrameBytes(4, test::StatePayload(1, "nobody")),
                           FrameBytes(2), kEnd})},
      {"fetch-entries", Join({FrameBytes(6, EntryPayload(kWithSnapshot, "author")),
                              FrameBytes(6, EntryPayload(kTextOnly, "variables.csv")),
                              FrameBytes(6, EntryPayload("nobody", "gamestate.txt")),
                              FrameBytes(6, test::NamePayload(kTextOnly)), kEnd})},
      {"malformed-names",
       Join({FrameBytes(3, ToBytes("no terminator")), FrameBytes(4, Bytes{1, 0}), FrameBytes(5, Bytes{0}), kEnd})},
      {"refused-package", Join({FrameBytes(1, ToBytes("PK not a zip")), FrameBytes(2), kEnd})},
      {"unknown-code", Join({FrameBytes(2), FrameBytes(9, ToBytes("x")), FrameBytes(2)})},
      {"huge-length", huge_header},
      {"truncated-submission", truncated},
      {"end-then-more", Join({kEnd, FrameBytes(2)})},
      {"no-end", FrameBytes(2)},
  };
});

const SeedWriter kPackage("package", [] {
  Bytes bad_crc = test::ReportPackage(u"t", "text");
  bad_crc[bad_crc.size() / 2] ^= 0x55;  // inside the text: its CRC no longer matches
  return Seeds{
      {"text-only", test::ReportPackage(u"題名", "script line")},
      {"with-snapshot", test::ReportPackage(u"title", "text", kPng)},
      {"no-author", test::StoredZip({{"scriptinfo.txt", ToBytes("text")}})},
      {"author-with-extra", test::StoredZip({{"author", Join({test::AuthorEntry(u"t", u"r", 1), {1, 2}})}})},
      {"author-only", test::StoredZip({{"author", test::AuthorEntry(u"", u"", 0)}})},
      {"bad-crc", bad_crc},
      {"empty-archive", test::StoredZip({})},
  };
});

// web_text: the first byte picks the part (0: UTF-8 text, 3: CP932 text,
// 6: UTF-16LE text; 1: query values tab, page, next; 2: escaping).
Bytes Part(uint8_t part, std::string_view text) { return Join({{part}, ToBytes(text)}); }
// Query values are separated by 0 bytes.
Bytes Query(std::initializer_list<std::string_view> values) {
  Bytes bytes{1};
  for (std::string_view value : values) {
    if (bytes.size() > 1) bytes.push_back(0);
    bytes.insert(bytes.end(), value.begin(), value.end());
  }
  return bytes;
}

const SeedWriter kWebText("web_text", [] {
  return Seeds{
      {"utf8", Part(0, "ok \xE6\xBC\xA2\xE5\xAD\x97 \xF0\x9F\x98\x80")},
      {"utf8-broken", Part(0, "\xC0\x80 \xED\xA0\x80 \xE6\xBC")},
      {"cp932", Part(3, "a\x8A\xBF\x8E\x9A\x87\x40\xFF")},
      {"utf16", Part(6, std::string("a\0b\0\x3D\xD8", 6))},
      {"query", Query({"3", "2", "/reports/20260101-000000-000001?tab=1"})},
      {"query-bad", Query({"-1", "x", "//elsewhere"})},
      {"next-tab-host", Query({"1", "1", "/\t/evil.example"})},
      {"wide-numbers", Query({"4294967298", "9223372036854775807"})},
      {"escape", Part(2, "<a href=\"x\">'&amp;'</a>; vnscope_session=abc; other=1")},
  };
});

// game_state: the first byte picks the part (0: variables.csv, 1:
// gamestate.txt, 2: a name or comment as typed).
const SeedWriter kGameState("game_state", [] {
  return Seeds{
      {"variables", Part(0, "\xEF\xBB\xBFindex,name,value,register\r\n0,$a,1,2\r\n1,\"$b,\"\"c\"\"\",-3,\r\n")},
      {"variables-header", Part(0, "\xEF\xBB\xBFindex,name,value,register\r\n")},
      {"variables-open-quote", Part(0, "index,name,value,register\n0,\"$a,1,\n")},
      {"gamestate", Part(1, "label: *\xE5\xBA\x8F\r\nvoice: \r\nscreen: 1920x1080\r\n")},
      {"gamestate-odd", Part(1, "a:: b\r\r\n: x\nbare:\n\n")},
      {"typed", Part(2, "  \xE9\x88\xB4\xE6\x9C\xA8\r\n\t\xFF ")},
  };
});

}  // namespace
}  // namespace vnscope::fuzz
