#include "report/package_entries.h"

namespace vnscope {
namespace {

void AppendUtf16Le(std::u16string_view text, std::vector<uint8_t>* out) {
  for (char16_t unit : text) {
    out->push_back(static_cast<uint8_t>(unit));
    out->push_back(static_cast<uint8_t>(unit >> 8));
  }
  out->push_back(0);
  out->push_back(0);
}

void AppendBytes(const std::string& bytes, std::vector<uint8_t>* out) {
  out->insert(out->end(), bytes.begin(), bytes.end());
}

}  // namespace

std::vector<uint8_t> AuthorEntry(std::u16string_view title, std::u16string_view reporter,
                                 uint32_t flags) {
  std::vector<uint8_t> entry;
  entry.reserve(2 * (title.size() + reporter.size()) + 8);
  AppendUtf16Le(title, &entry);
  AppendUtf16Le(reporter, &entry);
  for (int shift = 0; shift < 32; shift += 8) entry.push_back(static_cast<uint8_t>(flags >> shift));
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
