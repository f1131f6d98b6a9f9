// The single-instance socket: the first claim listens, a later one is told another copy runs
// and has asked it forward, a socket left by a crashed copy is taken over, and a directory
// that others may write into is never used. Each test points XDG_RUNTIME_DIR at a fresh
// directory of its own, so tests and a real running program never meet.
#include "platform/instance_socket.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>

#include "support/child_record.h"

namespace kw {
namespace {

class InstanceSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = getenv("XDG_RUNTIME_DIR")) old_runtime_ = old;
    ASSERT_EQ(::mkdir(runtime_.c_str(), 0700), 0);
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
  }
  void TearDown() override {
    if (old_runtime_) {
      setenv("XDG_RUNTIME_DIR", old_runtime_->c_str(), 1);
    } else {
      unsetenv("XDG_RUNTIME_DIR");
    }
  }

  test::ScratchDir dir_;
  std::string runtime_ = dir_.file("run");
  std::optional<std::string> old_runtime_;
};

// The name starts out held by a bound socket whose process went away without removing it.
TEST_F(InstanceSocketTest, FirstClaimListensTakingOverACrashedCopysSocketASecondAsksItForward) {
  const std::string path = runtime_ + "/KestrelCls";
  const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path.c_str());
  ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(stale);
  {
    InstanceSocket first;
    ASSERT_EQ(first.claim("KestrelCls"), kInstanceFirst);
    EXPECT_EQ(first.path(), path);
    EXPECT_GE(first.fd(), 0);
    EXPECT_EQ(first.take_requests(), 0);

    InstanceSocket second;
    EXPECT_EQ(second.claim("KestrelCls"), kInstanceOther);
    EXPECT_EQ(second.fd(), -1);
    EXPECT_TRUE(test::wait_until([&] { return first.take_requests() == 1; }));

    InstanceSocket other_class;  // another name is another program
    EXPECT_EQ(other_class.claim("OtherCls"), kInstanceFirst);
  }
  EXPECT_NE(::access(path.c_str(), F_OK), 0) << "the name is freed at the end";
}

TEST_F(InstanceSocketTest, ADirectoryOthersMayWriteIsNotUsed) {
  ASSERT_EQ(::chmod(runtime_.c_str(), 0777), 0);
  const std::string directory = instance_socket_directory();
  EXPECT_NE(directory, runtime_);
  if (!directory.empty()) {
    struct stat st {};
    ASSERT_EQ(::lstat(directory.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);
    EXPECT_EQ(st.st_uid, ::geteuid());
  }
}

}  // namespace
}  // namespace kw
