#include "server/dashboard/triage_routes.h"

#include "server/dashboard/access.h"
#include "server/dashboard/csv_export.h"
#include "server/dashboard/http_reply.h"
#include "server/dashboard/request_values.h"
#include "server/dashboard/triage_input.h"
#include "server/web_text.h"
#include "server/log.h"
#include "server/report_name.h"

namespace vnscope::server {
namespace {

// Ten years: the name is the browser's, not the session's.
constexpr char kUserNameCookieLife[] = "315360000";

void Refuse(httplib::Response& res, int status, std::string_view message) {
  SendPage(res, status, RenderMessagePage("エラー", message));
}

void SetUserNameCookie(httplib::Response& res, const std::string& name) {
  res.set_header("Set-Cookie", std::string(kUserNameCookie) + "=" + UrlEncode(name) +
                                   "; Path=/; SameSite=Strict; Max-Age=" + kUserNameCookieLife);
}

// The outcome of a change: back to the report, or the page that says why not.
void Answer(Lookup lookup, const std::string& name, const std::string& error, const std::string& what,
            const StateChangeOrigin& origin, httplib::Response& res) {
  switch (lookup) {
    case Lookup::kFound:
      LogLine("dashboard peer=" + origin.peer + " name=" + name + " " + what);
      return Redirect(res, "/reports/" + name);
    case Lookup::kUnknown:
      return SendPage(res, 404, RenderMessagePage("見つかりません", "そのレポートはありません。"));
    case Lookup::kFailed:
      LogLine("dashboard: store failed: " + error);
      return Refuse(res, 500, "レポートを変更できませんでした。");
  }
}

}  // namespace

std::string UserNameOf(const httplib::Request& req) {
  const std::string cookies = req.get_header_value("Cookie");  // the value below points into it
  const std::string_view raw = CookieValue(cookies, kUserNameCookie);
  return PersonName(httplib::detail::decode_url(std::string(raw), false)).value_or("");
}

void ReadListQuery(const httplib::Request& req, ListPageModel* model) {
  model->filter = ListTabFromQuery(req.get_param_value("tab"));
  model->search = req.get_param_value("q");
  model->label = req.get_param_value("label");
  model->assignee = PersonName(req.get_param_value("assignee")).value_or("");
  model->unassigned = req.get_param_value("unassigned") == "1";
  model->page = ListPageFromQuery(req.get_param_value("page"));
}

PageQuery ListPageQuery(const ListPageModel& model, int64_t offset, int64_t limit) {
  PageQuery query{model.filter, model.search};
  query.assignee = model.assignee;
  query.unassigned = model.unassigned;
  query.label = model.label;
  query.offset = offset;
  query.limit = limit;
  return query;
}

bool LoadListPage(ReportStore& store, ListPageModel* model, std::string* error) {
  PageQuery query = ListPageQuery(*model, ListOffset(model->page), kReportsPerPage);
  auto page = store.ListPage(query, error);
  if (page && page->rows.empty() && model->page > PageCount(page->tab_counts[model->filter])) {
    model->page = PageCount(page->tab_counts[model->filter]);
    query.offset = ListOffset(model->page);
    page = store.ListPage(query, error);
  }
  if (!page) return false;
  model->data = std::move(*page);
  return true;
}

void PostComment(ReportStore& store, const std::string& name, StateChangeOrigin origin, const httplib::Request& req,
                 httplib::Response& res) {
  const auto text = CommentText(FormValue(req, "text"));
  if (!text) return Refuse(res, 413, "コメントが長すぎます (64 KiB まで)。");
  if (text->empty()) return Refuse(res, 400, "コメントが空です。");
  if (HasFormValue(req, "by")) {
    const auto by = PersonName(FormValue(req, "by"));
    if (!by || by->empty()) return Refuse(res, 400, "名前を入れてください。");
    origin.by = *by;
    SetUserNameCookie(res, *by);
  }
  if (origin.by.empty()) return Refuse(res, 400, "名前を入れてください。");
  std::string error;
  const Lookup lookup = LooksLikeReportName(name) ? store.AddComment(name, *text, origin, &error) : Lookup::kUnknown;
  Answer(lookup, name, error, "comment by " + origin.by, origin, res);
}

void PostAssignee(ReportStore& store, const std::string& name, StateChangeOrigin origin, const httplib::Request& req,
                  httplib::Response& res) {
  const std::string action = req.get_param_value("action");
  std::optional<std::string> assignee;
  if (action == "clear") {
    assignee = "";
  } else if (action == "me") {
    // A page left open after its name was forgotten would clear the assignee.
    if (origin.by.empty()) return Refuse(res, 400, "名前を入れてください。");
    assignee = origin.by;
  } else {
    assignee = PersonName(req.get_param_value("assignee"));
  }
  if (!assignee) return Refuse(res, 400, "名前が長すぎます。");
  std::string error;
  const Lookup lookup = LooksLikeReportName(name) ? store.SetAssignee(name, *assignee, origin, &error) : Lookup::kUnknown;
  Answer(lookup, name, error, "assignee=" + *assignee, origin, res);
}

void SaveUserName(const httplib::Request& req, httplib::Response& res) {
  const auto name = PersonName(req.get_param_value("name"));
  if (!name) return Refuse(res, 400, "名前が長すぎます。");
  SetUserNameCookie(res, *name);
  Redirect(res, SafeNext(req.get_param_value("next")));
}

std::optional<std::vector<ReportRow>> AllRows(ReportStore& store, PageQuery query, std::string* error) {
  // One query, so that reports arriving meanwhile shift no page boundary.
  query.offset = 0;
  query.limit = -1;  // no limit, to SQLite
  auto page = store.ListPage(query, error);
  if (!page) return std::nullopt;
  return std::move(page->rows);
}

void ExportCsv(ReportStore& store, const httplib::Request& req, httplib::Response& res) {
  ListPageModel model;
  ReadListQuery(req, &model);
  std::string error;
  const auto rows = AllRows(store, ListPageQuery(model, 0, 0), &error);
  if (!rows) {
    LogLine("dashboard: store failed: " + error);
    return Refuse(res, 500, "レポートを読み出せませんでした。");
  }
  res.set_header("Cache-Control", "private, no-store");
  res.set_header("Content-Disposition", "attachment; filename=\"vnscope-reports.csv\"");
  res.set_content(ReportsCsv(*rows), "text/csv; charset=utf-8");
}

}  // namespace vnscope::server
