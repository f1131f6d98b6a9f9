// Listener thread, active connection count, connection numbers and restart.
#include "engine/listener.h"

#include <pthread.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "base/settings.h"
#include "engine/connection.h"
#include "platform/designed_lock.h"
#include "platform/thread_pool.h"
#include "report/frontend.h"

namespace kw {

std::atomic<int> stop_requested{0};
std::atomic<int16_t> listener_running{0};
std::atomic<int> listener_failed{0};

namespace {

constexpr int kBacklog = 10;
constexpr uint32_t kLoopbackAddress = 0x0100007F;  // 127.0.0.1 in network order

constexpr char kOutsideWarning[] =
    "** WARNING **\nSomeone From outside is trying to get in!\na request was received from a "
    "non-loopback\nsocket address. You can open the log window\nto log their IP address.";

DesignedLock connection_lock;
int32_t active_connections = 0;  // guarded by connection_lock
std::atomic<uint32_t> connection_counter{0};
std::atomic<uint16_t> bound_port{0};
std::atomic<int> start_pause_ms{2000};
// Set while the warning about an outside peer is on the screen.
std::atomic<bool> outside_warning_open{false};

// Owns the listening socket for the life of one listener.
class ListeningSocket {
 public:
  ListeningSocket() : socket_(net_socket_tcp()) {}
  ~ListeningSocket() { close(); }
  ListeningSocket(const ListeningSocket&) = delete;
  ListeningSocket& operator=(const ListeningSocket&) = delete;
  Socket get() const { return socket_; }
  void close() {
    net_close(socket_);
    socket_ = kNoSocket;
  }

