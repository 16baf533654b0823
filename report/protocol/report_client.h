// The five exchanges of the report client with the report server. Each one
// connects the given stream, runs its requests, and always ends with
// CloseExchange once connected; it succeeds when the last reply code it
// received is 0.
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "report/protocol/text_codec.h"
#include "report/protocol/report_stream.h"
#include "report/protocol/report_records.h"
#include "report/protocol/server_settings.h"

namespace vnscope {

// The server every exchange goes to: the build's address and port
// (VNSCOPE_SERVER_ADDRESS, VNSCOPE_SERVER_PORT), which in the DLL a
// vnscope.ini beside it may override (read once, at the first call; see
// server_settings_file.h).
ServerEndpoint BuildServerEndpoint();

// How a submission ended. Only an answer from the server says anything about
// the report: without one it may or may not have been stored, and a report
// that carries an id may safely go again.
enum class SubmitResult {
  Stored,      // the server answered 0
  Refused,     // the server answered with another code
  NoServer,    // no connection could be made
  BrokenOff,   // connected, but the package did not go out whole or no answer came
};

// Sends the package and takes exactly one reply.
SubmitResult SubmitReport(ReportStream& stream, const ServerEndpoint& server, const uint8_t* package,
                          uint32_t length);

// Empties `records`, then fills it from the server's list: every ReportName
// (ANSI) finds or adds a record, and the ReportSummary that follows fills it.
// A summary before any name, or one too short to hold its fields, is ignored.
bool ListReports(ReportStream& stream, const ServerEndpoint& server, const TextCodec& codec,
                 ReportRecords* records);

// Asks for the snapshots of `names`, in order, over one connection, handing
// every SnapshotData payload (a PNG file) to `on_snapshot`. With no names only
// the close is sent and the exchange fails.
bool FetchSnapshots(ReportStream& stream, const ServerEndpoint& server, const TextCodec& codec,
                    const std::vector<std::u16string>& names,
                    const std::function<void(std::span<const uint8_t>)>& on_snapshot);

// Sets `state` on every report of `names` over one connection; each
// StateChanged reply writes the state into `records` (the record found or
// added). With no names the exchange fails.
bool SetReportState(ReportStream& stream, const ServerEndpoint& server, const TextCodec& codec,
                    const std::vector<std::u16string>& names, uint32_t state,
                    ReportRecords* records);

// What the report preview does with the replies to FetchReport.
struct ReportTextSink {
  // The whole text of the report (converted from ANSI, up to its 0 byte);
  // replaces whatever an earlier call gave.
  std::function<void(const std::u16string&)> on_text;
  // A line break to insert after the text.
  std::function<void()> on_line_break;
};

// Fetches the text of the report `name`.
bool FetchReport(ReportStream& stream, const ServerEndpoint& server, const TextCodec& codec,
                 std::u16string_view name, const ReportTextSink& sink);

// Fetches the package entries `entries` (ASCII names) of the report `name`,
// one FetchReportEntry after another over one connection, into `contents`
// in the same order. Succeeds only when every entry came: each request
// answered with ReportEntry and then code 0. The first refusal (code 1: no
// such report or entry) or failure ends the exchange.
bool FetchReportEntries(ReportStream& stream, const ServerEndpoint& server, const TextCodec& codec,
                        std::u16string_view name, std::span<const std::string_view> entries,
                        std::vector<std::vector<uint8_t>>* contents);

}  // namespace vnscope
