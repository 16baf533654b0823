#include "server/dashboard/http_reply.h"

namespace vnscope::server {

void SendPage(httplib::Response& res, int status, const std::string& html) {
  res.status = status;
  // Report titles and texts are confidential: no copies in caches.
  res.set_header("Cache-Control", "no-store");
  res.set_content(html, "text/html; charset=utf-8");
}

void Redirect(httplib::Response& res, const std::string& location) {
  res.status = 303;
  res.set_header("Location", location);
  res.set_header("Cache-Control", "no-store");
}

std::string FormValue(const httplib::Request& req, const char* key) {
  return req.has_file(key) ? req.get_file_value(key).content : req.get_param_value(key);
}

bool HasFormValue(const httplib::Request& req, const char* key) { return req.has_file(key) || req.has_param(key); }

std::string PeerOf(const httplib::Request& req) {
  const bool v6 = req.remote_addr.find(':') != std::string::npos;
  return (v6 ? "[" + req.remote_addr + "]" : req.remote_addr) + ":" + std::to_string(req.remote_port);
}

// A POST must come from one of our own pages: browsers say where a request
// comes from in Sec-Fetch-Site and Origin, and a page of another site can
// send neither as "same-origin" nor as our own origin.
bool FromOurOwnPage(const httplib::Request& req) {
  const std::string site = req.get_header_value("Sec-Fetch-Site");
  if (!site.empty() && site != "same-origin") return false;
  const std::string origin = req.get_header_value("Origin");
  const std::string host = req.get_header_value("Host");
  return origin.empty() || origin == "http://" + host || origin == "https://" + host;
}

}  // namespace vnscope::server
