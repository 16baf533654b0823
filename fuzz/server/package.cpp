// A submitted package: any bytes, as a client may send them. Whatever the
// server's check accepts is read again by libzip on its own terms (no
// consistency checks, entries by name, in small reads) and must give the same
// entries; the author entry must be exactly its parsed fields.
#include <zip.h>

#include <memory>

#include "fuzz/fuzz_support.h"
#include "report/protocol/wire_format.h"
#include "server/package.h"

namespace {

using namespace vnscope;
using namespace vnscope::server;
using vnscope::fuzz::Check;

struct ZipDiscard {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};

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
  std::vector<uint8_t> rebuilt;
  AppendUtf16LeString(rebuilt, summary->author.title);
  AppendUtf16LeString(rebuilt, summary->author.reporter);
  AppendU32Le(rebuilt, summary->author.flags);
  Check(rebuilt == summary->author_entry, "author entry holds more than its fields");
  Check(fuzz::IsWellFormedUtf8(Utf16ToUtf8(summary->author.title)) &&
            fuzz::IsWellFormedUtf8(Utf16ToUtf8(summary->author.reporter)),
        "title or reporter not well-formed UTF-8 for the database");

  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
  Check(source != nullptr, "libzip source");
  std::unique_ptr<zip_t, ZipDiscard> archive(zip_open_from_source(source, ZIP_RDONLY, &error));
  if (!archive) zip_source_free(source);
  zip_error_fini(&error);
  Check(archive != nullptr, "accepted package does not open in libzip");

  const auto author = LibzipEntry(archive.get(), kAuthorEntry);
  Check(author && *author == summary->author_entry, "author entry differs from libzip's");
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
