// Retention: removing old reports from a store, while a server may use it.
#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vnscope::server {

inline constexpr int64_t kDayMs = 24 * 60 * 60 * 1000;

// Which reports a purge removes: those whose arrival time (the store's
// received_ms) is at or before `cut_ms` and, when `states` is not empty,
// whose state is one of them.
struct PurgeRule {
  int64_t cut_ms = 0;
  std::vector<uint32_t> states;
};

// The cut of "older than `days` whole days" at `now_ms`: 0 days is now.
// Nothing when the days reach back before 1970.
std::optional<int64_t> PurgeCut(int64_t now_ms, int64_t days);

// A state as an administrator names it: one of the five labels ("新着",
// "再修正依頼", "修正済", "完了", "問題なし", UTF-8) or its number, decimal or
// 0x hexadecimal. Nothing for anything else, including numbers that are no
// state a report can be in.
std::optional<uint32_t> ParseReportState(const std::string& text);

// Removes the reports `rule` selects from the store in `directory`: their
// rows and state histories in one transaction (SQLite's locks order it with
// a running server's writes, so a report committed meanwhile is either seen
// and judged by the rule or not touched), then their package files. With
// `dry_run` removes nothing. `names` gets the names of the reports removed
// (or that would be), oldest first. False with `error` set when the store
// cannot be read or changed, or when a package file could not be removed:
// its report is gone, and the server removes the file when it next starts.
bool PurgeReports(const std::filesystem::path& directory, const PurgeRule& rule, bool dry_run,
                  std::vector<std::string>* names, std::string* error);

}  // namespace vnscope::server
