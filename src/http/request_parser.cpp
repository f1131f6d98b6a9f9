// parse_request_line: splits the browser's request line (absolute URL form, as sent to a proxy)
// into the positions and lengths of RequestLine. The parse works on a copy in request->text,
// so every position stays valid while the shared line buffer is reused; the end of the URL is
// overwritten with a terminator so `url`, `host` and `path` read as texts that run to the end
// of the URL. Runs on the connection thread.
#include <cstring>

#include "base/char_class.h"
#include "http/http_message.h"

namespace kw {
namespace {

int16_t distance(const char* from, const char* to) { return static_cast<int16_t>(to - from); }

}  // namespace

int parse_request_line(HttpMessage* msg) {
  RequestLine* r = msg->request;
  std::strncpy(r->text, msg->line, sizeof r->text - 1);
  r->text[sizeof r->text - 1] = '\0';
  char* p = r->text;

  r->method = p;
  while (is_token(*p)) ++p;
  r->method_len = distance(r->method, p);
  while (is_skippable_blank(*p)) ++p;

  r->url = p;
  while (*p && *p != ':') ++p;
  if (*p == '\0') return 0;
  ++p;
  r->scheme_len = distance(r->url, p);
  if (*p == '/') {
    while (*p == '/') ++p;
  }

  r->host = p;
  while (*p != ':' && *p != '/' && !is_blank(*p)) ++p;
  r->host_len = distance(r->host, p);
  r->port = 80;
  r->port_text = nullptr;
  r->port_len = 0;
  if (*p == ':') {
    r->port_text = p;
    r->port = 0;
    p = read_decimal(p + 1, &r->port);
    r->port_len = distance(r->port_text, p);
  }
  if (*p != '/') return 0;

  r->path = p;
  while (*p != '?' && *p != '#' && !is_blank(*p)) ++p;
  r->path_len = distance(r->path, p);
  if (*p == '\0') return 0;

  r->query = nullptr;
  r->query_len = 0;
  r->fragment = nullptr;
  r->fragment_len = 0;
  if (*p == '?') {
    r->query = p++;
    while (is_token(*p)) ++p;
    r->query_len = distance(r->query, p);
  } else if (*p == '#') {
    r->fragment = p++;
    while (is_token(*p)) ++p;
    r->fragment_len = distance(r->fragment, p);
  }

  r->url_end = p;
  r->major = 0;
  r->minor = 0;
  while (is_skippable_blank(*p)) ++p;
  if (std::strncmp(p, "HTTP/", 5) == 0) {
    p = read_decimal(p + 5, &r->major);
    if (*p != '.') return 0;
    p = read_decimal(p + 1, &r->minor);
  } else {
    r->minor = 9;
  }
  r->consumed = static_cast<uint16_t>(p - r->text);
  *r->url_end = '\0';
  return 1;
}

}  // namespace kw
