// The message dialogs' results by button, long texts growing the box, and the desktop frontend
// showing them on the user-interface thread for callers on any thread.
#include "dialogs/message_dialogs.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QTest>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "report/frontend.h"
#include "shell/desktop_frontend.h"
#include "support/child_record.h"
#include "support/threads.h"
#include "support/ui_driver.h"
#include "ui/dialog.h"

namespace kw {
namespace {

// A message dialog's opener and the title of what it opens; the handler it is given records
// the answers it is called with. (The callers' tests answer "Filters In Use!" and "Save
// Configuration Changes" too.)
struct Opener {
  const char* title;
  int (*open)(ButtonHandler handler);
};
const Opener kAboutBox{"About the Kestrelwick", [](ButtonHandler) { return show_about(nullptr); }};
const Opener kPlainMessage{
    "caption", [](ButtonHandler) { return show_message(nullptr, "text", "caption", 135); }};
const Opener kActiveQuestion{
    "Active Connections - Can't load configuration",
    [](ButtonHandler handler) { return ask_active_connections(nullptr, handler); }};
const Opener kSaveQuestion{"Save Configuration Changes",
                           [](ButtonHandler) { return ask_save_changes(nullptr); }};

// kCloseBox: Escape first, which must end none of them, then the close box.
constexpr int kCloseBox = -1;

TEST(MessageDialogTest, EachButtonEndsWithItsResult) {
  struct Row {
    const Opener& opener;
    int button, handler_result, result;
  } rows[] = {
      {kAboutBox, kMessageOk, 0, 1},
      {kPlainMessage, kMessageOk, 0, 1},
      {kActiveQuestion, kMessageOk, 5, kGoBack},
      {kActiveQuestion, kKillButton, 2, 2},
      {kActiveQuestion, kRetryButton, -4, -4},
      {kSaveQuestion, kIdOk, 0, kSaveChanges},  // Enter: the first button's command
      {kSaveQuestion, kForgetButton, 0, kForgetChanges},
      {kAboutBox, kCloseBox, 0, kClosedWithoutChoice},
      {kActiveQuestion, kCloseBox, 2, kClosedWithoutChoice},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.opener.title) + ", button " + std::to_string(row.button));
    std::vector<int> handled;
    std::string title;
    bool open_after_escape = true;
    test::when_shown([&](Dialog& d) {
      title = d.title();
      if (row.button == kCloseBox) {
        test::send_escape(d);
        open_after_escape = d.is_running();
        test::close_box(d);
      } else {
        row.button == kIdOk ? d.enter() : test::press(d, row.button);
      }
    });
    const ButtonHandler handler = [&](int control) {
      handled.push_back(control);
      return row.handler_result;
    };
    EXPECT_EQ(row.opener.open(handler), row.result);
    EXPECT_EQ(title, row.opener.title);
    EXPECT_TRUE(open_after_escape);
    // Only Retry and Kill Connections ask the handler, in the report's answer codes.
    const int answer = row.button == kRetryButton  ? kAnswerRetry
                       : row.button == kKillButton ? kAnswerKillConnections
                                                   : 0;
    EXPECT_EQ(handled, answer != 0 ? std::vector<int>{answer} : std::vector<int>{});
  }
}

TEST(MessageDialogTest, RetryWithoutAHandlerStaysAndLongTextsGrowTheBox) {
  test::when_shown([](Dialog& d) {
    test::press(d, kRetryButton);
    EXPECT_TRUE(d.is_running());
    test::press(d, kMessageOk);
  });
  EXPECT_EQ(ask_active_connections(nullptr, ButtonHandler()), kGoBack);

  const std::string text = "Failed to load texture bitmap:\n/" + std::string(300, 'x');
  test::when_shown([](Dialog& d) {
    const QRect message = d.control_rect(kMessageText), button = d.control_rect(kMessageOk);
    EXPECT_GT(message.height(), DialogUnits(96).y(26));
    EXPECT_GE(button.top(), message.bottom());
    EXPECT_GE(d.client_size().height(), button.bottom());
    d.end(0);
  });
  show_application_error_box(nullptr, text.c_str());
}

// The desktop frontend installed for the test.
class DesktopFrontendTest : public ::testing::Test {
 protected:
  DesktopFrontendTest() { install_frontend(&frontend_); }
  ~DesktopFrontendTest() override { install_frontend(nullptr); }
  DesktopFrontend frontend_;
};

// The questions go through the frontend; an error box asked for by a worker thread is shown on
// this thread and the worker waits until the user has closed it.
TEST_F(DesktopFrontendTest, QuestionsAndErrorBoxesFromAnyThreadWaitForTheUser) {
  test::when_shown([](Dialog& d) { test::press(d, kRetryButton); });
  EXPECT_EQ(kw::ask_active_connections([](int answer) { return answer == kAnswerRetry ? 2 : 0; }),
            2);

  std::atomic<bool> returned{false};
  std::atomic<pid_t> worker_id{0};
  test::when_shown([&](Dialog& d) {
    EXPECT_EQ(d.title(), "Kestrelwick Application Error");
    EXPECT_EQ(d.text(kMessageText), "Can't open listener socket");
    EXPECT_TRUE(test::wait_until([&] { return test::blocked_syscall(worker_id) == SYS_futex; }));
    EXPECT_FALSE(returned.load());
    test::press(d, kMessageOk);
  });
  std::thread worker([&] {
    worker_id = gettid();
    kw::show_application_error("Can't open listener socket");
    returned = true;
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return returned.load(); }, 20000));
  worker.join();
}

}  // namespace
}  // namespace kw
