// The socket layer's cleanup must fail every blocked call at once and never touch a closed
// descriptor; an orderly close and a send to a closed peer report what happened.
#include "platform/net.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "support/child_record.h"
#include "support/threads.h"

namespace kw {
namespace {

uint32_t loopback() { return htonl(INADDR_LOOPBACK); }

// A listener on a free port, a client connected to it and the accepted end; all closed at the
// end of the test.
class NetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_startup();
    listener_ = net_socket_tcp();
    ASSERT_EQ(net_bind_loopback(listener_, 0), 1);
    ASSERT_EQ(net_listen(listener_, 10), 1);
    client_ = net_socket_tcp();
    ASSERT_EQ(net_connect(client_, loopback(), net_local_port(listener_)), 1);
    served_ = net_accept(listener_, &peer_);
    ASSERT_NE(served_, kNoSocket);
  }
  void TearDown() override {
    net_close(served_);
    net_close(client_);
    net_close(listener_);
    net_startup();
  }

  Socket listener_ = kNoSocket, client_ = kNoSocket, served_ = kNoSocket;
  uint32_t peer_ = 0;
};

TEST_F(NetTest, CleanupWakesBlockedAcceptAndRecv) {
  EXPECT_EQ(peer_, loopback());
  std::atomic<int> accept_result{1}, recv_result{1};
  std::atomic<pid_t> acceptor_id{0}, reader_id{0};
  std::thread acceptor([&] {
    acceptor_id = gettid();
    accept_result = net_accept(listener_, nullptr);
  });
  std::thread reader([&] {
    reader_id = gettid();
    char byte;
    recv_result = net_recv(served_, &byte, 1);
  });
  // Both threads must be inside their calls before the cleanup, or it would prove nothing.
  EXPECT_TRUE(test::wait_until([&] {
    return acceptor_id && reader_id && test::blocked_syscall(acceptor_id) == SYS_accept4 &&
           test::blocked_syscall(reader_id) == SYS_recvfrom;
  }));
  net_cleanup();
  acceptor.join();
  reader.join();
  EXPECT_EQ(accept_result, kNoSocket);
  EXPECT_EQ(recv_result, -1) << "a killed socket must not look like an orderly close";
  EXPECT_EQ(net_socket_tcp(), kNoSocket) << "no sockets between cleanup and startup";
}

TEST_F(NetTest, OrderlyCloseReadsAsZeroAndSendToAClosedPeerFailsWithoutSignal) {
  net_close(client_);
  client_ = kNoSocket;
  char byte;
  EXPECT_EQ(net_recv(served_, &byte, 1), 0);
  char block[65536] = {};
  int result = 0;
  for (int i = 0; i < 100 && result >= 0; ++i) result = net_send(served_, block, sizeof block);
  EXPECT_EQ(result, -1);
}

}  // namespace
}  // namespace kw
