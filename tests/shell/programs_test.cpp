// The command-line programs run as children: what kwmatch and kestrelwickd print on which
// stream and their exit status; kestrelwickd serving on a free port with its log options, its
// hit counts, and SIGHUP reloading the configuration while connections are active (retry for
// 10 s, then kill them). Their output goes to files.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
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

struct Outcome {
  int status;
  std::string out, err;
};

// Runs a program beside the test in the scratch directory, with a shell command line after it.
Outcome run(const test::ScratchDir& dir, const std::string& program, const std::string& args) {
  const std::string out = dir.file("out"), err = dir.file("err");
  const std::string command = "cd '" + dir.path() + "' && '" + program_directory() + program +
                              "' " + args + " >'" + out + "' 2>'" + err + "' </dev/null";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::read_file(out), test::read_file(err)};
}

// Mistakes on kestrelwickd's command line end it before it serves, naming what went wrong.
TEST(ToolOptions, KwmatchAndKestrelwickdCommandLines) {
  test::ScratchDir dir;
  test::write_file(dir.file("page"), "<b>abc</b>");
  test::write_file(dir.file("bad.cfg"), "[Global]\nPort = 70000\n");
  test::write_file(dir.file("locked.cfg"), "[Global]\n");
  chmod(dir.file("locked.cfg").c_str(), 0);
  uint16_t taken = 0;
  const int holder = test::listen_on_loopback(&taken);
  const std::string cannot_read = "cannot read configuration file ";
  struct Row {
    std::string program, args;
    int status;
    std::string out;  // a part of standard output
    std::string err;  // a part of standard error
  };
  std::vector<Row> rows = {
      {"kwmatch", "-h", 0, "usage: kwmatch", ""},
      {"kwmatch", "--help", 0, "-h, --help", ""},
      {"kwmatch", "b page", 0, "page:1:1: b\n", ""},
      {"kwmatch", "--limit 4 --bounds '<b>' '<*>' page", 0, "page:0:3: <b>\n", ""},
      {"kwmatch", "'<b>\\1<' page", 0, "page:0:7: <b>abc<\n    \\1=abc\n", ""},
      {"kwmatch", "--limit 40000 b page", 2, "",
       "kwmatch: --limit takes a number from 1 to 32767, not \"40000\"\n"},
      {"kwmatch", "--limit abc b page", 2, "", "--limit takes a number from 1 to 32767, not"},
      {"kwmatch", "--limit 0 b page", 2, "", "--limit takes a number from 1 to 32767, not \"0\""},
      {"kwmatch", "--limit", 2, "", "kwmatch: --limit needs a value\nusage: kwmatch"},
      {"kwmatch", "--frob b page", 2, "", "kwmatch: unknown option --frob\nusage: kwmatch"},
      {"kwmatch", "'(b' page", 2, "", "the expression does not compile"},
      {"kwmatch", "b nosuch", 2, "", "nosuch: No such file or directory\n"},
      {"kwmatch", "b .", 2, "", ".: Is a directory\n"},
      {"kwmatch", "xyz page", 1, "", ""},
      // --check loads nothing and answers in its status.
      {"kestrelwickd", "--check '" + std::string(program_directory()) + "default.cfg'", 0,
       "default.cfg: no findings\n", ""},
      {"kestrelwickd", "--check bad.cfg", 1,
       "bad.cfg:2: Port: 70000 is out of range (0 to 65535)\n", ""},
      {"kestrelwickd", "--check nosuch.cfg", 2, "", ""},
      {"kestrelwickd", "-p 0 nosuch.cfg", 2, "", cannot_read + "nosuch.cfg: No such file"},
      {"kestrelwickd", "-p 0 .", 2, "", cannot_read + ".: Is a directory"},
      {"kestrelwickd", "-p " + std::to_string(taken), 1, "",
       "Error binding to listener port " + std::to_string(taken) + ": Address already in use"},
  };
  // Root reads every file whatever its mode.
  if (geteuid() != 0)
    rows.push_back({"kestrelwickd", "-p 0 locked.cfg", 2, "", cannot_read + "locked.cfg: Perm"});
  for (const Row& r : rows) {
    const Outcome result = run(dir, r.program, r.args);
    EXPECT_EQ(result.status, r.status) << r.args << "\n" << result.err;
    EXPECT_NE(result.out.find(r.out), std::string::npos) << r.args << "\n" << result.out;
    EXPECT_NE(result.err.find(r.err), std::string::npos) << r.args << "\n" << result.err;
  }
  close(holder);
}

class Kestrelwickd : public ::testing::Test {
 protected:
  void TearDown() override { stop(); }

  // Ends the program with SIGTERM; it must exit 0.
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << errors();
  }

  // Starts the program with -p 0 and a shell command line after it, and waits until it
  // listens. The shell execs the program, so pid_ is the program's.
  void start(const std::string& args) {
    const std::string command = "exec '" + std::string(program_directory()) +
                                "kestrelwickd' -p 0 " + args + " >'" + out_ + "' 2>'" + err_ +
                                "' </dev/null";
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    test::write_file(out_, "");  // no port of an earlier run is read before the shell truncates
    ASSERT_EQ(posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ),
              0);
    ASSERT_TRUE(wait_until([&] { return port() != 0; })) << errors();
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
         "Key = X-Mark\nReplace = " + mark + "\n";
}

// Without a file on its command line it loads default.cfg. The log categories a daemon user
// switches off: what reaches standard output for one filtered page. Errors and connection ends
// are logged whatever the options.
TEST_F(Kestrelwickd, LoadsDefaultCfgWithoutAFileAndQuietOptionsSwitchOffTheLogCategories) {
  start("");
  const std::string request = request_seen();
  EXPECT_EQ(request.find("Accept-Encoding"), std::string::npos) << request;
  EXPECT_EQ(request.find("User-Agent: t/1"), std::string::npos) << request;
  EXPECT_NE(request.find("User-Agent: Mozilla/5.0"), std::string::npos) << request;
  stop();

  test::write_file(config_,
                   "[Global]\nEnable = TRUE\nFilterHTML = TRUE\n[Patterns]\nName = \"ads\"\n"
                   "Active = TRUE\nBounds = \"<script*</script>\"\nLimit = 4096\n"
                   "Match = \"*ads*\"\nReplace = \"<!-- gone -->\"\n");
  OriginServer origin(
      "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<p><script>ads</script></p>");
  const struct {
    const char* options;
    bool heads, hits;
  } cases[] = {{"", true, true},
               {"--no-http-headers", false, true},
               {"--no-html-filters", true, false},
               {"-q", false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    start(std::string(c.options) + " '" + config_ + "'");
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
  start("'" + config_ + "'");
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
