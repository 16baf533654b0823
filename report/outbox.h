// The outbox on the tester's machine: one file per report whose send broke
// off, %LOCALAPPDATA%\vnscope\outbox\<id>.zip, holding exactly the package.
// A file appears under that name only whole (written under a temporary name,
// flushed, then renamed), so a crash while writing leaves nothing the sender
// would take for a report. Reports the server refuses move to
// outbox\refused\ and stay there.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "win32/unique_handle.h"

namespace vnscope {

// Writes `package` as the outbox file of `reportId`, replacing the one an
// earlier failed send of the same report left. True when the outbox holds a
// file of that report afterwards: this one, or the earlier one while a
// sender holds it (the server keeps whichever arrives first anyway). False
// without an id or a folder to write to.
bool KeepInOutbox(const std::string& reportId, std::span<const uint8_t> package);

// The full paths of the waiting reports, oldest first (by when they were
// written, then by name). Only renamed files count, never temporary ones or
// refused ones.
std::vector<std::wstring> WaitingReports();

// Removes the temporary files of writes that never finished (the process
// ended while writing), once nothing has been written to them for
// limits::kAbandonedWriteMs; a younger one may be a write under way.
void RemoveAbandonedWrites();

// A waiting report taken for sending: held open without sharing, so that the
// sender of another engine process passes it by. It leaves the outbox only
// through Delivered or Refused; otherwise it stays for the next try.
class TakenReport {
 public:
  // Nothing when the file has gone, another sender holds it, or it cannot be read.
  static std::optional<TakenReport> Take(const std::wstring& path);

  std::span<const uint8_t> package() const { return package_; }
  // The server stored it: the file goes.
  bool Delivered();
  // The server refused it: the file moves to refused\, not to be tried again.
  bool Refused();

 private:
  TakenReport(UniqueFile file, std::wstring path, std::vector<uint8_t> package)
      : file_(std::move(file)), path_(std::move(path)), package_(std::move(package)) {}

  UniqueFile file_;
  std::wstring path_;
  std::vector<uint8_t> package_;
};

}  // namespace vnscope
