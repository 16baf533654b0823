#include "server/package.h"

#include <zip.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "report/protocol/limits.h"
#include "report/protocol/report_id.h"
#include "server/game_state.h"
#include "server/protocol.h"

namespace vnscope::server {
namespace {

// Entries served back must fit in one reply the client accepts; the text
// reply may need one more byte for its terminator.
constexpr uint64_t kMaxServedEntry = limits::kMaxReplyPayload - 1;
// Ten short lines; a larger one is not the DLL's and gives no label.
constexpr uint64_t kMaxGameStateEntry = 64 << 10;

struct ZipDiscard {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipArchive = std::unique_ptr<zip_t, ZipDiscard>;

struct ZipFileClose {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using ZipFile = std::unique_ptr<zip_file_t, ZipFileClose>;

// The archive reads straight from `bytes`, which must outlive it.
ZipArchive OpenArchive(std::span<const uint8_t> bytes, std::string* reason) {
  zip_error_t error;
  zip_error_init(&error);
  zip_t* archive = nullptr;
  if (zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error)) {
    // Consistency checks make libzip compare the central directory with the
    // local headers, which catches truncated and spliced archives up front.
    archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!archive) zip_source_free(source);
  }
  if (!archive && reason) *reason = std::string("not a readable zip: ") + zip_error_strerror(&error);
  zip_error_fini(&error);
  return ZipArchive(archive);
}

// Streams one entry through libzip, which checks its CRC once the end is
// reached. With `data` null the bytes are only checked, not kept.
EntryStatus ReadEntry(zip_t* archive, const char* name, uint64_t max_size, std::vector<uint8_t>* data) {
  const zip_int64_t index = zip_name_locate(archive, name, ZIP_FL_ENC_RAW);
  if (index < 0) return EntryStatus::kMissing;
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) || stat.size > max_size)
    return EntryStatus::kBroken;
  ZipFile file(zip_fopen_index(archive, index, 0));
  if (!file) return EntryStatus::kBroken;

  // Only checked: a buffer just past the declared size, so that a small entry
  // costs neither a large allocation nor zeroing it.
  const uint64_t scratch_size = data ? 0 : std::min<uint64_t>(stat.size + 1, 64 << 10);
  const auto scratch = std::make_unique_for_overwrite<uint8_t[]>(scratch_size);
  if (data) data->resize(stat.size);
  uint64_t total = 0;
  uint8_t spare = 0;
  for (;;) {
    // Reading on past the declared size reaches the end of the entry, where
    // libzip compares the CRC, and shows an entry longer than it claims.
    uint8_t* at = scratch.get();
    uint64_t want = scratch_size;
    if (data && total < stat.size) {
      at = data->data() + total;
      want = stat.size - total;
    } else if (data) {
      at = &spare;
      want = 1;
    }
    const zip_int64_t got = zip_fread(file.get(), at, want);
    if (got < 0) return EntryStatus::kBroken;
    if (got == 0) break;
    total += static_cast<uint64_t>(got);
    if (total > stat.size) return EntryStatus::kBroken;
  }
  if (total != stat.size) return EntryStatus::kBroken;
  return EntryStatus::kFound;
}

}  // namespace

std::optional<Author> ParseAuthor(std::span<const uint8_t> entry) {
  Author author;
  size_t at = 0;
  auto title = ReadUtf16LeString(entry, &at);
  if (!title) return std::nullopt;
  auto reporter = ReadUtf16LeString(entry, &at);
  if (!reporter) return std::nullopt;
  // Exactly the flags after the strings: the client reads them there and the
  // state from the last 4 bytes of the summary, so nothing may come between.
  if (entry.size() - at != 4) return std::nullopt;
  author.title = std::move(*title);
  author.reporter = std::move(*reporter);
  author.flags = ReadU32Le(entry.data() + at);
  return author;
}

std::optional<PackageSummary> InspectPackage(std::span<const uint8_t> package, std::string* reason) {
  ZipArchive archive = OpenArchive(package, reason);
  if (!archive) return std::nullopt;

  PackageSummary summary;
  switch (ReadEntry(archive.get(), kAuthorEntry, limits::kMaxAuthorEntry, &summary.author_entry)) {
    case EntryStatus::kFound:
      break;
    case EntryStatus::kMissing:
      *reason = "no author entry";
      return std::nullopt;
    case EntryStatus::kBroken:
      *reason = "author entry unreadable or too large";
      return std::nullopt;
  }
  auto author = ParseAuthor(summary.author_entry);
  if (!author) {
    *reason = "author entry malformed";
    return std::nullopt;
  }
  summary.author = std::move(*author);

  for (const char* served : {kTextEntry, kSnapshotEntry}) {
    if (ReadEntry(archive.get(), served, kMaxServedEntry, nullptr) == EntryStatus::kBroken) {
      *reason = std::string(served) + " unreadable or too large";
      return std::nullopt;
    }
  }
  // An id the client did not write could match nothing or, worse, another
  // report's: a package that carries a broken one is refused, not stored
  // under no id.
  std::vector<uint8_t> id;
  switch (ReadEntry(archive.get(), kReportIdEntry, kReportIdDigits, &id)) {
    case EntryStatus::kMissing:
      break;
    case EntryStatus::kFound:
      summary.report_id.assign(id.begin(), id.end());
      if (IsReportId(summary.report_id)) break;
      [[fallthrough]];
    case EntryStatus::kBroken:
      *reason = "reportid entry malformed";
      return std::nullopt;
  }
  // The game's state is the sender's business: a package whose state does
  // not read is stored all the same, without a label.
  std::vector<uint8_t> game_state;
  if (ReadEntry(archive.get(), kGameStateEntry, kMaxGameStateEntry, &game_state) == EntryStatus::kFound)
    summary.label = GameStateLabel(game_state);
  return summary;
}

EntryStatus ReadPackageEntry(std::span<const uint8_t> package, const char* name, uint64_t max_size,
                             std::vector<uint8_t>* data) {
  ZipArchive archive = OpenArchive(package, nullptr);
  if (!archive) return EntryStatus::kBroken;
  return ReadEntry(archive.get(), name, max_size, data);
}

std::optional<std::vector<std::string>> PackageEntryNames(std::span<const uint8_t> package) {
  ZipArchive archive = OpenArchive(package, nullptr);
  if (!archive) return std::nullopt;
  const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  std::vector<std::string> names;
  for (zip_int64_t i = 0; i < count; ++i) {
    // Raw names: the package's are ASCII, and a name is shown, not used.
    if (const char* name = zip_get_name(archive.get(), static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW)) names.emplace_back(name);
  }
  return names;
}

}  // namespace vnscope::server
