// The remote proxy tester's client side, its test server and its controlling thread; see
// proxy_tester.h.
#include "proxies/proxy_tester.h"

#include <cstdio>
#include <cstring>
#include <latch>
#include <string_view>

#include "platform/net.h"
#include "platform/net_abortable.h"

namespace kw {

std::atomic<int> proxy_test_state{TEST_IDLE};

namespace {

constexpr char kTestReply[] =
    "HTTP/1.0 200 Proxy test OK\r\n\r\n"
    "<HEAD><TITLE>The Kestrelwick</TITLE></HEAD>\r\n"
    "<BODY><H2>Remote proxy test reply</H2></BODY>\r\n";
constexpr int kReplyBuffer = 1023;
constexpr size_t kRequestLineLimit = 1020;

bool still_running() { return proxy_test_state.load() == TEST_RUNNING; }

// What one test shares between its threads.
struct ProxyTestRecord {
  explicit ProxyTestRecord(ProxyTestView& v) : view(v) {}
  ProxyTestView& view;
  Socket client = kNoSocket;
  std::thread server;
  std::latch server_ready{1};  // counted down once the server listens or has given up
};

// Logs a line and shows its text (without the category letter) in the status line.
void report(ProxyTestRecord& r, const char* line, Rgb colour) {
  add_log_line(line);
  r.view.set_proxy_status(line + 1, colour);
}

void report_if_running(ProxyTestRecord& r, const char* line) {
  if (still_running()) report(r, line, kOrange);
}

// Reads the lines of a request header from the accepted connection, giving up when the test
// stops; a line longer than the limit comes back in pieces.
class LineReader {
 public:
  explicit LineReader(Socket s) : s_(s) {}

