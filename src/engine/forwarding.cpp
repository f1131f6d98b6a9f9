// Request forwarding and reply relay for one connection; see forwarding.h. The request goes out
// as HTTP/1.0 with the headers left after the connection's preparation; the reply's end is the
// server closing its connection, and a rewritten body goes out without a length.
#include "engine/forwarding.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "base/char_class.h"
#include "base/decimal.h"
#include "base/settings.h"
#include "engine/generated_pages.h"
#include "engine/gif_freezer.h"
#include "engine/listener.h"
#include "filters/header_filters.h"
#include "filters/page_filter.h"
#include "http/head_writer.h"
#include "report/frontend.h"

namespace kw {
namespace {

// Extensions whose reload keeps the conditional headers (images and applets).
constexpr const char* kStaticExtensions[] = {"jpg", "jpeg", "gif", "png", "xbm", "class"};

// Content types that go through the web page filters, tested in this order as prefixes.
struct FilteredType {
  const char* type;
  int length;
};
constexpr FilteredType kFilteredTypes[] = {
    {"text/html", 9},        {"text/css", 8},
    {"text/javascript", 15}, {"application/x-javascript", 24},
    {"text/vbscript", 13},   {"multipart/x-mixed-replace", 25},
};

// The request target as sent upstream: the whole URL through a remote proxy, else from the
// path on. Both run to the end of the URL (terminated by the parser).
const char* request_target(const RequestLine* request) {
  return remote_proxy_in_use() != nullptr && !request->secure ? request->url : request->path;
}

// Reply headers an inspected connection leaves out: it always ends after the reply, which
// the Connection: close it adds tells the browser.
bool is_connection_header(const char* name) {
  return equals_ignoring_case(name, "Connection") || equals_ignoring_case(name, "Keep-Alive") ||
         equals_ignoring_case(name, "Proxy-Connection");
}

// A Content-length value: the engine's blanks (the bytes from 0x80 up among them), then the
// signed decimal number of the configuration format (an optional sign and the digits; none
// give 0; held within 32 bits).
int32_t content_length(const char* value) {
  while (is_skippable_blank(*value)) ++value;
  return read_config_decimal(value);
}

int send_connect_failure(HttpMessage* client, const char* head) {
  const RequestLine* r = client->request;
  add_log_linef("R** %d Socket Error %d for %s **", static_cast<int>(client->number),
                net_last_error(), "connect()");
  send_text(client, head);
  send_error_page(client, kConnectFailedPage, r->host, 0);
  return 0;
}

// A look-up failed: the status line and the page naming the host.
void send_lookup_failure(HttpMessage* client, const char* head, const char* host, int host_len) {
  send_text(client, head);
  send_error_page(client, kHostLookupFailedPage, host, host_len);
}

// One header line of a logged head, "<start><name>: <value>", cut at 2047 characters as
// add_log_linef cuts: put together without a format pass, as header lines are most of the
// lines a connection logs.
void log_header_line(char start, const char* name, const char* value) {
  char line[2048];
  size_t n = 0;
  auto put = [&](const char* text, size_t length) {
    length = std::min(length, sizeof line - 1 - n);
    std::memcpy(line + n, text, length);
    n += length;
  };
  line[n++] = start;
  put(name, std::strlen(name));
  put(": ", 2);
  put(value, std::strlen(value));
  line[n] = '\0';
  add_log_line(line);
}

}  // namespace

ProxyEntry* remote_proxy_in_use() {
  if (!settings_has(EnableProxy)) return nullptr;
  return current_proxy.load(std::memory_order_acquire);
}

int resolve_target(Connection* c, TargetAddress* target, const char* failure_head) {
  if (ProxyEntry* proxy = remote_proxy_in_use()) {
    uint32_t address = proxy_cached_address(proxy);
    if (address == 0) {
      const char* host = proxy_host(proxy);
      if (!net_lookup_ipv4(host, &address)) {
        send_lookup_failure(&c->client, failure_head, host, 0);
        return 0;
      }
      if (address == 0) return 0;
      proxy_cache_address(proxy, host, address);
    }
    target->address = address;
    target->port = static_cast<uint16_t>(proxy_port(proxy));
    return 1;
  }

  const RequestLine& r = c->request;
  if (r.host_len >= kHostNameSize) {
    send_lookup_failure(&c->client, failure_head, r.host, r.host_len);
    return 0;
  }
  std::memcpy(c->host_name, r.host, static_cast<size_t>(r.host_len));
  c->host_name[r.host_len] = '\0';
  uint32_t address = 0;
  if (!net_lookup_ipv4(c->host_name, &address)) {
    send_lookup_failure(&c->client, failure_head, c->host_name, 0);
    return 0;
  }
  if (address == 0) return 0;
  target->address = address;
  target->port = r.port;
  return 1;
}

int connect_server(HttpMessage* client, HttpMessage* server, const TargetAddress& target,
                   const char* failure_head) {
  Socket s = net_socket_tcp();
  *server->socket = s;
  if (s == kNoSocket) {
    show_application_error("Can't open client socket");
    return 0;
  }
  if (!net_connect(s, target.address, target.port)) {
    return send_connect_failure(client, failure_head);
  }
  return 1;
}

int prepare_request(HttpMessage* client) {
  if (!parse_request_line(client) || !parse_headers(client)) return 0;
  remove_header(client, "Proxy-Connection");
  if (settings_has(Enable | FilterHeadersOut)) apply_header_filters(client, client, HEADER_OUT);
  log_message(client);
  return 1;
}

int forward_request(HttpMessage* client, HttpMessage* server, const TargetAddress& target) {
  if (!connect_server(client, server, target)) return 0;
  return exchange(client, server);
}

int exchange(HttpMessage* client, HttpMessage* server) {
  bool reload = false;
  HeaderField* pragma = find_header(client, "Pragma");
  if (pragma != nullptr && equals_ignoring_case(pragma->value, "no-cache") &&
      !is_static_file(client->request)) {
    remove_header(client, "If-Modified-Since");
    remove_header(client, "If-None-Match");
    reload = true;
    add_log_line("WBrowser reload detected...");
  }

  if (!send_request(client, server)) return 0;

  if (!parse_status_line(server)) {
    if (stop_requested.load()) return 0;
    add_log_line("RMalformed reply!");
    return -1;
  }
  if (server->status->major > 0 && !parse_headers(server)) {
    add_log_line("RError parsing HTTP reply headers");
    return 0;
  }
  if (reload) remove_header(server, "Last-Modified");
  if (settings_has(Enable | FilterHeadersIn)) apply_header_filters(server, client, HEADER_IN);
  log_message(server);

  RelayMode mode = choose_relay_mode(server);
  if (!send_reply_head(client, server)) return 0;

  switch (mode) {
    case RelayMode::kFilter: {
      HeaderField* type = find_header(server, "Content-type");
      return filter_page_body(server, client, type->value) != 0 ? 1 : 0;
    }
    case RelayMode::kGif:
      return freeze_gif(server, client) != 0 ? 1 : 0;
    case RelayMode::kPlain:
      break;
  }
  return relay_to_end(server, client) != 0 ? 1 : 0;
}

int send_request(HttpMessage* client, HttpMessage* server) {
  const RequestLine* r = client->request;
  HeadWriter head(*server->socket, server->stream);
  head.add(r->method, static_cast<size_t>(r->method_len));
  head.add(" ", 1);
  head.add(request_target(r));
  head.add(" HTTP/1.0\r\n");
  for (HeaderField* h = client->headers; h != nullptr; h = h->next) {
    if (h->name != nullptr) head.add_header(h->name, h->value);
  }
  head.add("\r\n", 2);
  if (!head.flush()) return 0;

  HeaderField* length = find_header(client, "Content-length");
  if (length == nullptr) return 1;
  int32_t n = content_length(length->value);
  add_log_linef("GPosting %d bytes...", n);
  while (n > 0) {
    int piece = n < kLineBufferSize ? n : kLineBufferSize;
    if (read_bytes(client, client->line, piece) < 1) return 0;
    if (!message_send_all(server, client->line, static_cast<size_t>(piece))) return 0;
    n -= piece;
  }
  return 1;
}

int send_reply_head(HttpMessage* client, HttpMessage* server) {
  const StatusLine* s = server->status;
  if (s->major == 0) return 1;
  char version[16];
  std::snprintf(version, sizeof version, "HTTP/%d.%d ", s->major, s->minor);
  HeadWriter head(*client->socket, client->stream);
  head.add(version);
  head.add(s->code);
  head.add(" ", 1);
  head.add(s->reason);
  head.add("\r\n", 2);
  const bool secure = client->request != nullptr && client->request->secure;
  for (HeaderField* h = server->headers; h != nullptr; h = h->next) {
    if (h->name != nullptr && !(secure && is_connection_header(h->name))) {
      head.add_header(h->name, h->value);
    }
  }
  if (secure) head.add_header("Connection", "close");
  head.add("\r\n", 2);
  return head.flush();
}

int is_static_file(const RequestLine* request) {
  const char* path = request->path;
  int dot = -1;
  for (int i = request->path_len; i >= 1; --i) {
    if (path[i] == '.') {
      dot = i;
      break;
    }
  }
  if (dot < 0) return 0;
  int length_in_path = request->path_len - (dot + 1);
  if (length_in_path < 3 || length_in_path > 5) return 0;
  const char* extension = path + dot + 1;  // runs to the end of the URL
  for (const char* exempt : kStaticExtensions) {
    if (equals_ignoring_case(extension, exempt)) return 1;
  }
  return 0;
}

RelayMode choose_relay_mode(HttpMessage* server) {
  if (!settings_has(Enable)) return RelayMode::kPlain;
  HeaderField* type = find_header(server, "Content-type");
  if (type == nullptr) return RelayMode::kPlain;
  if (settings_has(FreezeGIF) && std::strcmp(type->value, "image/gif") == 0) {
    remove_header(server, "Content-length");
    return RelayMode::kGif;
  }
  if (!settings_has(FilterHTML)) return RelayMode::kPlain;
  for (const FilteredType& t : kFilteredTypes) {
    if (!prefix_equals_ignoring_case(type->value, t.type, t.length)) continue;
    char first = server->status->code[0];
    if (find_header(server, "Transfer-Encoding") != nullptr || (first != '2' && first != '4')) {
      return RelayMode::kPlain;
    }
    remove_header(server, "Content-length");
    return RelayMode::kFilter;
  }
  return RelayMode::kPlain;
}

void log_message(HttpMessage* msg) {
  if (!log_category_on(kLogHttpHeaders)) return;
  LogLock lock;
  if (!add_log_line("W")) return;
  int number = static_cast<int>(msg->number);
  char start;
  if (const RequestLine* r = msg->request) {
    add_log_linef("W+++GET %d+++", number);
    if (ProxyEntry* proxy = remote_proxy_in_use()) {
      add_log_linef("CUsing Proxy - %s:%d", proxy_host(proxy), static_cast<int>(proxy_port(proxy)));
    }
    start = 'G';
    add_log_linef("G%.*s %s HTTP/%01d.%01d", r->method_len, r->method,
                  r->secure ? r->url : request_target(r), r->major, r->minor);
  } else {
    const StatusLine* s = msg->status;
    add_log_linef("W+++RESP %d+++", number);
    start = 'Y';
    add_log_linef("YHTTP/%d.%d %s %s", s->major, s->minor, s->code, s->reason);
  }
  for (HeaderField* h = msg->headers; h != nullptr; h = h->next) {
    if (h->name != nullptr) log_header_line(start, h->name, h->value);
  }
}

}  // namespace kw
