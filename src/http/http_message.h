// One HTTP message in flight and everything that reads it off a socket.
//
// Each connection thread owns two HttpMessage records (browser request, server reply) that
// share the connection's 2048-byte line buffer. Bytes read ahead while a head is parsed stay in
// `buffer` and are the first bytes every later read, relay or match takes, so nothing is lost
// between parsing and relaying. Records, buffers and limits are fixed in size: lines are cut at
// 2045 characters, header names hold 39, header values 2047, the status text 128 bytes.
//
// All functions run on the owning connection thread; none logs (the callers decide).
#pragma once

#include <cstdint>

#include "platform/byte_stream.h"

namespace kw {

inline constexpr int kReceiveBufferSize = 2048;
inline constexpr int kLineBufferSize = 2048;

// Parsed request line. Every position points into `text`; `url_end` is overwritten with a
// terminator, so `url`, `host` and `path` read as texts that run to the end of the URL.
struct RequestLine {
  char* method;
  char* url;
  char* host;
  char* port_text;  // the ':' before an explicit port, or null
  char* path;
  char* query;     // the '?', or null
  char* fragment;  // the '#', or null
  char* url_end;
  int16_t method_len;
  int16_t scheme_len;  // from `url` through its first ':'
  int16_t host_len;
  int16_t port_len;  // including the ':'; 0 when none
  int16_t path_len;
  int16_t query_len;     // including '?'; 0 when none
  int16_t fragment_len;  // including '#'; 0 when none
  uint16_t port;         // 80 when the URL names none
  uint8_t major;
  uint8_t minor;
  uint16_t consumed;
  // Read inside an inspected tunnel: the URL is https://host/path, sent upstream from the path
  // on even through a remote proxy (the tunnel already reaches the site).
  bool secure;
  char text[kLineBufferSize];
};

// Parsed status line. major 0 means an HTTP/0.9 reply without a head.
struct StatusLine {
  char* code;  // digits only, may be empty
  char* reason;
  uint8_t major;
  uint8_t minor;
  uint16_t text_len;
  char text[128];  // code and reason, each terminated
};

// One header field; name and value are heap texts owned by the node. Nodes and texts come from
// std::malloc and go back with std::free (free_headers, remove_header).
struct HeaderField {
  HeaderField* next;
  char* name;
  char* value;
  int16_t value_capacity;  // bytes the storage of `value` holds
};

struct HttpMessage {
  // buffer[pos, filled) holds received bytes not yet consumed; pos >= filled means the next
  // read receives afresh. A fresh record has filled 0 and pos 1.
  char buffer[kReceiveBufferSize];
  int32_t filled;
  int32_t pos;
  Socket* socket;        // the connection's socket variable for this side
  ByteStream* stream;    // what the bytes pass through over the socket; null: the socket
  char* line;            // the connection's shared 2048-byte line buffer
  RequestLine* request;  // browser side only
  StatusLine* status;    // server side only
  HeaderField* headers;  // in the order received
  uint32_t number;       // connection number for log lines
};

// The message's side of the connection: its stream when it has one, else its socket.
inline int message_recv(const HttpMessage* msg, void* data, int n) {
  return stream_recv(*msg->socket, msg->stream, data, n);
}
inline int message_send_all(const HttpMessage* msg, const void* data, size_t n) {
  return stream_send_all(*msg->socket, msg->stream, data, n);
}

// Stream operations.
int read_line(HttpMessage* msg, char* out, int size);
int peek_bytes(HttpMessage* msg, char* out, int n);
int read_bytes(HttpMessage* msg, char* out, int n);
int relay_bytes(HttpMessage* from, HttpMessage* to, int n);
int64_t relay_to_end(HttpMessage* from, HttpMessage* to);
int send_text(HttpMessage* msg, const char* text);

// Parsers and the header list.
int parse_request_line(HttpMessage* msg);
int parse_status_line(HttpMessage* msg);
int parse_headers(HttpMessage* msg);
HeaderField* find_header(HttpMessage* msg, const char* name);
int remove_header(HttpMessage* msg, const char* name);
int free_headers(HttpMessage* msg);

}  // namespace kw
