// The per-user instance socket: claiming the name, and taking the requests of later copies.
#include "platform/instance_socket.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace kw {
namespace {

// A directory this user owns and nobody else may write into; `private_only` also refuses
// group and other access of any kind (the fallback under /tmp must be 0700).
bool safe_directory(const std::string& path, bool private_only) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (st.st_uid != ::geteuid()) return false;
  const mode_t forbidden = private_only ? 077 : 022;
  return (st.st_mode & forbidden) == 0;
}

bool make_address(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof address->sun_path) return false;
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Holds an exclusive lock on the lock file while a claim runs.
class ClaimLock {
 public:
  explicit ClaimLock(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~ClaimLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  ClaimLock(const ClaimLock&) = delete;
  ClaimLock& operator=(const ClaimLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_;
};

// 1 when a copy listens at the address (the connection is the request), 0 when none does.
int ask_owner(const sockaddr_un& address) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  int result;
  do {
    result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (result != 0 && errno == EINTR);
  ::close(fd);
  return result == 0 ? 1 : 0;
}

}  // namespace

std::string instance_socket_directory() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
    if (safe_directory(runtime, false)) return runtime;
  }
  const std::string fallback = "/tmp/kestrelwick-" + std::to_string(::geteuid());
  if (::mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) return {};
  return safe_directory(fallback, true) ? fallback : std::string();
}

InstanceSocket::~InstanceSocket() {
  if (listener_ < 0) return;
  ::close(listener_);
  ::unlink(path_.c_str());
}

int InstanceSocket::claim(const std::string& name) {
  if (listener_ >= 0) return kInstanceFirst;
  const std::string directory = instance_socket_directory();
  if (directory.empty()) return kInstanceError;
  path_ = directory + "/" + name;
  sockaddr_un address;
  if (!make_address(path_, &address)) return kInstanceError;

  ClaimLock lock(path_ + ".lock");
  if (!lock.held()) return kInstanceError;
  if (ask_owner(address)) return kInstanceOther;

  // Nobody listens: whatever lies at the path is left over from a copy that ended abruptly.
  ::unlink(path_.c_str());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return kInstanceError;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 8) != 0) {
    ::close(fd);
    return kInstanceError;
  }
  listener_ = fd;
  return kInstanceFirst;
}

int InstanceSocket::take_requests() {
  if (listener_ < 0) return 0;
  int requests = 0;
  for (;;) {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return requests;  // EAGAIN: none left
    }
    ::close(fd);
    ++requests;
  }
}

}  // namespace kw
