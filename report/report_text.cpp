#include "report/report_text.h"

#include <algorithm>

namespace vnscope {
namespace {

std::u16string_view UpToNul(std::u16string_view text) { return text.substr(0, text.find(u'\0')); }

std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

std::u16string Decimal(int32_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

size_t AnsiWidth(std::u16string_view cell, const TextCodec& codec) {
  return std::min(codec.FromUtf16(cell).size(), kMaxCellLength);
}

}  // namespace

std::u16string ReportHeaderText(std::string_view hash, std::string_view date, int32_t size,
                                std::u16string_view label, const TextCodec& codec) {
  const std::u16string hashText = codec.ToUtf16(hash.substr(0, kReportHashBytes));
  const std::u16string dateText = codec.ToUtf16(UpToNul(date.substr(0, kReportDateChars)));
  std::u16string header = u"[tqvm.dat]\r\nhash: ";
  header += UpToNul(hashText);
  header += u"\r\ndate: ";
  header += dateText;
  header += u"\r\nsize: ";
  header += Decimal(size);
  header += u"\r\n\r\n[ LABEL名 ]\r\n";
  header += label;
  header += u"\r\n\r\n[ 報告内容 ]\r\n";
  return header;
}

std::u16string_view DisplayedText(const char16_t* text, size_t capacity) {
  if (text == nullptr) return {};
  return UpToNul(std::u16string_view(text, capacity));
}

std::u16string VoiceLine(std::u16string_view voice) {
  if (voice.empty()) return {};
  return u"再生中の音声: " + std::u16string(voice.substr(0, kMaxVoiceChars)) + u"\r\n";
}

std::u16string ObjectTableText(const ObjectRows& rows, const TextCodec& codec) {
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    for (size_t column = 0; column < row.size() && !row[column].empty(); ++column) {
      if (widths.size() <= column) widths.resize(column + 1, 0);
      widths[column] = std::max(widths[column], AnsiWidth(row[column], codec));
    }
  }
  std::u16string table;
  for (const auto& row : rows) {
    for (size_t column = 0; column < row.size() && !row[column].empty(); ++column) {
      table += row[column];
      // At least one space after every cell, the last of a row included.
      const size_t length = AnsiWidth(row[column], codec);
      table.append(widths[column] + 1 - length, u' ');
    }
    table += u"\r\n";
  }
  return table;
}

}  // namespace vnscope
