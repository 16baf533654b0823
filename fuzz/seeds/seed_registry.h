// Seed corpora for the fuzz targets, written by the tests' own builders so
// that every seed is an input the real peers produce. Each seeds*.cpp file
// registers a writer per target with a file-scope SeedWriter.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vnscope::fuzz {

using SeedBytes = std::vector<uint8_t>;
// Named seeds for one target; a name becomes the seed's file name.
using Seeds = std::vector<std::pair<std::string, SeedBytes>>;

struct SeedWriter {
  SeedWriter(const char* target, std::function<Seeds()> make);
};

struct RegisteredSeeds {
  std::string target;
  std::function<Seeds()> make;
};
const std::vector<RegisteredSeeds>& AllSeedWriters();

}  // namespace vnscope::fuzz
