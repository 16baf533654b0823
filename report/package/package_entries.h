// The bytes of the report package's text entries: "author", "scriptinfo.txt"
// and "objectlist.csv". "snapshot.png" comes from EncodePng.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "report/protocol/text_codec.h"

namespace vnscope {

// "author": the title as UTF-16LE units and a 0 unit, the reporter the same
// way, then the ReportFlags as 32-bit little-endian. The server hands exactly
// these bytes back (plus the state) in every list reply.
std::vector<uint8_t> AuthorEntry(std::u16string_view title, std::u16string_view reporter,
                                 uint32_t flags);

// "scriptinfo.txt": the header text and "\r\n", then the report text and
// "\r\n", each converted with the codec; a single 0 byte ends the whole.
std::vector<uint8_t> ScriptInfoEntry(std::u16string_view header, std::u16string_view report,
                                     const TextCodec& codec);

// "objectlist.csv": every row's cells as "\"text\"," up to the row's first
// empty cell, each row closed by a line feed, converted with the codec and
// ended by one 0 byte. Cells are written as they are, without escaping; the
// caller reads them at the length the object list shows.
std::vector<uint8_t> ObjectListEntry(const std::vector<std::vector<std::u16string>>& rows,
                                     const TextCodec& codec);

}  // namespace vnscope
