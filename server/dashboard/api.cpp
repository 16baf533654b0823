#include "server/dashboard/api.h"

#include "report/protocol/limits.h"
#include "server/dashboard/access.h"
#include "server/dashboard/api_json.h"
#include "server/dashboard/http_reply.h"
#include "server/dashboard/pages.h"
#include "server/dashboard/request_values.h"
#include "server/dashboard/triage_input.h"
#include "server/dashboard/triage_routes.h"
#include "server/web_text.h"
#include "server/log.h"
#include "server/package.h"
#include "server/protocol.h"
#include "server/report_name.h"
#include "server/retention.h"

namespace vnscope::server {
namespace {

constexpr char kApiPrefix[] = "/api/v1/";
// Any name a client may send; only stored names are ever found.
constexpr char kApiReport[] = R"(/api/v1/reports/([^/]+))";
constexpr char kJsonType[] = "application/json; charset=utf-8";

void SendJson(httplib::Response& res, int status, const Json& json) {
  res.status = status;
  res.set_header("Cache-Control", "no-store");
  res.set_content(JsonBody(json), kJsonType);
}

void SendError(httplib::Response& res, int status, const std::string& message) {
  SendJson(res, status, {{"error", message}});
}

// The body as a JSON object, or nothing with the answer sent.
std::optional<Json> BodyObject(const httplib::Request& req, httplib::Response& res) {
  if (req.body.size() > kMaxApiBodyBytes) {
    SendError(res, 413, "body over 208 KiB");
    return std::nullopt;
  }
  Json body = Json::parse(req.body, nullptr, false);
  if (body.is_discarded() || !body.is_object()) {
    SendError(res, 400, "body is not a JSON object");
    return std::nullopt;
  }
  return body;
}

// A text field of `body`: nothing when absent or null, or not a string (then
// `wrong` is set).
std::optional<std::string> TextField(const Json& body, const char* key, bool* wrong) {
  const auto found = body.find(key);
  if (found == body.end() || found->is_null()) return std::nullopt;
  if (!found->is_string()) {
    *wrong = true;
    return std::nullopt;
  }
  return found->get<std::string>();
}

}  // namespace

bool IsApiPath(const std::string& path) { return path.rfind(kApiPrefix, 0) == 0 || path == "/api/v1"; }

ApiRoutes::ApiRoutes(ReportStore& store, std::function<int64_t()> clock, std::string token, std::string text_encoding)
    : store_(store), clock_(std::move(clock)), token_(std::move(token)), text_encoding_(std::move(text_encoding)) {}

void ApiRoutes::Register(httplib::Server& http) {
  using Req = const httplib::Request&;
  using Res = httplib::Response&;
  const std::string report = kApiReport;
  http.Get("/api/v1/reports", [this](Req req, Res res) {
    if (Admitted(req, res)) List(req, res);
  });
  http.Get(report, [this](Req req, Res res) {
    if (Admitted(req, res)) Report(req.matches[1], res);
  });
  http.Get(report + "/package", [this](Req req, Res res) {
    if (Admitted(req, res)) Package(req.matches[1], res);
  });
  http.Get(report + "/snapshot.png", [this](Req req, Res res) {
    if (Admitted(req, res)) Entry(req.matches[1], kSnapshotEntry, "image/png", res);
  });
  http.Post(report + "/state", [this](Req req, Res res) {
    if (Admitted(req, res)) SetState(req.matches[1], req, res);
  });
  http.Post(report + "/comments", [this](Req req, Res res) {
    if (Admitted(req, res)) AddComment(req.matches[1], req, res);
  });
  http.Put(report + "/assignee", [this](Req req, Res res) {
    if (Admitted(req, res)) SetAssignee(req.matches[1], req, res);
  });
}

void ApiRoutes::Unanswered(const httplib::Request& req, httplib::Response& res) const {
  const int status = res.status;
  if (!Admitted(req, res)) return;
  switch (status) {
    case 404: return SendError(res, 404, "no such resource");
    case 413: return SendError(res, 413, "body over 208 KiB");
    default: return SendError(res, status, "HTTP " + std::to_string(status));
  }
}

bool ApiRoutes::Admitted(const httplib::Request& req, httplib::Response& res) const {
  if (token_.empty()) {
    SendError(res, 404, "no such resource");
    return false;
  }
  const std::string header = req.get_header_value("Authorization");
  constexpr std::string_view kScheme = "Bearer ";
  const bool bearer = header.size() > kScheme.size() && std::string_view(header).substr(0, kScheme.size()) == kScheme;
  if (bearer && ConstantTimeEquals(std::string_view(header).substr(kScheme.size()), token_)) return true;
  res.set_header("WWW-Authenticate", "Bearer");
  SendError(res, 401, "a valid Authorization: Bearer token is required");
  return false;
}

void ApiRoutes::List(const httplib::Request& req, httplib::Response& res) {
  ListPageModel model;
  ReadListQuery(req, &model);
  std::string error;
  if (!LoadListPage(store_, &model, &error)) return Changed(Lookup::kFailed, error, res);
  Json reports = Json::array();
  for (const ReportRow& row : model.data.rows) reports.push_back(ReportRowJson(row));
  const int64_t total = model.data.tab_counts[model.filter];
  SendJson(res, 200, {{"reports", std::move(reports)}, {"page", model.page}, {"pages", PageCount(total)}, {"total", total}});
}

void ApiRoutes::Report(const std::string& name, httplib::Response& res) {
  ReportDetails details;
  std::string error;
  const Lookup lookup = LooksLikeReportName(name) ? store_.LoadDetails(name, &details, &error) : Lookup::kUnknown;
  if (lookup != Lookup::kFound) return Changed(lookup, error, res);
  std::optional<std::string> text;
  std::vector<uint8_t> entry;
  if (ReadPackageEntry(details.package, kTextEntry, limits::kMaxReplyPayload, &entry) == EntryStatus::kFound)
    text = DecodeText(entry, text_encoding_);
  const auto entries = PackageEntryNames(details.package).value_or(std::vector<std::string>());
  SendJson(res, 200, ReportDetailsJson(details, text, entries, ReadGameState(details.package)));
}

void ApiRoutes::Package(const std::string& name, httplib::Response& res) {
  std::vector<uint8_t> package;
  std::string error;
  const Lookup lookup = LooksLikeReportName(name) ? store_.LoadPackage(name, &package, &error) : Lookup::kUnknown;
  if (lookup != Lookup::kFound) return Changed(lookup, error, res);
  res.set_header("Cache-Control", "private, no-store");
  res.set_header("Content-Disposition", "attachment; filename=\"" + name + ".zip\"");
  res.set_content(reinterpret_cast<const char*>(package.data()), package.size(), "application/zip");
}

void ApiRoutes::Entry(const std::string& name, const char* entry, const char* type, httplib::Response& res) {
  std::vector<uint8_t> package;
  std::string error;
  const Lookup lookup = LooksLikeReportName(name) ? store_.LoadPackage(name, &package, &error) : Lookup::kUnknown;
  if (lookup != Lookup::kFound) return Changed(lookup, error, res);
  std::vector<uint8_t> data;
  if (ReadPackageEntry(package, entry, limits::kMaxReplyPayload, &data) != EntryStatus::kFound)
    return SendError(res, 404, std::string("the report has no ") + entry);
  res.set_header("Cache-Control", "private, no-store");
  res.set_content(reinterpret_cast<const char*>(data.data()), data.size(), type);
}

void ApiRoutes::SetState(const std::string& name, const httplib::Request& req, httplib::Response& res) {
  const auto body = BodyObject(req, res);
  if (!body) return;
  std::optional<uint32_t> state;
  const auto field = body->find("state");
  if (field != body->end() && field->is_number_unsigned() && field->get<uint64_t>() <= UINT32_MAX &&
      IsKnownState(field->get<uint32_t>())) {
    state = field->get<uint32_t>();
  } else if (field != body->end() && field->is_string()) {
    state = ParseReportState(field->get<std::string>());
  }
  if (!state) return SendError(res, 400, "\"state\" must be a known state, by number or label");
  bool wrong = false;
  const auto by = PersonName(TextField(*body, "by", &wrong).value_or(""));
  if (wrong || !by) return SendError(res, 400, "\"by\" must be a name");
  std::string error;
  const StateChangeOrigin origin{kSourceApi, PeerOf(req), clock_(), *by};
  const Lookup lookup = LooksLikeReportName(name) ? store_.SetState(name, *state, origin, &error) : Lookup::kUnknown;
  if (lookup == Lookup::kFound) LogLine("api peer=" + origin.peer + " name=" + name + " state=" + StateLabel(*state));
  Changed(lookup, error, res);
}

void ApiRoutes::AddComment(const std::string& name, const httplib::Request& req, httplib::Response& res) {
  const auto body = BodyObject(req, res);
  if (!body) return;
  bool wrong = false;
  const auto typed_by = TextField(*body, "by", &wrong);
  const auto typed_text = TextField(*body, "text", &wrong);
  if (wrong || !typed_by || !typed_text) return SendError(res, 400, "\"by\" and \"text\" must be strings");
  const auto by = PersonName(*typed_by);
  if (!by || by->empty()) return SendError(res, 400, "\"by\" must be a name");
  const auto text = CommentText(*typed_text);
  if (!text) return SendError(res, 413, "\"text\" over 64 KiB");
  if (text->empty()) return SendError(res, 400, "\"text\" is empty");
  std::string error;
  const StateChangeOrigin origin{kSourceApi, PeerOf(req), clock_(), *by};
  const Lookup lookup = LooksLikeReportName(name) ? store_.AddComment(name, *text, origin, &error) : Lookup::kUnknown;
  if (lookup == Lookup::kFound) LogLine("api peer=" + origin.peer + " name=" + name + " comment by " + *by);
  Changed(lookup, error, res);
}

void ApiRoutes::SetAssignee(const std::string& name, const httplib::Request& req, httplib::Response& res) {
  const auto body = BodyObject(req, res);
  if (!body) return;
  const auto field = body->find("assignee");
  if (field == body->end() || !(field->is_null() || field->is_string()))
    return SendError(res, 400, "\"assignee\" must be a name or null");
  const auto assignee = PersonName(field->is_null() ? "" : field->get<std::string>());
  bool wrong = false;
  const auto by = PersonName(TextField(*body, "by", &wrong).value_or(""));
  if (!assignee || wrong || !by) return SendError(res, 400, "\"assignee\" and \"by\" must be names");
  std::string error;
  const StateChangeOrigin origin{kSourceApi, PeerOf(req), clock_(), *by};
  const Lookup lookup = LooksLikeReportName(name) ? store_.SetAssignee(name, *assignee, origin, &error) : Lookup::kUnknown;
  if (lookup == Lookup::kFound) LogLine("api peer=" + origin.peer + " name=" + name + " assignee=" + *assignee);
  Changed(lookup, error, res);
}

void ApiRoutes::Changed(Lookup lookup, const std::string& error, httplib::Response& res) {
  switch (lookup) {
    case Lookup::kFound:
      res.status = 204;
      return;
    case Lookup::kUnknown:
      return SendError(res, 404, "no such report");
    case Lookup::kFailed:
      LogLine("api: store failed: " + error);
      return SendError(res, 500, "the store failed");
  }
}

}  // namespace vnscope::server
