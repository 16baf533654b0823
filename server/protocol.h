// The bytes of the report protocol: message codes, the 5-byte frame header and
// the payloads of the requests that name a report. Nothing here touches a
// socket, so every rule about the bytes can be checked on its own.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "report/protocol/report_types.h"
#include "report/protocol/wire_format.h"

namespace vnscope::server {

// The message codes, report states and byte layouts are the client's own
// (report_types.h, wire_format.h).
using vnscope::AppendU32Le;
using vnscope::ClientCommand;
using vnscope::EncodeFrameHeader;
using vnscope::kFrameHeaderSize;
using vnscope::ReadU32Le;
using vnscope::ReportState;
using vnscope::ServerReply;

struct FrameHeader {
  uint8_t code = 0;
  uint32_t length = 0;  // payload bytes that follow the header
};

// Reads a header: the code byte, then the payload length little-endian.
FrameHeader DecodeFrameHeader(std::span<const uint8_t, kFrameHeaderSize> bytes);
// Appends a whole frame. The payload must be shorter than 4 GiB.
void AppendFrame(std::vector<uint8_t>& out, ServerReply code, std::span<const uint8_t> payload);

// The command a request code stands for, or nothing for a code no client sends.
std::optional<ClientCommand> CommandFromCode(uint8_t code);
// Name of a request code for the log; "code-N" for unknown ones.
std::string CommandName(uint8_t code);
// Largest payload a request may declare. Only a submission carries more than
// a report name, so everything else gets the small request limit and a bogus
// length is refused before any buffer is sized from it.
uint32_t MaxRequestPayload(ClientCommand command, uint32_t max_package);

bool IsKnownState(uint32_t state);

// FetchSnapshot and FetchReport: the report name, then a 0 byte. The name is
// everything before the first 0; a payload without one is malformed.
std::optional<std::string> ParseNameRequest(std::span<const uint8_t> payload);

struct StateRequest {
  uint32_t state = 0;
  std::string name;
};
// SetReportState: the state little-endian, then the name and (from the
// client) two 0 bytes. One 0 is enough to end the name.
std::optional<StateRequest> ParseStateRequest(std::span<const uint8_t> payload);

struct EntryRequest {
  std::string name;   // the report's, as FetchReport carries it
  std::string entry;  // the package entry's
};
// FetchReportEntry: the report name and a 0 byte, then the entry name and a
// 0 byte. Either name ends at its first 0; a payload without both is malformed.
std::optional<EntryRequest> ParseEntryRequest(std::span<const uint8_t> payload);

// A report name as it travels: its bytes and one 0 byte.
std::vector<uint8_t> TerminatedName(const std::string& name);

}  // namespace vnscope::server
