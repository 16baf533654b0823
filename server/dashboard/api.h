// The JSON API under /api/v1/ on the dashboard's listener, for a studio's own
// tools: the list, a report with its history and game state, its package and
// snapshot, and the changes people make (state, comments, assignee). Guarded
// by a bearer token; without one configured the API does not exist (404).
#pragma once
#include <httplib.h>

#include <cstdint>
#include <functional>
#include <string>

#include "server/store.h"

namespace vnscope::server {

// Whether `path` belongs to the API.
bool IsApiPath(const std::string& path);

class ApiRoutes {
 public:
  // `clock` gives the Unix time in milliseconds of changes; `token` empty
  // turns the API off; `text_encoding` is the report texts' code page.
  ApiRoutes(ReportStore& store, std::function<int64_t()> clock, std::string token, std::string text_encoding);

  void Register(httplib::Server& http);

  // The JSON answer to an API request that no route answered: 404 when no
  // route took it, or the status the listener gave it itself (413 for a
  // body over its limit).
  void Unanswered(const httplib::Request& req, httplib::Response& res) const;

 private:
  // Whether the request may go on; answers it (404 or 401) when not.
  bool Admitted(const httplib::Request& req, httplib::Response& res) const;
  void List(const httplib::Request& req, httplib::Response& res);
  void Report(const std::string& name, httplib::Response& res);
  void Entry(const std::string& name, const char* entry, const char* type, httplib::Response& res);
  void Package(const std::string& name, httplib::Response& res);
  void SetState(const std::string& name, const httplib::Request& req, httplib::Response& res);
  void AddComment(const std::string& name, const httplib::Request& req, httplib::Response& res);
  void SetAssignee(const std::string& name, const httplib::Request& req, httplib::Response& res);
  // Ends a change with 204, or the store's answer when it failed.
  void Changed(Lookup lookup, const std::string& error, httplib::Response& res);

  ReportStore& store_;
  std::function<int64_t()> clock_;
  const std::string token_;
  const std::string text_encoding_;
};

}  // namespace vnscope::server
