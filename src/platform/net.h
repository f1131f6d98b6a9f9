// Blocking IPv4 TCP sockets with a process-wide start and cleanup.
//
// Every socket made through this layer (net_socket_tcp, net_accept) is entered in a registry
// until its owner closes it with net_close. net_cleanup shuts every registered socket down in
// both directions at once, so that every call blocked in accept, recv, send or connect on any
// thread fails immediately; the owners still close their own descriptors, the registry never
// closes a descriptor that belongs to another thread (so a number reused by a later open can
// never be hit). Between net_cleanup and the next net_startup no socket can be made.
//
// Failures come back as results (-1, 0); the errno of the last failure of the calling thread is
// kept for net_last_error. EINTR is retried here and nowhere else. SIGPIPE is never raised
// (MSG_NOSIGNAL on every send). All functions may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kw {

using Socket = int;
inline constexpr Socket kNoSocket = -1;

// Allows sockets to be made again. Returns 1.
int net_startup();
// Shuts down every registered socket and refuses new ones until the next net_startup.
void net_cleanup();
// 1 between net_startup and net_cleanup.
bool net_started();
// How many times net_cleanup has run. Work that read one count and finds another has been
// cancelled: its sockets were shut down, and a socket shut down before it was bound stays so
// once it listens.
uint64_t net_cleanups();

// A new registered TCP socket, or kNoSocket.
Socket net_socket_tcp();
// Unregisters and closes; kNoSocket is ignored. Returns 1.
int net_close(Socket s);
// shutdown(SHUT_RDWR) of one socket.
void net_shutdown(Socket s);

int net_set_nodelay(Socket s);
int net_set_reuseaddr(Socket s);
// Binds to 127.0.0.1 and the port (0 picks a free port). 1 or 0.
int net_bind_loopback(Socket s, uint16_t port);
// Binds to INADDR_ANY and the port: only the proxy tester's one-shot test server, which a remote
// proxy on another machine must reach. 1 or 0.
int net_bind_any(Socket s, uint16_t port);
int net_listen(Socket s, int backlog);
// Port the socket is bound to (host order), 0 on failure.
uint16_t net_local_port(Socket s);
// Accepts and registers a connection; peer_address receives the peer's IPv4 address in
// network order. kNoSocket on failure.
Socket net_accept(Socket listener, uint32_t* peer_address);
// address in network order, port in host order. 1 or 0.
int net_connect(Socket s, uint32_t address, uint16_t port);

// Bytes sent (possibly fewer than n), or -1.
int net_send(Socket s, const void* data, int n);
// Sends all n bytes, continuing short sends. 1 when every byte went out, 0 when a send failed.
int net_send_all(Socket s, const void* data, size_t n);
// Bytes received, 0 when the peer closed, -1 on error. A socket that net_cleanup shut down
// reports -1 (ECONNABORTED), never an orderly close.
int net_recv(Socket s, void* data, int n);
// What net_recv_nowait returns when nothing has arrived.
inline constexpr int kNetNothingYet = -2;
// Receives what has arrived without waiting: as net_recv, or kNetNothingYet.
int net_recv_nowait(Socket s, void* data, int n);

// Zero-copy moves between a socket and a pipe (splice). net_splice_from moves up to n bytes
// from the socket into the pipe's write end: the bytes moved, 0 when the peer closed, -1 on
// error (also for a socket that net_cleanup shut down, as net_recv). net_splice_to moves up to
// n bytes from the pipe's read end into the socket: the bytes moved, or -1.
int net_splice_from(Socket s, int pipe_write, int n);
int net_splice_to(Socket s, int pipe_read, int n);

// Sends what the socket takes now without waiting: bytes sent (0 when it takes nothing now), or
// -1 on error.
int net_send_nowait(Socket s, const void* data, int n);
// shutdown(SHUT_WR): the peer reads an orderly close once what was sent has arrived.
void net_shutdown_send(Socket s);

// One socket watched by net_wait: what is asked (read, write) and what was found. A socket that
// failed or whose peer hung up is found ready both ways, so the next call reports it.
struct NetWaitItem {
  Socket socket;
  bool read;
  bool write;
  bool readable;
  bool writable;
};
// Blocks until at least one of the n sockets is ready as asked. Ready sockets, or -1.
int net_wait(NetWaitItem* items, int n);

// errno of the last failed call of this thread.
int net_last_error();

// Looks up a dotted text (converted without a look-up) or a host name (first IPv4 address).
// 1 with the address in network order (which may be 0 for "0.0.0.0"), 0 when the look-up fails.
int net_lookup_ipv4(const char* host, uint32_t* address);
// Dotted form of an address in network order into out (at least 16 bytes).
void net_format_ipv4(uint32_t address, char* out);

}  // namespace kw
