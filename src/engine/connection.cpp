// The connection thread: serves exactly one request of one browser connection, then closes it.
// The order of the steps is fixed; every path out goes through the same end of connection.
#include "engine/connection.h"

#include "engine/forwarding.h"
#include "engine/listener.h"
#include "engine/tunnel.h"
#include "report/frontend.h"

namespace kw {
namespace {

void wire(HttpMessage* msg, Connection* c, Socket* socket) {
  msg->filled = 0;
  msg->pos = 1;
  msg->socket = socket;
  msg->line = c->line;
  msg->number = c->number;
}

// Reads and prepares the request, then has it forwarded and its reply relayed.
void serve(Connection* c) {
  if (read_line(&c->client, c->line, kLineBufferSize) == 0) return;
  if (is_connect_request(c->line)) return serve_tunnel(c);
  if (!prepare_request(&c->client)) return;

  TargetAddress target{};
  if (!resolve_target(c, &target)) return;
  if (forward_request(&c->client, &c->server, target) == -1) {
    add_log_linef("R** %d Socket Error %d for %.*s **", static_cast<int>(c->number),
                  net_last_error(), c->request.host_len, c->request.host);
  }
}

}  // namespace

int connection_thread(Socket client_socket) {
  adjust_active_connections(1);

  // About 8.5 KB of fixed records; zeroed, as the parsers expect fresh records.
  Connection c{};
  c.client_socket = client_socket;
  c.server_socket = kNoSocket;
  c.number = next_connection_number();
  wire(&c.client, &c, &c.client_socket);
  c.client.request = &c.request;
  wire(&c.server, &c, &c.server_socket);
  c.server.status = &c.status;
  net_set_nodelay(c.client_socket);

  serve(&c);

  free_headers(&c.server);
  net_close(c.server_socket);
  net_shutdown(c.client_socket);
  adjust_active_connections(-1);
  if (c.tunnel) {
    add_log_linef("W+++CLOSE %d+++ %lld bytes to the site, %lld bytes to the browser",
                  static_cast<int>(c.number), static_cast<long long>(c.to_server),
                  static_cast<long long>(c.to_browser));
  } else {
    add_log_linef("W+++CLOSE %d+++", static_cast<int>(c.number));
  }
  net_close(c.client_socket);
  free_headers(&c.client);
  return 0;
}

}  // namespace kw
