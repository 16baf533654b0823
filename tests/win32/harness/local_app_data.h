// A %LOCALAPPDATA% of the test's own, where the library keeps its outbox
// (vnscope\outbox): it starts empty, and nothing a test leaves there reaches
// another test or the prefix's real folder.
#pragma once
#include <string>
#include <vector>

namespace vnscope::test {

class PrivateLocalAppData {
 public:
  // A fresh folder under the temporary folder, set as LOCALAPPDATA for this
  // process until the object goes, when the previous value comes back and
  // the folder is removed.
  PrivateLocalAppData();
  ~PrivateLocalAppData();
  PrivateLocalAppData(const PrivateLocalAppData&) = delete;
  PrivateLocalAppData& operator=(const PrivateLocalAppData&) = delete;

  const std::wstring& path() const { return path_; }
  // The library's outbox in it, with a trailing backslash.
  std::wstring outbox() const { return path_ + L"\\vnscope\\outbox\\"; }
  // The names of the files in `outbox() + folder` (not of its folders), sorted.
  std::vector<std::wstring> OutboxFiles(const std::wstring& folder = L"") const;

 private:
  std::wstring path_;
  std::wstring previous_;
  bool hadPrevious_ = false;
};

}  // namespace vnscope::test
