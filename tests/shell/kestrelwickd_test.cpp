// kestrelwickd as a program: the configuration it loads at start, SIGHUP reloading it, and how
// it answers for a user when connections are active during that reload (retry for 10 s, then
// kill them). The program runs as a child on a free port; its output goes to files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/program_directory.h"
#include "support/child_record.h"
#include "support/files.h"
#include "support/origin_server.h"
#include "support/raw_client.h"

extern char** environ;

namespace kw {
namespace {

using test::OriginServer;
using test::wait_until;

class Kestrelwickd : public ::testing::Test {
 protected:
  void TearDown() override { stop(); }

  // Ends the program with SIGTERM; it must exit 0.
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    EXPECT_EQ(exit_status(), 0) << errors();
  }

  // Starts the program with -p 0 and the given arguments and waits until it listens.
  void start(std::vector<std::string> args) {
    spawn(std::move(args));
    ASSERT_TRUE(wait_until([&] { return port() != 0; })) << errors();
  }

  // Starts the program with -p 0 and the given arguments.
  void spawn(std::vector<std::string> args) {
    const std::string program = std::string(program_directory()) + "kestrelwickd";
    args.insert(args.begin(), {program, "-p", "0"});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_EQ(posix_spawn(&pid_, program.c_str(), &files, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&files);
  }

  // Waits for the program to end by itself; its exit status, -1 when it did not exit.
  int exit_status() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string output() const { return test::read_file(out_); }
  // The port of the "WListening on port N" log line, 0 before it.
  uint16_t port() const {
    const std::string log = output();
    const size_t at = log.find("WListening on port ");
    return at == std::string::npos ? 0 : static_cast<uint16_t>(std::atoi(log.c_str() + at + 19));
  }
  std::string errors() const { return test::read_file(err_); }
  bool wait_for_error(const std::string& text, int timeout_ms = 10000) const {
    return wait_until([&] { return errors().find(text) != std::string::npos; }, timeout_ms);
  }

  // The request head the origin receives for one exchange through the program.
  std::string request_seen() {
    OriginServer origin("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nok");
    test::exchange(port(), "GET " + origin.url("/") +
                               " HTTP/1.0\r\nAccept-Encoding: gzip\r\nUser-Agent: t/1\r\n\r\n");
    if (!origin.wait_for_requests(1)) return "(nothing)";
    return origin.requests()[0];
  }

  test::ScratchDir dir_;
  const std::string out_ = dir_.file("out.txt");
  const std::string err_ = dir_.file("err.txt");
  const std::string config_ = dir_.file("run.cfg");
  pid_t pid_ = 0;
};

// A configuration that marks every request with a header.
std::string marking(const std::string& mark) {
  return "[Global]\nEnable = TRUE\nFilterHeadersOut = TRUE\n[HTTP headers]\nOut = TRUE\n"
         "Key = X-Mark\nReplace = " +
         mark + "\n";
}

// Without a file on its command line it loads default.cfg; mistakes on the command line end the
// program before it serves, naming what went wrong.
TEST_F(Kestrelwickd, LoadsDefaultCfgWithoutAFileAndExitsWhenItCannotReadItsFileOrListen) {
  uint16_t taken = 0;
  const int holder = test::listen_on_loopback(&taken);
  const std::string locked = dir_.file("locked.cfg");
  test::write_file(locked, marking("one"));
  chmod(locked.c_str(), 0);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const std::string nosuch = dir_.file("nosuch.cfg"), folder = dir_.file("");
  std::vector<Case> cases = {
      {{nosuch}, 2, "cannot read configuration file " + nosuch + ": No such file"},
      {{folder}, 2, "cannot read configuration file " + folder + ": Is a directory"},
      {{"-p", std::to_string(taken)},
       1,
       "Error binding to listener port " + std::to_string(taken) + ": Address already in use"},
  };
  // Root reads every file whatever its mode.
  if (geteuid() != 0) {
    cases.push_back({{locked}, 2, "cannot read configuration file " + locked + ": Permission"});
  }
  for (const Case& c : cases) {
    spawn(c.args);
    EXPECT_EQ(exit_status(), c.status) << c.message;
    EXPECT_NE(errors().find(c.message), std::string::npos) << errors();
  }
  close(holder);

  start({});
  const std::string request = request_seen();
  EXPECT_EQ(request.find("Accept-Encoding"), std::string::npos) << request;
  EXPECT_EQ(request.find("User-Agent: t/1"), std::string::npos) << request;
  EXPECT_NE(request.find("User-Agent: Mozilla/5.0"), std::string::npos) << request;
}

// The log categories a daemon user switches off: what reaches standard output for one filtered
// page. Errors and connection ends are logged whatever the options.
TEST_F(Kestrelwickd, QuietOptionsSwitchOffTheLogCategories) {
  test::write_file(config_,
                   "[Global]\nEnable = TRUE\nFilterHTML = TRUE\n[Patterns]\nName = \"ads\"\n"
                   "Active = TRUE\nBounds = \"<script*</script>\"\nLimit = 4096\n"
                   "Match = \"*ads*\"\nReplace = \"<!-- gone -->\"\n");
  OriginServer origin(
      "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<p><script>ads</script></p>");
  struct Case {
    std::vector<std::string> options;
    bool heads;
    bool hits;
  };
  const Case cases[] = {{{}, true, true},
                        {{"--no-http-headers"}, false, true},
                        {{"--no-html-filters"}, true, false},
                        {{"-q"}, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options.empty() ? "(none)" : c.options[0]);
    std::vector<std::string> args = c.options;
    args.push_back(config_);
    start(args);
    const std::string reply =
        test::exchange(port(), "GET " + origin.url("/") + " HTTP/1.0\r\n\r\n");
    EXPECT_NE(reply.find("<p><!-- gone --></p>"), std::string::npos) << reply;
    ASSERT_TRUE(wait_until([&] { return output().find("W+++CLOSE") != std::string::npos; }));
    EXPECT_EQ(output().find("W+++GET ") != std::string::npos, c.heads) << output();
    EXPECT_EQ(output().find("VMatch ") != std::string::npos, c.hits) << output();
    stop();
  }
}

class HeldConnection {
 public:
  HeldConnection(uint16_t proxy_port, int delay_ms)
      : origin_({{"HTTP/1.0 200 OK\r\n\r\n", 0}, {"rest", delay_ms}}), client_(proxy_port) {
    client_.send("GET " + origin_.url("/held") + " HTTP/1.0\r\n\r\n");
  }
  bool active() {
    return wait_until([&] { return origin_.connections() == 1; });
  }
  std::string reply() { return client_.read_all(30000); }

