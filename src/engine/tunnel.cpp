// CONNECT tunnels; see tunnel.h. The request is logged like any other, then answered: 400 for a
// target that is not host:port (it never reaches a server), 502 when the host cannot be looked
// up or connected, the remote proxy's own answer when one is used, else "200 Connection
// established". The answer gets a log block of its own (its status line), and the close line
// of the connection carries the bytes the tunnel moved each way.
#include "engine/tunnel.h"

#include <cstdio>
#include <cstring>

#include "base/char_class.h"
#include "base/decimal.h"
#include "engine/forwarding.h"
#include "engine/generated_pages.h"
#include "engine/intercepted_tunnel.h"
#include "engine/listener.h"
#include "report/frontend.h"

namespace kw {
namespace {

constexpr char kBadTargetHead[] = "HTTP/1.0 400 Bad Request\r\n\r\n";
constexpr char kLookupFailedHead[] = "HTTP/1.0 502 Host Not Found\r\n\r\n";
constexpr char kConnectFailedHead[] = "HTTP/1.0 502 Bad Gateway\r\n\r\n";

// Each direction reads at most this much before it sends it all on.
constexpr int kTunnelPiece = 64 * 1024;

int16_t distance(const char* from, const char* to) { return static_cast<int16_t>(to - from); }

// 1 when [r->url, end) is host:port with a host free of '/' and a port of 1 to 5 digits from 1 to
// 65535; sets the host and port fields.
int split_host_port(RequestLine* r, char* end) {
  char* colon = end;
  while (colon > r->url && *colon != ':') --colon;
  if (*colon != ':' || colon == r->url) return 0;
  if (std::memchr(r->url, '/', static_cast<size_t>(colon - r->url)) != nullptr) return 0;
  uint32_t port = 0;
  const char* digits_end = read_decimal(colon + 1, &port);
  int digits = static_cast<int>(digits_end - (colon + 1));
  if (digits_end != end || digits < 1 || digits > 5 || port < 1 || port > 65535) return 0;
  r->host_len = distance(r->host, colon);
  r->port_text = colon;
  r->port_len = distance(colon, end);
  r->port = static_cast<uint16_t>(port);
  return 1;
}

// The status line of an answer head, without its line end, as the answer's log block.
void log_answer(const HttpMessage* client, const char* head) {
  if (!log_category_on(kLogHttpHeaders)) return;
  LogLock lock;
  if (!add_log_line("W")) return;
  add_log_linef("W+++RESP %d+++", static_cast<int>(client->number));
  add_log_linef("Y%.*s", static_cast<int>(std::strcspn(head, "\r")), head);
}

// Answers with head and a page naming the target, and logs the answer.
void refuse(HttpMessage* client, const char* head, const char* page) {
  send_text(client, head);
  send_error_page(client, page, client->request->url, 0);
  log_answer(client, head);
}

// Sends the CONNECT on to the remote proxy and passes its answer head to the browser. 1 when
// the remote proxy opened the tunnel (a 2xx status); otherwise its answer's body follows its
// head to the browser and the result is 0. An opening answer is kept from the browser when
// pass_opening is false (an inspected tunnel answers the browser itself).
int open_through_remote_proxy(HttpMessage* client, HttpMessage* server, bool pass_opening) {
  if (!send_request(client, server)) return 0;
  if (!parse_status_line(server) || server->status->major == 0) {
    if (!stop_requested.load()) add_log_line("RMalformed reply!");
    return 0;
  }
  if (!parse_headers(server)) {
    add_log_line("RError parsing HTTP reply headers");
    return 0;
  }
  log_message(server);
  const bool opened = server->status->code[0] == '2';
  if (opened && !pass_opening) return 1;
  if (!send_reply_head(client, server)) return 0;
  if (opened) return 1;
  // The refusal's body: its length when given (the remote proxy may keep its connection
  // open), else up to its close.
  if (HeaderField* length = find_header(server, "Content-length")) {
    relay_bytes(server, client, read_config_decimal(length->value));
  } else {
    relay_to_end(server, client);
  }
  return 0;
}

// One direction of a tunnel: buffer[pos, filled) was read from `from` and is not yet sent on
// `to`; nothing more is read until it has all gone.
struct Flow {
  int from;  // index of the sockets in the wait list
  int to;
  char* buffer;
  int pos;
  int filled;
  bool closed;  // `from` closed in order, and `to` was shut down for sending
  int64_t sent;
};

// Takes over what a message had buffered but not consumed.
void take_buffered(Flow* f, const HttpMessage* msg) {
  if (msg->pos >= msg->filled) return;
  f->filled = msg->filled - msg->pos;
  std::memcpy(f->buffer, msg->buffer + msg->pos, static_cast<size_t>(f->filled));
}

// Sends what the direction holds as far as its socket takes it now. false when the send failed.
bool send_held(Flow* f, NetWaitItem* items) {
  int sent = net_send_nowait(items[f->to].socket, f->buffer + f->pos, f->filled - f->pos);
  if (sent < 0) return false;
  f->pos += sent;
  f->sent += sent;
  return true;
}

// One step of a direction after a wait: send what it holds, or read a new piece and send of it
// at once what the socket takes (saving a wait per piece). false when a send or receive failed.
bool step(Flow* f, NetWaitItem* items) {
  if (f->pos < f->filled) return !items[f->to].writable || send_held(f, items);
  if (f->closed || !items[f->from].readable) return true;
  int got = net_recv(items[f->from].socket, f->buffer, kTunnelPiece);
  if (got < 0) return false;
  f->pos = 0;
  f->filled = got;
  if (got > 0) return send_held(f, items);
  f->closed = true;
  net_shutdown_send(items[f->to].socket);
  return true;
}

}  // namespace

int is_connect_request(const char* line) {
  return std::strncmp(line, "CONNECT", 7) == 0 && is_skippable_blank(line[7]) ? 1 : 0;
}

int parse_connect_line(HttpMessage* msg) {
  RequestLine* r = msg->request;
  std::snprintf(r->text, sizeof r->text, "%s", msg->line);
  r->method = r->text;
  r->method_len = 7;  // is_connect_request took the line for its method
  char* p = r->text + r->method_len;
  while (is_skippable_blank(*p)) ++p;
  r->url = r->host = r->path = p;
  while (is_token(*p)) ++p;
  char* end = p;
  r->path_len = distance(r->path, end);
  r->host_len = r->path_len;

  while (is_skippable_blank(*p)) ++p;
  bool versioned = std::strncmp(p, "HTTP/", 5) == 0;
  if (versioned) {
    p = read_decimal(p + 5, &r->major);
    versioned = *p == '.';
    if (versioned) read_decimal(p + 1, &r->minor);
  }
  int valid = split_host_port(r, end) && versioned ? 1 : 0;
  r->url_end = end;
  *end = '\0';
  return valid;
}

void serve_tunnel(Connection* c) {
  HttpMessage* client = &c->client;
  c->tunnel = true;
  int valid = parse_connect_line(client);
  valid = parse_headers(client) && valid;
  remove_header(client, "Proxy-Connection");
  log_message(client);
  if (!valid) return refuse(client, kBadTargetHead, kBadTunnelTargetPage);

  TargetAddress target{};
  if (!resolve_target(c, &target, kLookupFailedHead)) return log_answer(client, kLookupFailedHead);
  if (!connect_server(client, &c->server, target, kConnectFailedHead)) {
    return log_answer(client, kConnectFailedHead);
  }
  net_set_nodelay(c->server_socket);
  const std::shared_ptr<LeafCertificates> leaves = leaves_for_tunnel(c);
  const bool remote = remote_proxy_in_use() != nullptr;
  if (remote && !open_through_remote_proxy(client, &c->server, leaves == nullptr)) return;
  if (!remote || leaves != nullptr) {
    if (send_text(client, kTunnelEstablishedHead) < 1) return;
    log_answer(client, kTunnelEstablishedHead);
  }
  if (leaves != nullptr) return serve_inspected(c, leaves.get());
  run_tunnel(client, &c->server, &c->to_server, &c->to_browser);
}

void run_tunnel(HttpMessage* client, HttpMessage* server, int64_t* to_server, int64_t* to_browser) {
  // Both pieces live on the connection thread's stack, touched only while a tunnel runs.
  char up[kTunnelPiece];
  char down[kTunnelPiece];
  NetWaitItem items[2] = {{*client->socket, false, false, false, false},
                          {*server->socket, false, false, false, false}};
  Flow flows[2] = {{0, 1, up, 0, 0, false, 0}, {1, 0, down, 0, 0, false, 0}};
  take_buffered(&flows[0], client);
  take_buffered(&flows[1], server);

  for (;;) {
    bool waiting = false;
    for (NetWaitItem& item : items) item.read = item.write = false;
    for (const Flow& f : flows) {
      if (f.pos < f.filled) {
        items[f.to].write = waiting = true;
      } else if (!f.closed) {
        items[f.from].read = waiting = true;
      }
    }
    if (!waiting || net_wait(items, 2) < 0) break;
    if (!step(&flows[0], items) || !step(&flows[1], items)) break;
  }
  *to_server = flows[0].sent;
  *to_browser = flows[1].sent;
}

}  // namespace kw
