// Answers the dashboard's routes share: pages, redirects, and who a request
// comes from.
#pragma once
#include <httplib.h>

#include <string>

namespace vnscope::server {

// An HTML page with `status`, never cached.
void SendPage(httplib::Response& res, int status, const std::string& html);
// 303 to `location`.
void Redirect(httplib::Response& res, const std::string& location);
// "ADDR:PORT" ("[ADDR]:PORT" for IPv6) of the connection.
std::string PeerOf(const httplib::Request& req);
// A form field, from a URL-encoded form or a multipart one. The comment form
// is multipart: cpp-httplib refuses URL-encoded bodies over 8 KiB.
std::string FormValue(const httplib::Request& req, const char* key);
bool HasFormValue(const httplib::Request& req, const char* key);

// Whether a POST comes from one of our own pages.
bool FromOurOwnPage(const httplib::Request& req);

}  // namespace vnscope::server