 private:
  OriginServer origin_;
  test::RawClient client_;
};

// It loads the file named on its command line and prints the hit counts on SIGUSR1 and when it
// stops. A hangup reloads the file once the active connections have ended, retrying for 10 s;
// then it kills them and starts a new listener.
TEST_F(Kestrelwickd, AHangupReloadsOnceConnectionsHaveEndedOrAfterTenSecondsKillsThem) {
  test::write_file(config_, marking("one"));
  start({config_});
  EXPECT_NE(request_seen().find("\r\nX-Mark: one\r\n"), std::string::npos);
  request_seen();
  kill(pid_, SIGUSR1);
  EXPECT_TRUE(wait_until([&] {
    return output().find("\nheader filter 1 \"X-Mark\": 2 hits\n") != std::string::npos;
  }));
  {
    HeldConnection held(port(), 1500);
    ASSERT_TRUE(held.active());
    test::write_file(config_, marking("two"));
    kill(pid_, SIGHUP);
    EXPECT_TRUE(wait_for_error("Active Connections - Can't load configuration: retrying"));
    EXPECT_EQ(held.reply(), "HTTP/1.0 200 OK\r\n\r\nrest");
    ASSERT_TRUE(wait_for_error("--- Config Reloaded ---")) << errors();
    EXPECT_EQ(errors().find("Kill Connections"), std::string::npos) << errors();
  }
  EXPECT_NE(request_seen().find("\r\nX-Mark: two\r\n"), std::string::npos);

  HeldConnection held(port(), 60000);
  ASSERT_TRUE(held.active());
  kill(pid_, SIGHUP);
  EXPECT_TRUE(wait_for_error("still active after 10 s: Kill Connections", 30000)) << errors();
  EXPECT_EQ(held.reply(), "HTTP/1.0 200 OK\r\n\r\n");
  ASSERT_TRUE(wait_until([&] {
    const std::string log = output();
    return log.find("WListening on port ", log.find("WListening on port ") + 1) !=
           std::string::npos;
  }));
  stop();
  EXPECT_NE(output().find("\nheader filter 1 \"X-Mark\": 0 hits\n"), std::string::npos);
}

}  // namespace
}  // namespace kw
