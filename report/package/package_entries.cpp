#include "report/package/package_entries.h"

#include "report/protocol/wire_format.h"

namespace vnscope {
namespace {

void AppendBytes(const std::string& bytes, std::vector<uint8_t>* out) {
  out->insert(out->end(), bytes.begin(), bytes.end());
}

}  // namespace

std::vector<uint8_t> AuthorEntry(std::u16string_view title, std::u16string_view reporter,
                                 uint32_t flags) {
  std::vector<uint8_t> entry;
  entry.reserve(2 * (title.size() + reporter.size()) + 8);
  AppendUtf16LeString(entry, title);
  AppendUtf16LeString(entry, reporter);
  AppendU32Le(entry, flags);
  return entry;
}

std::vector<uint8_t> ScriptInfoEntry(std::u16string_view header, std::u16string_view report,
                                     const TextCodec& codec) {
  std::vector<uint8_t> entry;
  AppendBytes(codec.FromUtf16(std::u16string(header) + u"\r\n"), &entry);
  AppendBytes(codec.FromUtf16(std::u16string(report) + u"\r\n"), &entry);
  entry.push_back(0);
  return entry;
}

std::vector<uint8_t> ObjectListEntry(const std::vector<std::vector<std::u16string>>& rows,
                                     const TextCodec& codec) {
  std::u16string text;
  for (const auto& row : rows) {
    for (const auto& cell : row) {
      if (cell.empty()) break;
      text += u'"';
      text += cell;
      text += u"\",";
    }
    text += u'\n';
  }
  std::vector<uint8_t> entry;
  AppendBytes(codec.FromUtf16(text), &entry);
  entry.push_back(0);
  return entry;
}

}  // namespace vnscope