 private:
  Socket socket_;
};

// Connection threads: a stack for the deepest connection with a wide margin, and enough parked
// threads for a page's burst of connections. The deepest is a tunnel, about 145 KiB with its two
// 64 KiB pieces; a filtered page takes about 120 KiB (two swap buffers and the output block), a
// plain relay about 80 KiB. Sanitizer builds pad every frame, so they get four times as much.
// The pool is never destroyed, as connections end on their own threads, possibly after the
// program's end.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr size_t kConnectionStackBytes = 1024 * 1024;
#else
constexpr size_t kConnectionStackBytes = 256 * 1024;
#endif
constexpr int kParkedConnectionThreads = 32;

ThreadPool& connection_threads() {
  static ThreadPool* pool = new ThreadPool(kConnectionStackBytes, kParkedConnectionThreads);
  return *pool;
}

void run_connection(void* handoff) {
  Socket client = *static_cast<Socket*>(handoff);
  std::free(handoff);
  connection_thread(client);
}

// Has a connection thread own the socket in the hand-over record. 0 when no thread could be
// started (the record is then still the caller's).
int start_connection_thread(Socket* handoff) {
  return connection_threads().run(run_connection, handoff) ? 1 : 0;
}

void* show_outside_warning(void*) {
  show_application_error(kOutsideWarning);
  outside_warning_open.store(false);
  return nullptr;
}

// The warning waits for the user, so it is shown from a thread of its own: an outside peer must
// never be able to stop the listener. While one warning is open, further refusals are only
// logged, so a flood of knocks cannot fill the desktop with boxes.
void warn_of_outside_peer() {
  bool closed = false;
  if (!outside_warning_open.compare_exchange_strong(closed, true)) return;
  pthread_t thread;
  if (pthread_create(&thread, nullptr, show_outside_warning, nullptr) != 0) {
    outside_warning_open.store(false);
    return;
  }
  pthread_detach(thread);
}

void refuse_outside_peer(Socket client, uint32_t peer) {
  net_close(client);
  external_connection_seen();
  char dotted[16];
  net_format_ipv4(peer, dotted);
  add_log_linef("RListener received external connection from %s!", dotted);
  warn_of_outside_peer();
}

void accept_loop(Socket listener) {
  while (!stop_requested.load()) {
    auto* handoff = static_cast<Socket*>(std::malloc(sizeof(Socket)));
    if (handoff == nullptr) {
      show_application_error("malloc() error in start_listener");
      return;
    }
    uint32_t peer = 0;
    Socket client = net_accept(listener, &peer);
    if (client == kNoSocket) {
      std::free(handoff);
      return;
    }
    if (peer != kLoopbackAddress) {
      std::free(handoff);
      refuse_outside_peer(client, peer);
      continue;
    }
    *handoff = client;
    if (!start_connection_thread(handoff)) {
      // Out of threads: this browser connection is closed unanswered, later ones may fare
      // better, so the listener goes on.
      std::free(handoff);
      net_close(client);
    }
  }
}

// The status line keeps "Starting listener" no longer than the attempt: a listener that cannot
// listen says so in the error colour, with the system's reason.
int fail_to_listen(ListeningSocket* listening, const char* what, int port) {
  const int error = net_last_error();
  listening->close();
  set_status_textf(kRed, "%s %d: %s", what, port, std::strerror(error));
  listener_running.store(0);
  listener_failed.store(1);
  return 0;
}

}  // namespace

int start_listener(int port) {
  // A cleanup from here on (an Abort, a reload, the end of the program) cancels this start:
  // whoever cleaned up starts a listener of its own if one is wanted. A socket that the cleanup
  // shut down before it was bound would accept connections that are dead on arrival.
  const uint64_t cleanups = net_cleanups();
  ListeningSocket listening;
  if (listening.get() == kNoSocket) {
    show_application_error("Can't open listener socket");
    return 0;
  }
  set_status_textf(kYellow, "Starting listener on port %d", port);
  std::this_thread::sleep_for(std::chrono::milliseconds(start_pause_ms.load()));

  if (net_cleanups() != cleanups) return 0;
  int16_t idle = 0;
  if (!listener_running.compare_exchange_strong(idle, 1)) return 0;
  listener_failed.store(0);

  Socket s = listening.get();
  net_set_reuseaddr(s);
  uint16_t wanted = static_cast<uint16_t>(port);
  // Only this machine can reach the port; the peer check in the accept loop still refuses
  // other loopback addresses, which only the browser's own address may use.
  if (!net_bind_loopback(s, wanted)) {
    add_log_line("RError binding to listener port");
    return fail_to_listen(&listening, "Error binding to listener port", port);
  }
  if (!net_listen(s, kBacklog)) {
    add_log_line("RError calling listen()");
    return fail_to_listen(&listening, "Error calling listen() on port", port);
  }
  if (net_cleanups() != cleanups) {
    listening.close();
    listener_running.store(0);
    return 0;
  }
  bound_port.store(net_local_port(s));
  add_log_linef("WListening on port %d", static_cast<int>(bound_port.load()));
  set_status_text("--- Waiting for connections ---", kGreen);

  accept_loop(s);

  bound_port.store(0);
  listening.close();
  listener_running.store(0);
  return 0;
}

void launch_listener(int port) { std::thread(start_listener, port).detach(); }

void restart_listener() {
  stop_requested.store(1);
  net_cleanup();
  stop_requested.store(0);
  net_startup();
  launch_listener(settings_port());
}

int adjust_active_connections(int delta) {
  int count;
  {
    DesignedLock::Guard guard(connection_lock);
    active_connections += delta;
    count = active_connections;
  }
  show_active_connections(count);
  return count;
}

int active_connection_count() {
  DesignedLock::Guard guard(connection_lock);
  return active_connections;
}

ConnectionLock::ConnectionLock() : hold_(connection_lock.mutex()) {}

uint32_t next_connection_number() { return connection_counter.fetch_add(1) + 1; }

uint16_t listening_port() { return bound_port.load(); }

void set_listener_start_pause(int milliseconds) { start_pause_ms.store(milliseconds); }

}  // namespace kw
