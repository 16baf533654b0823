// Inspection of submitted report packages: ZIP archives read from memory with
// libzip. The server keeps the package as it came and reads entries out of it
// again when a client asks, so everything it will ever serve is checked here,
// before the package is accepted.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vnscope::server {

inline constexpr char kAuthorEntry[] = "author";
inline constexpr char kTextEntry[] = "scriptinfo.txt";
inline constexpr char kSnapshotEntry[] = "snapshot.png";
inline constexpr char kObjectListEntry[] = "objectlist.csv";

// The "author" entry: title and reporter as UTF-16LE with a 0 unit each, then
// the report's flags as 4 bytes little-endian.
struct Author {
  std::u16string title;
  std::u16string reporter;
  uint32_t flags = 0;
};

// Parses an "author" entry. Exactly the two terminated strings and the 4 flag
// bytes: the list reply hands the entry to the browser verbatim, and the
// browser walks it without bounds of its own, so nothing else may pass.
std::optional<Author> ParseAuthor(std::span<const uint8_t> entry);

// What a package that may be stored yields for the report table.
struct PackageSummary {
  std::vector<uint8_t> author_entry;
  Author author;
  // The package's "reportid" entry; empty when it has none (older clients),
  // and then the report is stored however often it comes.
  std::string report_id;
  // The game's label when the package carries its state ("gamestate.txt"),
  // for the dashboard's filter; empty otherwise.
  std::string label;
};

// Checks a package: a readable ZIP with a parseable "author" entry; the text
// and snapshot entries, when present, must read back whole (CRC included) and
// fit in a reply the client accepts; a "reportid" entry, when present, must be
// an id as the client writes it. On refusal returns nothing and sets `reason`
// to a short text for the log and the client.
std::optional<PackageSummary> InspectPackage(std::span<const uint8_t> package, std::string* reason);

enum class EntryStatus { kFound, kMissing, kBroken };

// Reads one entry of a package, at most `max_size` bytes; a larger entry
// counts as broken.
EntryStatus ReadPackageEntry(std::span<const uint8_t> package, const char* name, uint64_t max_size,
                             std::vector<uint8_t>* data);

// The names of a package's entries in the archive's order; nothing when it
// does not open.
std::optional<std::vector<std::string>> PackageEntryNames(std::span<const uint8_t> package);


}  // namespace vnscope::server
