// The dashboard's triage requests: comments, the assignee, the name a
// browser goes by, and the list's filters and CSV export. The caller has
// admitted the request (login, and for a POST its form token and origin).
#pragma once
#include <httplib.h>

#include <string>

#include "server/dashboard/pages.h"
#include "server/store.h"

namespace vnscope::server {

// The name this browser gave (its cookie), or empty.
std::string UserNameOf(const httplib::Request& req);

// The list's tab, search, filters and page from a request's query.
void ReadListQuery(const httplib::Request& req, ListPageModel* model);
// The store's query for the list's first `limit` rows from `offset`.
PageQuery ListPageQuery(const ListPageModel& model, int64_t offset, int64_t limit);

// The model's page of the list into `model->data`; a page past the end (the
// tab shrank) gives the last one, and `model->page` says which. The
// dashboard and the API page alike through here.
bool LoadListPage(ReportStore& store, ListPageModel* model, std::string* error);

// POST /reports/NAME/comments: `text`, and `by` when the browser has no name
// yet (it then keeps that one).
void PostComment(ReportStore& store, const std::string& name, StateChangeOrigin origin, const httplib::Request& req,
                 httplib::Response& res);
// POST /reports/NAME/assignee: `action` set (to `assignee`), clear, or me.
void PostAssignee(ReportStore& store, const std::string& name, StateChangeOrigin origin, const httplib::Request& req,
                  httplib::Response& res);
// POST /name: `name`, then back to `next`.
void SaveUserName(const httplib::Request& req, httplib::Response& res);
// GET /reports.csv: every row of the list's tab, search and filters.
void ExportCsv(ReportStore& store, const httplib::Request& req, httplib::Response& res);

// Every row of a list query, all pages, newest first; nothing when the store
// fails.
std::optional<std::vector<ReportRow>> AllRows(ReportStore& store, PageQuery query, std::string* error);

}  // namespace vnscope::server
