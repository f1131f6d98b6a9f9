// Tunnels for secure sites: a CONNECT request names a host and port, the proxy connects there
// (directly, or by sending the same CONNECT to the current remote proxy), tells the browser the
// tunnel is open and then moves bytes both ways unchanged until both sides have closed. Nothing
// in a tunnel is filtered and the header filters never see a CONNECT request. A tunnel is an
// ordinary connection otherwise: its number, its place in the active count, its log block, and
// it ends when every connection is killed. Runs on the connection thread.
#pragma once

#include <cstdint>

#include "engine/connection.h"

namespace kw {

// The answer that opens a tunnel.
inline constexpr char kTunnelEstablishedHead[] = "HTTP/1.0 200 Connection established\r\n\r\n";

// 1 when the line is a CONNECT request line: the method CONNECT followed by a blank.
int is_connect_request(const char* line);

// Parses the CONNECT request line in msg->line into msg->request. The target fills `url`,
// `host` and `path` alike (so the log shows it whole with or without a remote proxy), `host`
// and `port` name where to connect. 1 when the target is host:port with a port from 1 to 65535
// and an HTTP version follows; 0 otherwise, with the method, the target and the version still
// filled in for the log.
int parse_connect_line(HttpMessage* msg);

// Serves the CONNECT request whose line c->line holds, to the end of its tunnel or the answer
// that refused it. Sets c->tunnel and the byte counts.
void serve_tunnel(Connection* c);

// Moves bytes both ways between the browser and the server until both have closed (each close
// is passed on to the other side once everything read before it was sent) or either fails.
// Bytes already buffered in either message go first. The counts receive the bytes sent each way.
void run_tunnel(HttpMessage* client, HttpMessage* server, int64_t* to_server, int64_t* to_browser);

}  // namespace kw
