// Inspected tunnels; see intercepted_tunnel.h.
#include "engine/intercepted_tunnel.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "base/settings.h"
#include "engine/forwarding.h"
#include "engine/generated_pages.h"
#include "report/frontend.h"
#include "secure/tls_stream.h"

namespace kw {
namespace {

constexpr char kUntrustedSiteHead[] =
    "HTTP/1.0 502 Bad Gateway\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n";

// What a message read ahead of its socket and has not consumed; the TLS session reads it first.
std::string_view take_unread(HttpMessage* msg) {
  std::string_view unread;
  if (msg->pos < msg->filled) {
    unread = std::string_view(msg->buffer + msg->pos, static_cast<size_t>(msg->filled - msg->pos));
  }
  msg->filled = 0;
  msg->pos = 1;
  return unread;
}

// The request line in line, in origin form ("GET /path HTTP/1.1") as browsers send it inside a
// tunnel, made absolute with the tunnel's host ("GET https://host/path HTTP/1.1", the port only
// when it is not 443), cut as read_line cuts. A line that is already absolute stays.
void make_absolute(char* line, const std::string& authority) {
  const char* blank = std::strchr(line, ' ');
  if (blank == nullptr || blank[1] != '/') return;
  char original[kLineBufferSize];
  std::snprintf(original, sizeof original, "%s", line);
  const int method = static_cast<int>(blank - line);
  std::snprintf(line, kLineBufferSize - 2, "%.*s https://%s%s", method, original,
                authority.c_str(), original + method + 1);
}

void log_site_failure(const HttpMessage* client, const std::string& host, const std::string& why) {
  add_log_linef("R** %d Secure site %s failed the check: %s **", static_cast<int>(client->number),
                host.c_str(), why.c_str());
}

}  // namespace

std::shared_ptr<LeafCertificates> leaves_for_tunnel(const Connection* c) {
  if (!settings_has(Enable | InspectSecure)) return nullptr;
  const std::string_view host(c->request.host, static_cast<size_t>(c->request.host_len));
  if (is_passed_through(host)) return nullptr;
  return inspection_leaves();
}

void serve_inspected(Connection* c, LeafCertificates* leaves) {
  c->tunnel = false;  // it ends as a plain request does, without tunnel byte counts
  HttpMessage* client = &c->client;
  HttpMessage* server = &c->server;
  const std::string host(c->request.host, static_cast<size_t>(c->request.host_len));
  const std::string authority =
      c->request.port == 443 ? host : host + ":" + std::to_string(c->request.port);
  const int number = static_cast<int>(c->number);

  CertHandle leaf = leaves->for_host(host);
  if (!leaf) {
    add_log_linef("R** %d No certificate can be made for %s **", number, host.c_str());
    return;
  }
  TlsStream browser;
  std::string why;
  if (!browser.accept(c->client_socket, leaf.get(), leaves->key(), take_unread(client), &why)) {
    add_log_linef("R** %d The browser ended the secure connection to %s: %s **", number,
                  host.c_str(), why.c_str());
    return;
  }
  client->stream = &browser;
  free_headers(client);  // the CONNECT's; the request inside brings its own
  TlsStream site;
  const bool trusted = site.connect(c->server_socket, host.c_str(), take_unread(server), &why);
  if (trusted) server->stream = &site;

  c->request.secure = true;
  bool prepared = false;
  if (read_line(client, c->line, kLineBufferSize) > 0) {
    make_absolute(c->line, authority);
    prepared = prepare_request(client) != 0;
  }
  if (!trusted) {
    log_site_failure(client, host, why);
    if (prepared) {
      send_text(client, kUntrustedSiteHead);
      const std::string named = host + ": " + why;
      send_error_page(client, kSecureSiteFailedPage, named.c_str(), 0);
    }
  } else if (prepared && exchange(client, server) == -1) {
    add_log_linef("R** %d Socket Error %d for %s **", number, net_last_error(), host.c_str());
  }
  browser.send_close_alert();
  client->stream = nullptr;
  server->stream = nullptr;
}

}  // namespace kw