  // False at the end of the connection or when the test stopped.
  bool next(std::string& line) {
    for (;;) {
      const size_t end = buffer_.find('\n');
      if (end != std::string::npos || buffer_.size() >= kRequestLineLimit) {
        const size_t take = end != std::string::npos ? std::min(end + 1, kRequestLineLimit)
                                                     : kRequestLineLimit;
        line = buffer_.substr(0, take);
        buffer_.erase(0, take);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        return true;
      }
      if (!net_wait_ready(s_, false, still_running)) return false;
      char chunk[512];
      const int n = net_recv(s_, chunk, sizeof chunk);
      if (n <= 0) return false;
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

 private:
  Socket s_;
  std::string buffer_;
};

void serve_one_request(ProxyTestRecord& r, Socket connection, uint32_t peer) {
  char dotted[16];
  net_format_ipv4(peer, dotted);
  char name[256];
  if (net_reverse_lookup(peer, name, sizeof name)) {
    add_log_linef("CProxy DNS lookup= %s", name);
  } else {
    std::strcpy(name, dotted);
  }
  r.view.set_proxy_status(name, kYellow);
  add_log_linef("CProxy IP = %s", dotted);

  LineReader reader(connection);
  std::string line;
  int lines = 0;
  while (still_running() && reader.next(line) && !line.empty()) {
    add_log_linef("W  >%s", line.c_str());
    ++lines;
  }
  if (still_running() && lines > 0) net_send_all(connection, kTestReply, sizeof kTestReply - 1);
}

void run_test_server(ProxyTestRecord& r) {
  Socket listener = net_socket_tcp();
  if (listener == kNoSocket) {
    r.server_ready.count_down();
    show_application_error("Can't open HTTP test server's socket");
    return;
  }
  report(r, "CStarting HTTP test server", kYellow);
  net_set_reuseaddr(listener);
  if (!net_bind_any(listener, kProxyTestPort) || !net_listen(listener, 10)) {
    net_close(listener);
    add_log_line("RError binding to port 7734");
    r.server_ready.count_down();
    return;
  }
  r.server_ready.count_down();
  Socket connection = kNoSocket;
  uint32_t peer = 0;
  if (net_wait_ready(listener, false, still_running)) connection = net_accept(listener, &peer);
  if (still_running() && connection != kNoSocket) serve_one_request(r, connection, peer);
  net_close(connection);
  net_close(listener);
}

// The status line of a reply: its first line, cut at the first control or non-ASCII character.
std::string first_line(std::string_view reply) {
  size_t n = 0;
  while (n < reply.size() && static_cast<unsigned char>(reply[n]) >= 32 &&
         static_cast<unsigned char>(reply[n]) <= 127)
    ++n;
  return std::string(reply.substr(0, n));
}

// Receives until the reply's first line is complete, the buffer is full or the proxy closed;
// the proxy may send its status line in more than one piece.
int receive_reply(Socket s, char* buffer, int size) {
  int got = 0;
  while (got < size && std::memchr(buffer, '\n', static_cast<size_t>(got)) == nullptr) {
    if (!net_wait_ready(s, false, still_running)) return got > 0 ? got : -1;
    const int n = net_recv(s, buffer + got, size - got);
    if (n <= 0) break;
    got += n;
  }
  return got;
}

void run_client_steps(ProxyTestRecord& r, const std::string& host, int32_t port) {
  char testing[300];
  std::snprintf(testing, sizeof testing, "CTesting %s:%d", host.c_str(), static_cast<int>(port));
  r.view.set_proxy_status(testing + 1, kGreen);
  add_log_line("W");
  add_log_line(testing);

  uint32_t address = 0;
  if (!net_lookup_ipv4(host.c_str(), &address)) {
    report(r, "RLookup of proxy's hostname failed", kOrange);
    return;
  }
  r.client = net_socket_tcp();
  if (r.client == kNoSocket) {
    report(r, "RFailed to open socket to proxy", kOrange);
    return;
  }
  add_log_line("CConnecting to remote proxy");
  if (!net_connect_abortable(r.client, address, static_cast<uint16_t>(port), still_running)) {
    report_if_running(r, "RFailed to connect to proxy");
    return;
  }

  r.server = std::thread(run_test_server, std::ref(r));
  r.server_ready.wait();

  uint32_t local = 0;
  if (!net_local_address(r.client, &local)) {
    report_if_running(r, "RCan't find this machine's address");
    return;
  }
  char dotted[16];
  net_format_ipv4(local, dotted);
  char request[128];
  const int length = std::snprintf(request, sizeof request,
                                   "GET http://%s:7734/ HTTP/1.0\r\nPragma: no-cache\r\n\r\n", dotted);
  add_log_line("CSending test request");
  if (!net_send_all(r.client, request, static_cast<size_t>(length))) {
    report_if_running(r, "RSend of test data failed");
    return;
  }

  add_log_line("CWaiting for remote proxy's reply");
  char reply[kReplyBuffer];
  const int got = receive_reply(r.client, reply, sizeof reply);
  // Too short to hold a status code is no reply either.
  if (got < 12) {
    report_if_running(r, "RNo reply from remote proxy");
    return;
  }
  if (std::string_view(reply + 9, 3) == "200") return;
  if (!still_running()) return;
  const std::string status = first_line(std::string_view(reply, static_cast<size_t>(got)));
  add_log_linef("W%s", status.c_str());
  add_log_line("CProxy test Failed!");
  r.view.set_proxy_status(status.size() > 9 ? status.c_str() + 9 : "", kOrange);
}

}  // namespace

void run_proxy_test(ProxyTestView& view, const std::string& host, int32_t port) {
  {
    ProxyTestRecord record(view);
    run_client_steps(record, host, port);
    net_close(record.client);
    if (record.server.joinable()) {
      int running = TEST_RUNNING;
      proxy_test_state.compare_exchange_strong(running, TEST_STOPPING);
      record.server.join();
    }
  }
  if (proxy_test_state.load() == TEST_ABORTED) {
    add_log_line("R*** Proxy Test Aborted ***");
    view.set_proxy_status("*** Test Aborted ***", kOrange);
  } else {
    add_log_line("CEnding proxy test");
  }
  view.test_ended();
  proxy_test_state.store(TEST_IDLE);
}

ProxyTester::~ProxyTester() {
  if (thread_.joinable()) {
    abort();
    thread_.join();
  }
}

bool ProxyTester::start(ProxyTestView& view, ProxyEntry& entry) {
  int idle = TEST_IDLE;
  if (!proxy_test_state.compare_exchange_strong(idle, TEST_RUNNING)) return false;
  // The previous test's thread has finished its work once the state is idle.
  if (thread_.joinable()) thread_.join();
  thread_ = std::thread(run_proxy_test, std::ref(view), std::string(proxy_host(&entry)),
                        proxy_port(&entry));
  return true;
}

void ProxyTester::abort() {
  int running = TEST_RUNNING;
  if (!proxy_test_state.compare_exchange_strong(running, TEST_ABORTED)) {
    int stopping = TEST_STOPPING;
    proxy_test_state.compare_exchange_strong(stopping, TEST_ABORTED);
  }
}

void ProxyTester::wait() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace kw
