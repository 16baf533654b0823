#include "independent_unzip.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace vnscope::test_support {
namespace {

// Writes the archive to a fresh temporary file and removes it when done.
class TempArchive {
 public:
  explicit TempArchive(const std::vector<uint8_t>& archive)
      : path_(::testing::TempDir() + "vnscope_zip_XXXXXX") {
    const int fd = mkstemp(path_.data());
    const bool written =
        fd >= 0 && write(fd, archive.data(), archive.size()) == static_cast<ssize_t>(archive.size());
    if (fd >= 0) close(fd);
    if (!written) path_.clear();
  }
  ~TempArchive() {
    if (!path_.empty()) unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// One line per entry: name (hex), data (hex), date and time, compression.
constexpr const char* kReadScript =
    "import sys, zipfile\n"
    "z = zipfile.ZipFile(sys.argv[1])\n"
    "if z.testzip() is not None: sys.exit(2)\n"
    "for i in z.infolist():\n"
    "    print(i.filename.encode(\"cp437\").hex(), z.read(i).hex(),\n"
    "          \"-\".join(str(v) for v in i.date_time), i.compress_type, sep=\"|\")\n";

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

}  // namespace

std::optional<std::vector<UnzippedEntry>> UnzipWithPython(const std::vector<uint8_t>& archive) {
  TempArchive file(archive);
  if (file.path().empty()) return std::nullopt;
  const std::string command = "python3 -c '" + std::string(kReadScript) + "' '" + file.path() + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string output;
  char block[4096];
  for (size_t got; (got = std::fread(block, 1, sizeof block, pipe)) > 0;) output.append(block, got);
  if (pclose(pipe) != 0) return std::nullopt;

  std::vector<UnzippedEntry> entries;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string name, data, date_time, compress_type;
    if (!std::getline(fields, name, '|') || !std::getline(fields, data, '|') ||
        !std::getline(fields, date_time, '|') || !std::getline(fields, compress_type)) {
      return std::nullopt;
    }
    const std::vector<uint8_t> name_bytes = FromHex(name);
    entries.push_back({std::string(name_bytes.begin(), name_bytes.end()), FromHex(data), date_time,
                       std::stoi(compress_type)});
  }
  return entries;
}

bool UnzipTestPasses(const std::vector<uint8_t>& archive) {
  TempArchive file(archive);
  if (file.path().empty()) return false;
  const int status = std::system(("unzip -tqq '" + file.path() + "' > /dev/null 2>&1").c_str());
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace vnscope::test_support
