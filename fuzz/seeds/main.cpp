// fuzz_seeds CORPUS_ROOT [TARGET...]: replaces CORPUS_ROOT/TARGET/seed-* with
// the seeds the writers make now; inputs the fuzzer found (other names) stay.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "seeds/seed_registry.h"

namespace vnscope::fuzz {
namespace {
std::vector<RegisteredSeeds>& Registry() {
  static std::vector<RegisteredSeeds> writers;
  return writers;
}
}  // namespace

SeedWriter::SeedWriter(const char* target, std::function<Seeds()> make) {
  Registry().push_back({target, std::move(make)});
}
const std::vector<RegisteredSeeds>& AllSeedWriters() { return Registry(); }

}  // namespace vnscope::fuzz

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  if (argc < 2) {
    std::fprintf(stderr, "usage: fuzz_seeds CORPUS_ROOT [TARGET...]\n");
    return 2;
  }
  const fs::path root = argv[1];
  const std::set<std::string> only(argv + 2, argv + argc);
  for (const auto& writer : vnscope::fuzz::AllSeedWriters()) {
    if (!only.empty() && !only.count(writer.target)) continue;
    const fs::path folder = root / writer.target;
    fs::create_directories(folder);
    for (const auto& entry : fs::directory_iterator(folder))
      if (entry.path().filename().string().starts_with("seed-")) fs::remove(entry.path());
    const auto seeds = writer.make();
    for (const auto& [name, bytes] : seeds) {
      std::ofstream out(folder / ("seed-" + name), std::ios::binary);
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      if (!out) {
        std::fprintf(stderr, "cannot write %s\n", (folder / name).c_str());
        return 1;
      }
    }
    std::printf("%s: %zu seeds\n", writer.target.c_str(), seeds.size());
  }
  return 0;
}
