// One running copy per user: a local (Unix-domain) socket named after the main window's class,
// in a directory only this user can enter. The first copy to claim the name listens on it; a
// later copy finds it, connects (which is the request "bring your main window forward") and
// ends. Any connection is such a request, nothing is read from it, so a connection can never
// make the owner wait.
//
// The directory is $XDG_RUNTIME_DIR when it is set, else /tmp/kestrelwick-<uid>, made with
// mode 0700; a directory that is not this user's own, or that others may write into, is not
// used. Claiming is serialised with a lock file beside the socket, so two copies started at
// the same moment cannot both decide that they are the first, and a socket left behind by a
// copy that crashed is replaced.
//
// InstanceSocket owns the listening socket and removes its name when destroyed. The owner
// calls it from one thread (the user-interface thread watches fd() for requests).
#pragma once

#include <string>

namespace kw {

// Results of InstanceSocket::claim.
inline constexpr int kInstanceFirst = 1;   // this process owns the name and listens
inline constexpr int kInstanceOther = 0;   // another copy owns it and has been asked forward
inline constexpr int kInstanceError = -1;  // no safe directory, name too long, socket failure

class InstanceSocket {
 public:
  InstanceSocket() = default;
  ~InstanceSocket();
  InstanceSocket(const InstanceSocket&) = delete;
  InstanceSocket& operator=(const InstanceSocket&) = delete;

  // Claims the name ("KestrelCls"): see the results above.
  int claim(const std::string& name);
  // The listening socket while the name is owned (non-blocking), else -1.
  int fd() const { return listener_; }
  // The socket's path; empty until claim has found a directory.
  const std::string& path() const { return path_; }
  // Accepts every waiting connection and closes it. Returns how many there were: each is a
  // request to bring the main window forward.
  int take_requests();

 private:
  int listener_ = -1;
  std::string path_;
};

// The directory the instance sockets live in, made if needed; empty when no safe one exists.
std::string instance_socket_directory();

}  // namespace kw
