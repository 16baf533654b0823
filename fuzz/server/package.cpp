// A submitted package: any bytes, as a client may send them. Whatever the
// server's check accepts is read again by libzip on its own terms (no
// consistency checks, entries by name, in small reads) and must give the same
// entries; the author entry must be exactly its parsed fields.
#include "report/protocol/utf8_text.h"
#include "fuzz/common/zip_archive.h"
#include "fuzz/fuzz_support.h"
#include "server/package.h"
#include "test_support.h"

namespace {

using namespace vnscope;
using namespace vnscope::server;
using vnscope::fuzz::Check;

// An entry as plain libzip reads it: nothing when missing, and a failed
// check when it cannot be read whole.
std::optional<std::vector<uint8_t>> LibzipEntry(zip_t* archive, const char* name) {
  if (zip_name_locate(archive, name, ZIP_FL_ENC_RAW) < 0) return std::nullopt;
  zip_file_t* file = zip_fopen(archive, name, ZIP_FL_ENC_RAW);
  Check(file != nullptr, "accepted entry does not open in libzip");
  std::vector<uint8_t> bytes;
  uint8_t block[4096];
  zip_int64_t got = 0;
  while ((got = zip_fread(file, block, sizeof block)) > 0) bytes.insert(bytes.end(), block, block + got);
  zip_fclose(file);
  Check(got == 0, "accepted entry fails in libzip");
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> package(data, size);
  std::string reason;
  const auto summary = InspectPackage(package, &reason);
  if (!summary) {
    Check(!reason.empty(), "refusal without a reason");
    return 0;
  }

  // The author entry is the two strings and the flags, nothing else.
  const Author& author = summary->author;
  Check(test::AuthorEntry(author.title, author.reporter, author.flags) == summary->author_entry,
        "author entry holds more than its fields");
  Check(fuzz::IsWellFormedUtf8(EncodeUtf8(author.title)) && fuzz::IsWellFormedUtf8(EncodeUtf8(author.reporter)),
        "title or reporter not well-formed UTF-8 for the database");

  const fuzz::ZipArchive archive = fuzz::OpenZip(package, ZIP_RDONLY, "accepted package does not open in libzip");
  const auto author_entry = LibzipEntry(archive.get(), kAuthorEntry);
  Check(author_entry && *author_entry == summary->author_entry, "author entry differs from libzip's");
  // What the server serves later must read back the same as libzip reads it.
  for (const char* served : {kTextEntry, kSnapshotEntry}) {
    const auto expected = LibzipEntry(archive.get(), served);
    std::vector<uint8_t> entry;
    const EntryStatus status = ReadPackageEntry(package, served, UINT32_MAX, &entry);
    if (!expected) {
      Check(status == EntryStatus::kMissing, "entry libzip misses is found");
    } else {
      Check(status == EntryStatus::kFound && entry == *expected, "served entry differs from libzip's");
    }
  }
  return 0;
}
