#include "bundle/engine_folder.h"

#include <windows.h>

#include <fstream>
#include <sstream>

namespace vnscope::test {

namespace fs = std::filesystem;

fs::path TestsFolder() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(path).parent_path();
}

EngineFolder::EngineFolder() {
  static int made = 0;
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  path_ = fs::path(temp) / ("vnscope-bundle-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made));
  fs::create_directories(path_);
  fs::copy_file(TestsFolder() / VNSCOPE_BUNDLE_FOLDER / "vnscope.dll", path_ / "vnscope.dll");
  fs::copy_file(TestsFolder() / VNSCOPE_LINK_EXAMPLE, path_ / "link_example.exe");
}

EngineFolder::~EngineFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void EngineFolder::WriteSettings(const std::string& text) const {
  std::ofstream(path_ / "vnscope.ini", std::ios::binary) << text;
}

std::string EngineFolder::Read(const fs::path& name) const {
  std::ifstream in(path_ / name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace vnscope::test
