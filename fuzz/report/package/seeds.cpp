// Seeds for the package writer: the entries a report package holds.
#include "seeds/seed_registry.h"
#include "test_support.h"

namespace vnscope::fuzz {
namespace {

using test::Bytes;

// zip_writer: options, date and time fields, then per entry: name length - 1,
// name, content length (2 bytes), content (repeated up to the length).
Bytes Entries(uint8_t options, std::initializer_list<std::pair<std::string, std::string>> entries) {
  Bytes bytes{options, 126, 11, 6, 20, 15, 2};  // 2026-12-07 20:15:02
  for (const auto& [name, content] : entries) {
    bytes.push_back(static_cast<uint8_t>(name.size() - 1));
    bytes.insert(bytes.end(), name.begin(), name.end());
    bytes.push_back(static_cast<uint8_t>(content.size()));
    bytes.push_back(static_cast<uint8_t>(content.size() >> 8));
    bytes.insert(bytes.end(), content.begin(), content.end());
  }
  return bytes;
}

const SeedWriter kZipWriter("zip_writer", [] {
  const Bytes author = test::AuthorEntry(u"題名", u"tester", 3);
  return Seeds{
      {"report", Entries(0, {{"author", std::string(author.begin(), author.end())},
                             {"scriptinfo.txt", std::string("line\r\n\0", 7)},
                             {"objectlist.csv", "\"1\",\"bg\",\n"}})},
      {"empty-entries", Entries(2, {{"a", ""}, {"b", ""}})},
      {"breaks", Entries(1, {{"a", "x"}})},
  };
});

}  // namespace
}  // namespace vnscope::fuzz
