// The socket layer's cleanup must fail every blocked call at once and never touch a closed
// descriptor; look-ups must tell "0.0.0.0" from a failure.
#include "platform/net.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace kw {
namespace {

class NetTest : public ::testing::Test {
 protected:
  void SetUp() override { net_startup(); }
  void TearDown() override { net_startup(); }

  Socket listen_on_any_port(uint16_t* port) {
    Socket s = net_socket_tcp();
    EXPECT_NE(s, kNoSocket);
    EXPECT_EQ(net_bind_any(s, 0), 1);
    EXPECT_EQ(net_listen(s, 10), 1);
    *port = net_local_port(s);
    return s;
  }

  static uint32_t loopback() { return htonl(INADDR_LOOPBACK); }
};

TEST_F(NetTest, CleanupWakesBlockedAcceptAndRecv) {
  uint16_t port = 0;
  Socket listener = listen_on_any_port(&port);
  Socket client = net_socket_tcp();
  ASSERT_EQ(net_connect(client, loopback(), port), 1);
  uint32_t peer = 0;
  Socket served = net_accept(listener, &peer);
  ASSERT_NE(served, kNoSocket);
  EXPECT_EQ(peer, loopback());

  std::atomic<int> accept_result{1}, recv_result{1};
  std::thread acceptor([&] { accept_result = net_accept(listener, nullptr); });
  std::thread reader([&] {
    char byte;
    recv_result = net_recv(served, &byte, 1);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  net_cleanup();
  acceptor.join();
  reader.join();
  EXPECT_EQ(accept_result, kNoSocket);
  EXPECT_EQ(recv_result, -1) << "a killed socket must not look like an orderly close";
  EXPECT_EQ(net_socket_tcp(), kNoSocket) << "no sockets between cleanup and startup";

  net_close(served);
  net_close(client);
  net_close(listener);
}

TEST_F(NetTest, OrderlyCloseReadsAsZero) {
  uint16_t port = 0;
  Socket listener = listen_on_any_port(&port);
  Socket client = net_socket_tcp();
  ASSERT_EQ(net_connect(client, loopback(), port), 1);
  Socket served = net_accept(listener, nullptr);
  net_close(client);
  char byte;
  EXPECT_EQ(net_recv(served, &byte, 1), 0);
  net_close(served);
  net_close(listener);
}

TEST_F(NetTest, SendToClosedPeerFailsWithoutSignal) {
  uint16_t port = 0;
  Socket listener = listen_on_any_port(&port);
  Socket client = net_socket_tcp();
  ASSERT_EQ(net_connect(client, loopback(), port), 1);
  Socket served = net_accept(listener, nullptr);
  net_close(served);
  char block[65536] = {};
  int result = 0;
  for (int i = 0; i < 100 && result >= 0; ++i) result = net_send(client, block, sizeof block);
  EXPECT_EQ(result, -1);
  net_close(client);
  net_close(listener);
}

TEST_F(NetTest, LookupTellsZeroAddressFromFailure) {
  uint32_t address = 1;
  EXPECT_EQ(net_lookup_ipv4("0.0.0.0", &address), 1);
  EXPECT_EQ(address, 0u);
  EXPECT_EQ(net_lookup_ipv4("127.0.0.1", &address), 1);
  EXPECT_EQ(address, loopback());
  EXPECT_EQ(net_lookup_ipv4("", &address), 0);
  EXPECT_EQ(net_lookup_ipv4("no-such-host.invalid", &address), 0);
  char text[16];
  net_format_ipv4(loopback(), text);
  EXPECT_STREQ(text, "127.0.0.1");
}

}  // namespace
}  // namespace kw
