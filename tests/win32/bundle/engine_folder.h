// A folder laid out as an engine team lays out the bundle: a copy of the
// bundle's vnscope.dll (and, for the link test, the program linked with its
// import library), with or without a vnscope.ini beside it. Removed at the end.
#pragma once
#include <filesystem>
#include <string>

namespace vnscope::test {

// The folder of the running test program (build/win32).
std::filesystem::path TestsFolder();

class EngineFolder {
 public:
  EngineFolder();
  ~EngineFolder();
  EngineFolder(const EngineFolder&) = delete;
  EngineFolder& operator=(const EngineFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  void WriteSettings(const std::string& text) const;
  std::string Read(const std::filesystem::path& name) const;

 private:
  std::filesystem::path path_;
};

}  // namespace vnscope::test
