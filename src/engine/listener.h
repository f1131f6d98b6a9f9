// The listener and the lifecycle of all connections: the listening thread, the count of active
// connections with its lock, the connection numbers, and killing every connection at once.
//
// Threads: start_listener runs on a thread of its own (launch_listener starts one); each
// accepted connection runs connection_thread, from accept to close, on one thread of the
// connection pool (a parked thread, or a new one when none waits); restart_listener is called
// from the user-interface thread (or the program's main thread). The flags below are written by
// those threads without a lock, so they are atomics.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/net.h"

namespace kw {

// Set while restart_listener kills the connections and, for good, when the program shuts down:
// socket failures are then expected and end quietly.
extern std::atomic<int> stop_requested;
// 1 while a listener thread owns the listening socket.
extern std::atomic<int16_t> listener_running;
// 1 when the last listener that got as far as taking the port could not listen on it.
extern std::atomic<int> listener_failed;

// Thread entry of the listener: opens the port on 127.0.0.1 (0 picks a free one), accepts
// browser connections from 127.0.0.1 and starts a connection thread for each. Returns 0 when
// it ends.
int start_listener(int port);
// Runs start_listener(port) on a new detached thread.
void launch_listener(int port);
// Kills every connection and the listener, then starts a new listener on the Port setting.
void restart_listener();
// Adds delta (when not 0) under the connection lock, shows the count, returns it.
int adjust_active_connections(int delta);
// The count of active connections, read under the connection lock without showing it (for
// callers that poll until the connections have ended).
int active_connection_count();
// Holds the connection lock from construction until destruction or release(); re-entrant on
// one thread. It can be moved, so a lock taken in a callback can be handed back to its caller.
class ConnectionLock {
 public:
  ConnectionLock();
  void release() { hold_ = {}; }

 private:
  std::unique_lock<std::recursive_mutex> hold_;
};
// Takes the next connection number (the first is 1).
uint32_t next_connection_number();

// The port the running listener is bound to, 0 while none listens.
uint16_t listening_port();
// How long a starting listener waits before it takes the port (2000 ms unless a test shortens
// it), so that a listener being killed has time to let go of it.
void set_listener_start_pause(int milliseconds);

}  // namespace kw
