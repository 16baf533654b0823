// The texts the debug report dialog writes into its edits: the fixed header
// above the report, the voice line and the object table. Platform-free so
// that their exact layouts are tested natively; the dialog reads the controls
// and the engine's record and hands the pieces in.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "report/protocol/text_codec.h"

namespace vnscope {

// Rows of the object list as the report reads them: each row's cells from
// column 0 up to (not including) its first empty cell.
using ObjectRows = std::vector<std::vector<std::u16string>>;

// Bytes of the hash field of the engine's record: exactly this many are taken.
inline constexpr size_t kReportHashBytes = 32;
// Characters of the date field shown at most; the byte after them is forced to 0.
inline constexpr size_t kReportDateChars = 24;
// Longest cell, in characters or ANSI bytes, the report reads from a list: the
// 256-unit buffers of the list view read less their terminator.
inline constexpr size_t kMaxCellLength = 255;

// The header the tester writes under:
//   "[tqvm.dat]\r\nhash: " hash "\r\ndate: " date "\r\nsize: " size
//   "\r\n\r\n[ LABEL名 ]\r\n" label "\r\n\r\n[ 報告内容 ]\r\n"
// `hash` is the record's 32-byte field in the ANSI code page; a 0 byte in it
// ends what shows (the edit stops there). `date` is the date field, read up
// to its first 0 byte and never past 24 bytes. `size` prints as signed decimal.
std::u16string ReportHeaderText(std::string_view hash, std::string_view date, int32_t size,
                                std::u16string_view label, const TextCodec& codec);

// The text the engine is showing: the record's units up to the first 0, and
// no further than `capacity` units when the engine left no terminator.
std::u16string_view DisplayedText(const char16_t* text, size_t capacity);

// "再生中の音声: " and the voice, then "\r\n": the whole fits a 256-unit
// buffer with its terminator, so a longer voice is cut. Empty voice: nothing.
std::u16string VoiceLine(std::u16string_view voice);

// Characters of the voice the line keeps at most.
inline constexpr size_t kMaxVoiceChars = 256 - 8 - 2 - 1;

// The object list as a table that lines up in a monospaced font: every cell
// is followed by spaces up to one past its column's widest cell, widths being
// ANSI byte counts (a double-byte character takes two columns), at most 255;
// each row ends with "\r\n" and stops at its first empty cell. No rows: "".
std::u16string ObjectTableText(const ObjectRows& rows, const TextCodec& codec);

}  // namespace vnscope
