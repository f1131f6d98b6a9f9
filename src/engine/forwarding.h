// Forwarding one request and relaying its reply: where to connect (the request's host or the
// current remote proxy), the exact bytes sent upstream (HTTP/1.0), the reply head, reload
// handling, the choice of how the body travels (unchanged, through the web page filters or the
// GIF freezer) and the log block of each message. Runs on the connection thread; keeps no state
// between calls.
#pragma once

#include <cstdint>

#include "engine/connection.h"
#include "engine/generated_pages.h"
#include "proxies/proxy_list.h"

namespace kw {

// Where forward_request connects: IPv4 address in network order, port in host order.
struct TargetAddress {
  uint32_t address;
  uint16_t port;
};

enum class RelayMode { kPlain, kFilter, kGif };

// The current remote proxy when EnableProxy is set and one is chosen, else null.
ProxyEntry* remote_proxy_in_use();

// 1 with the target filled in; 0 after the look-up failure page was sent after failure_head
// (or, for an address of 0, with nothing sent).
int resolve_target(Connection* connection, TargetAddress* target,
                   const char* failure_head = kHostNotFoundHead);

// Opens the server socket into *server->socket and connects it. 1 when connected; 0 after the
// application error box (no socket) or after the connect failure was logged and its page sent
// to the browser after failure_head.
int connect_server(HttpMessage* client, HttpMessage* server, const TargetAddress& target,
                   const char* failure_head = kHostNotFoundHead);

// Parses the request line (in client->line) and the headers, drops Proxy-Connection, applies
// the outgoing header filters and logs the request. 0 when the line or the head is malformed
// (nothing was answered).
int prepare_request(HttpMessage* client);

// Connects, then exchanges. Leaves the server socket open for the caller to close.
int forward_request(HttpMessage* client, HttpMessage* server, const TargetAddress& target);
// Sends the request on the connected server side, reads and logs the reply head and relays
// the body. 1 when the relay reported success, 0 when the exchange ended early, -1 when the
// reply's status line was malformed.
int exchange(HttpMessage* client, HttpMessage* server);

// The request as HTTP/1.0 with its headers and any body of known length. 1 or 0.
int send_request(HttpMessage* client, HttpMessage* server);
// The reply's status line and headers (nothing for HTTP/0.9). 1 or 0.
int send_reply_head(HttpMessage* client, HttpMessage* server);
// 1 when the path ends in an extension exempt from reload handling.
int is_static_file(const RequestLine* request);
// Decides how the body travels; removes Content-length for the filter and GIF modes.
RelayMode choose_relay_mode(HttpMessage* server);
// Writes the log block of a request (client message) or a reply (server message).
void log_message(HttpMessage* msg);

}  // namespace kw
