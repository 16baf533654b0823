#include "server/handlers.h"

#include <cstdio>

#include "report/protocol/limits.h"
#include "report/protocol/package_entry_names.h"
#include "server/package.h"
#include "server/report_name.h"

namespace vnscope::server {
namespace {

RequestOutcome Done(ReplySink& replies, std::string name, std::string result) {
  RequestOutcome outcome{std::move(name), std::move(result)};
  if (!replies.Send(ServerReply::Done, {})) {
    outcome.result += ", client gone";
    outcome.keep_open = false;
  }
  return outcome;
}

RequestOutcome Gone(std::string name) { return {std::move(name), "client gone", false}; }

RequestOutcome StoreFailure(std::string name, const std::string& error) {
  return {std::move(name), "store failed: " + error, false};
}

std::string StateText(uint32_t state) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", state);
  return text;
}

std::span<const uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace

RequestHandler::RequestHandler(ReportStore& store, std::function<int64_t()> clock)
    : store_(store), clock_(std::move(clock)) {}

RequestOutcome RequestHandler::Handle(ClientCommand command, std::span<const uint8_t> payload, const std::string& peer,
                                      ReplySink& replies) {
  switch (command) {
    case ClientCommand::SubmitReport:
      return Submit(payload, peer, replies);
    case ClientCommand::ListReports:
      return List(replies);
    case ClientCommand::FetchSnapshot:
      return FetchSnapshot(payload, replies);
    case ClientCommand::SetReportState:
      return SetState(payload, peer, replies);
    case ClientCommand::FetchReport:
      return FetchText(payload, replies);
    case ClientCommand::FetchReportEntry:
      return FetchEntry(payload, replies);
    case ClientCommand::EndExchange:
      break;
  }
  return Done(replies, "", "nothing to do");
}

RequestOutcome RequestHandler::Submit(std::span<const uint8_t> package, const std::string& peer,
                                      ReplySink& replies) {
  // A submission gets exactly one reply: 0 once the report is on disk, our
  // refusal code otherwise. The reason rides along for anyone capturing the
  // traffic; the client ignores payloads.
  std::string reason;
  auto summary = InspectPackage(package, &reason);
  std::optional<std::string> name;
  bool already_held = false;
  if (summary) name = store_.Add(*summary, package, peer, clock_(), &reason, &already_held);
  if (!name) {
    RequestOutcome outcome{"", summary ? "store failed: " + reason : "refused: " + reason};
    if (!replies.Send(ServerReply::Refused, AsBytes(reason))) return Gone("");
    return outcome;
  }
  // The done reply carries the report's name, which the client ignores but
  // tools and tests can use. A report sent again (its sender never saw our
  // answer) is answered as stored: it is.
  if (!replies.Send(ServerReply::Done, TerminatedName(*name))) return Gone(*name);
  return {*name, already_held ? "already stored" : "stored"};
}

RequestOutcome RequestHandler::List(ReplySink& replies) {
  std::string error;
  auto reports = store_.List(&error);
  if (!reports) return StoreFailure("", error);
  std::vector<uint8_t> summary;
  for (const ListedReport& report : *reports) {
    summary.assign(report.author_entry.begin(), report.author_entry.end());
    AppendU32Le(summary, report.state);
    if (!replies.Send(ServerReply::ReportName, TerminatedName(report.name)) ||
        !replies.Send(ServerReply::ReportSummary, summary))
      return Gone("");
  }
  return Done(replies, "", std::to_string(reports->size()) + " reports");
}

std::optional<RequestOutcome> RequestHandler::LoadPackage(const std::string& name, std::vector<uint8_t>* package) {
  // Names come from clients: they are only ever compared with stored ones.
  if (!LooksLikeReportName(name)) return RequestOutcome{name, "unknown report"};
  std::string error;
  switch (store_.LoadPackage(name, package, &error)) {
    case Lookup::kFound:
      return std::nullopt;
    case Lookup::kUnknown:
      return RequestOutcome{name, "unknown report"};
    case Lookup::kFailed:
      break;
  }
  return StoreFailure(name, error);
}

std::optional<RequestOutcome> RequestHandler::LoadEntry(const std::string& name, const char* entry,
                                                        std::vector<uint8_t>* data) {
  std::vector<uint8_t> package;
  if (auto outcome = LoadPackage(name, &package)) return outcome;
  switch (ReadPackageEntry(package, entry, limits::kMaxReplyPayload - 1, data)) {
    case EntryStatus::kFound:
      return std::nullopt;
    case EntryStatus::kMissing:
      return RequestOutcome{name, std::string("no ") + entry};
    case EntryStatus::kBroken:
      break;
  }
  // Every stored package passed the same reading when it arrived.
  return StoreFailure(name, std::string(entry) + " no longer reads back");
}

RequestOutcome RequestHandler::FetchSnapshot(std::span<const uint8_t> payload, ReplySink& replies) {
  auto name = ParseNameRequest(payload);
  if (!name) return Done(replies, "", "malformed request");
  std::vector<uint8_t> snapshot;
  if (auto outcome = LoadEntry(*name, kSnapshotEntry, &snapshot)) {
    if (!outcome->keep_open) return *outcome;
    return Done(replies, *name, outcome->result);
  }
  if (!replies.Send(ServerReply::SnapshotData, snapshot)) return Gone(*name);
  return Done(replies, *name, "sent");
}

RequestOutcome RequestHandler::SetState(std::span<const uint8_t> payload, const std::string& peer,
                                        ReplySink& replies) {
  auto request = ParseStateRequest(payload);
  if (!request) return Done(replies, "", "malformed request");
  // Without StateChanged the browser keeps showing the old state, which is
  // the truth for an unknown report or a state we do not store.
  if (!IsKnownState(request->state)) return Done(replies, request->name, "unknown state " + StateText(request->state));
  if (!LooksLikeReportName(request->name)) return Done(replies, request->name, "unknown report");
  std::string error;
  switch (store_.SetState(request->name, request->state, {kSourceBrowser, peer, clock_()}, &error)) {
    case Lookup::kFound:
      break;
    case Lookup::kUnknown:
      return Done(replies, request->name, "unknown report");
    case Lookup::kFailed:
      return StoreFailure(request->name, error);
  }
  if (!replies.Send(ServerReply::StateChanged, {})) return Gone(request->name);
  return Done(replies, request->name, "state " + StateText(request->state));
}

RequestOutcome RequestHandler::FetchText(std::span<const uint8_t> payload, ReplySink& replies) {
  auto name = ParseNameRequest(payload);
  if (!name) return Done(replies, "", "malformed request");
  std::vector<uint8_t> text;
  if (auto outcome = LoadEntry(*name, kTextEntry, &text)) {
    if (!outcome->keep_open) return *outcome;
    return Done(replies, *name, outcome->result);
  }
  // The client's entry already ends with its 0 byte; other writers may not
  // add one. Either way the reply carries exactly one.
  while (!text.empty() && text.back() == 0) text.pop_back();
  text.push_back(0);
  if (!replies.Send(ServerReply::ReportText, text) || !replies.Send(ServerReply::ReportLineBreak, {})) return Gone(*name);
  return Done(replies, *name, "sent");
}

RequestOutcome RequestHandler::FetchEntry(std::span<const uint8_t> payload, ReplySink& replies) {
  // What the client cannot have is answered with a refusal and nothing
  // after it; the connection stays open for the next request.
  auto refuse = [&replies](std::string name, std::string result) {
    RequestOutcome outcome{std::move(name), std::move(result)};
    if (!replies.Send(ServerReply::Refused, AsBytes(outcome.result))) return Gone(outcome.name);
    return outcome;
  };
  auto request = ParseEntryRequest(payload);
  if (!request) return refuse("", "malformed request");
  // The package's own entry names only: whatever else a package may hold is
  // none of the protocol's business.
  if (!IsPackageEntryName(request->entry)) return refuse(request->name, "unknown entry");
  std::vector<uint8_t> package;
  if (auto outcome = LoadPackage(request->name, &package)) {
    if (!outcome->keep_open) return *outcome;
    return refuse(request->name, outcome->result);
  }
  // Unlike the text and the snapshot, the other entries were not read when
  // the package arrived: one that does not read back whole, or would not fit
  // a reply, is refused like a missing one.
  std::vector<uint8_t> entry;
  switch (ReadPackageEntry(package, request->entry.c_str(), limits::kMaxReplyPayload, &entry)) {
    case EntryStatus::kFound:
      break;
    case EntryStatus::kMissing:
      return refuse(request->name, "no " + request->entry);
    case EntryStatus::kBroken:
      return refuse(request->name, request->entry + " unreadable or too large");
  }
  if (!replies.Send(ServerReply::ReportEntry, entry)) return Gone(request->name);
  return Done(replies, request->name, "sent " + request->entry);
}

}  // namespace vnscope::server
