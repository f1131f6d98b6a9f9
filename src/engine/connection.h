// One browser connection: the records a connection thread owns for its single request, and the
// thread's entry point. Everything lives on the thread's stack except the header lists.
#pragma once

#include <cstdint>

#include "http/http_message.h"

namespace kw {

inline constexpr int kHostNameSize = 128;  // at most 127 characters and a terminator

struct Connection {
  Socket client_socket;
  Socket server_socket;  // kNoSocket until forward_request opens it
  HttpMessage client;    // the browser's request
  HttpMessage server;    // the server's reply
  RequestLine request;
  StatusLine status;
  char line[kLineBufferSize];     // shared by both messages: lines read, log lines, scratch
  char host_name[kHostNameSize];  // the request's host while it is looked up
  uint32_t number;
  bool tunnel;           // the request was a CONNECT; the counts below are its tunnel's
  int64_t to_server;     // bytes the tunnel moved from the browser to the server
  int64_t to_browser;    // and from the server to the browser
};

// Serves the one request of an accepted browser connection and closes it. Takes ownership of
// client_socket. Returns 0 when the connection has ended.
int connection_thread(Socket client_socket);

}  // namespace kw
