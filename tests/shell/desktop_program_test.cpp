// The desktop program from start to end, inside this test program (the steps kestrelwick's
// main() runs) and as the real kestrelwick. Every test has a runtime directory of its own, so
// the single-instance socket never meets another test or a running program.
#include "shell/desktop_program.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>

#include "base/settings.h"
#include "config/config_commands.h"
#include "engine/listener.h"
#include "platform/net.h"
#include "platform/program_directory.h"
#include "shell/log_window.h"
#include "support/child_record.h"
#include "support/files.h"
#include "support/origin_server.h"
#include "support/raw_client.h"
#include "support/ui_driver.h"

extern char** environ;

namespace kw {
namespace {

class DesktopProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runtime_ = dir_.file("run");
    ASSERT_EQ(::mkdir(runtime_.c_str(), 0700), 0);
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    stop_requested.store(0);
    net_startup();
    forget_last_config_file();
    set_listener_start_pause(50);
    program_ = std::make_unique<DesktopProgram>();
    program_->set_quit([this] { ++quits_; });
  }

  void TearDown() override {
    // A listener still in its start pause would outlive the shutdown and listen in the next
    // test of this process; let it come up first.
    if (program_->window() && stop_requested.load() == 0) {
      EXPECT_TRUE(test::wait_until([] { return listening_port() != 0; }, 20000));
    }
    program_->shut_down();
    // Connection threads report through the frontend until they end.
    EXPECT_TRUE(test::wait_until([] { return listener_running.load() == 0; }, 20000));
    EXPECT_TRUE(test::wait_until([] { return adjust_active_connections(0) == 0; }, 20000));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    program_.reset();
    settings().auto_run.clear();
    unsetenv("XDG_RUNTIME_DIR");
  }

  // A configuration file with the listener on `port` (0: any free one) and what `extra` adds
  // to [Global].
  std::string write_config(const std::string& extra = "", uint16_t port = 0) {
    const std::string path = dir_.file("test.cfg");
    test::write_file(path,
                     "[Global]\r\nEnable = 1\r\nFilterHTML = 1\r\nFilterHeadersOut = 1\r\n"
                     "FilterHeadersIn = 1\r\nFreezeGIF = 1\r\nPort = " +
                         std::to_string(port) + "\r\n" + extra + "\r\n");
    return path;
  }

  // Starts the real kestrelwick with one argument; its process id.
  pid_t spawn_kestrelwick(const std::string& argument) {
    const std::string program = std::string(program_directory()) + "kestrelwick";
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(argument.c_str()),
                    nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) return 0;
    return pid;
  }

  // Processes events until done holds.
  static bool wait_processing(const std::function<bool()>& done, int timeout_ms = 20000) {
    return test::wait_until([&] { return QApplication::processEvents(), done(); }, timeout_ms);
  }

  test::ScratchDir dir_;
  std::string runtime_;
  std::unique_ptr<DesktopProgram> program_;
  int quits_ = 0;
};

// A request shows its lines in the log window; a second copy brings the first forward and ends
// with 0 before it reads any configuration; Exit closes without a question (nothing was
// changed) and ends the event loop.
TEST_F(DesktopProgramTest, ARequestIsLoggedAndASecondCopyBringsTheFirstForward) {
  ASSERT_EQ(program_->start(write_config()), kRunEventLoop);
  ASSERT_NE(program_->window(), nullptr);
  EXPECT_EQ(settings_flags(), kLoadDefaultFlags & ~EnableProxy);
  ASSERT_TRUE(wait_processing([] { return listening_port() != 0; }));
  Dialog& main = program_->window()->dialog();
  EXPECT_FALSE(main.isMinimized());
  test::press(main, kLogWindowButton);
  ASSERT_NE(log_window(), nullptr);

  test::OriginServer origin("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nhello");
  EXPECT_EQ(test::curl_through(listening_port(), origin.url("/page.txt"), 30), "hello");
  // The block layout is the engine's; here the request's block reaches the window. Connections
  // are numbered through the whole process, so an earlier run's connections leave any number.
  EXPECT_TRUE(wait_processing([&] {
    const std::vector<std::string> lines = log_window()->lines();
    return std::ranges::any_of(lines,
                               [](const std::string& l) { return l.starts_with("W+++CLOSE "); }) &&
           std::ranges::find(lines, "GGET /page.txt HTTP/1.1") != lines.end();
  })) << "the connection's lines never reached the log window";

  main.showMinimized();
  ASSERT_TRUE(main.isMinimized());
  // A configuration that can never be read: opening a FIFO without a writer waits forever.
  const std::string fifo = dir_.file("never read.cfg");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const pid_t pid = spawn_kestrelwick(fifo);
  ASSERT_NE(pid, 0);
  int status = -1;
  const bool ended =
      wait_processing([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 30000);
  if (!ended) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  ASSERT_TRUE(ended) << "the second copy did not end";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(wait_processing([&] { return !main.isMinimized(); }));

  EXPECT_TRUE(test::choose_menu(main, kExitCommand));
  EXPECT_EQ(quits_, 1);
  EXPECT_EQ(log_window(), nullptr);
}

TEST_F(DesktopProgramTest, AutoRunStartsItsProgramMinimisesTheWindowAndEndsItAtShutdown) {
  const std::string record = dir_.file("record");
  const std::string child = test::test_child_path();
  ASSERT_EQ(program_->start(write_config("EnableAutoRun = 1\r\nAutoRun = \"\"" + child + "\" \"" +
                                         record + "\"\"\r\n")),
            kRunEventLoop);
  EXPECT_TRUE(program_->window()->dialog().isMinimized());
  ASSERT_TRUE(test::wait_until([&] { return test::read_child_runs(record).size() == 1; }));
  const test::ChildRun run = test::read_child_runs(record)[0];
  EXPECT_TRUE(run.args.empty());

  ASSERT_TRUE(test::wait_until([] { return listening_port() != 0; }));
  program_->shut_down();
  EXPECT_TRUE(test::wait_until(
      [&] { return test::read_child_terminations(record) == std::vector<int>{run.pid}; }));
}

// The program itself, not the test's copy of its steps: it loads the configuration named on
// its command line and serves a browser through the listener on that configuration's port.
TEST_F(DesktopProgramTest, KestrelwickServesARequestOnTheConfiguredPort) {
  const uint16_t port = test::closed_port();
  const pid_t pid = spawn_kestrelwick(write_config("", port));
  ASSERT_NE(pid, 0);
  test::OriginServer origin("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nthrough the proxy");
  std::string body;
  const bool served = test::wait_until(
      [&] { return (body = test::curl_through(port, origin.url("/"), 5)) == "through the proxy"; },
      30000);
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  EXPECT_TRUE(served) << "last answer: " << body;
}

}  // namespace
}  // namespace kw
