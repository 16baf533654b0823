#include "server/protocol.h"

#include <algorithm>

#include "report/protocol/limits.h"

namespace vnscope::server {

FrameHeader DecodeFrameHeader(std::span<const uint8_t, kFrameHeaderSize> bytes) {
  FrameHeader header;
  header.code = bytes[0];
  header.length = ReadU32Le(&bytes[1]);
  return header;
}

void AppendFrame(std::vector<uint8_t>& out, ServerReply code, std::span<const uint8_t> payload) {
  const auto header = EncodeFrameHeader(static_cast<uint8_t>(code), static_cast<uint32_t>(payload.size()));
  out.insert(out.end(), header.begin(), header.end());
  out.insert(out.end(), payload.begin(), payload.end());
}

std::optional<ClientCommand> CommandFromCode(uint8_t code) {
  if (code > static_cast<uint8_t>(ClientCommand::FetchReportEntry)) return std::nullopt;
  return static_cast<ClientCommand>(code);
}

std::string CommandName(uint8_t code) {
  static constexpr const char* kNames[] = {"EndExchange",    "SubmitReport", "ListReports",     "FetchSnapshot",
                                           "SetReportState", "FetchReport",  "FetchReportEntry"};
  if (code < std::size(kNames)) return kNames[code];
  return "code-" + std::to_string(code);
}

uint32_t MaxRequestPayload(ClientCommand command, uint32_t max_package) {
  return command == ClientCommand::SubmitReport ? max_package : limits::kMaxRequestPayload;
}

bool IsKnownState(uint32_t state) {
  switch (state) {
    case ReportState::New:
    case ReportState::RefixRequested:
    case ReportState::Fixed:
    case ReportState::Confirmed:
    case ReportState::NoProblem:
      return true;
  }
  return false;
}

std::optional<std::string> ParseNameRequest(std::span<const uint8_t> payload) {
  const auto end = std::find(payload.begin(), payload.end(), uint8_t{0});
  if (end == payload.end()) return std::nullopt;
  return std::string(payload.begin(), end);
}

std::optional<StateRequest> ParseStateRequest(std::span<const uint8_t> payload) {
  if (payload.size() < 4) return std::nullopt;
  auto name = ParseNameRequest(payload.subspan(4));
  if (!name) return std::nullopt;
  StateRequest request;
  request.state = ReadU32Le(payload.data());
  request.name = std::move(*name);
  return request;
}

std::optional<EntryRequest> ParseEntryRequest(std::span<const uint8_t> payload) {
  const auto name_end = std::find(payload.begin(), payload.end(), uint8_t{0});
  if (name_end == payload.end()) return std::nullopt;
  const auto entry_end = std::find(name_end + 1, payload.end(), uint8_t{0});
  if (entry_end == payload.end()) return std::nullopt;
  EntryRequest request;
  request.name.assign(payload.begin(), name_end);
  request.entry.assign(name_end + 1, entry_end);
  return request;
}

std::vector<uint8_t> TerminatedName(const std::string& name) {
  std::vector<uint8_t> bytes(name.begin(), name.end());
  bytes.push_back(0);
  return bytes;
}

}  // namespace vnscope::server
