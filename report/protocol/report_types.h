// The 32-bit codes a report carries to and from the report server, and the
// message codes of the server protocol.
#pragma once
#include <cstdint>

namespace vnscope {

// What a report carries: the bits the sender chose. Values travel as plain
// uint32_t because the server hands back whatever the package said.
struct ReportFlags {
  static constexpr uint32_t HasText = 1u << 0;      // report text and script information
  static constexpr uint32_t HasSnapshot = 1u << 1;  // snapshot and object list
};

// Processing state of a report on the server. The server may store any value;
// these are the ones the browser names.
struct ReportState {
  static constexpr uint32_t New = 0;
  static constexpr uint32_t RefixRequested = 1;
  static constexpr uint32_t Fixed = 0x80000000u;
  static constexpr uint32_t Confirmed = 0x80000001u;
  static constexpr uint32_t NoProblem = 0x80000002u;
};

// A report has been dealt with when its state, read as signed, is negative.
constexpr bool IsDealtWith(uint32_t state) { return (state & 0x80000000u) != 0; }

// First byte of every message the client sends.
enum class ClientCommand : uint8_t {
  EndExchange = 0,
  SubmitReport = 1,
  ListReports = 2,
  FetchSnapshot = 3,
  SetReportState = 4,
  FetchReport = 5,
  // The report name (ANSI, one 0 byte), then the entry name (ASCII, one 0
  // byte): one entry of a report's package.
  FetchReportEntry = 6,
};

// First byte of every message the server sends. Done ends the replies to one
// request; codes not listed are read whole and skipped.
enum class ServerReply : uint8_t {
  Done = 0,
  // The server's answer to a submission or a frame it does not take: the
  // client counts any code but 0 as a refusal.
  Refused = 1,
  ReportName = 2,
  ReportSummary = 3,
  SnapshotData = 4,
  StateChanged = 5,
  ReportText = 6,
  ReportLineBreak = 7,
  // The bytes of the entry FetchReportEntry asked for; code 0 follows. An
  // unknown report or entry is answered with Refused alone.
  ReportEntry = 8,
};

}  // namespace vnscope
