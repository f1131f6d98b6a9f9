// The log window driven as its user drives it: the 500-line limit, finding, pause, reset,
// copying, the categories, colours, the remembered size, and many threads logging whole blocks
// at once while the window stays responsive.
#include "shell/log_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "engine/listener.h"
#include "shell/desktop_frontend.h"
#include "shell/log_find_bar.h"
#include "shell/log_queue.h"
#include "support/child_record.h"
#include "ui/controls.h"
#include "ui/list_box.h"
#include "ui/menu_bar.h"
#include "ui/status_bar.h"

namespace kw {
namespace {

using Lines = std::vector<std::string>;

class LogWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install_frontend(&frontend_);
    main_window_record().log_window_rect = LogWindowRect{};
    ASSERT_EQ(open_log_window(), 1);
    window_ = log_window();
    ASSERT_NE(window_, nullptr);
    settle();
  }

  void TearDown() override {
    close_log_window();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    install_frontend(nullptr);
  }

  // Shows at once whatever the queue still holds.
  void settle() {
    QApplication::processEvents();
    window_->drain();
  }

  // Logs the lines and shows them.
  void log(std::initializer_list<const char*> lines) {
    for (const char* line : lines) add_log_line(line);
    settle();
  }

  // Whether some pixel of the row, as the list paints it, has the colour.
  bool painted_in(int row, const QColor& colour) {
    const QImage image = window_->list()->viewport()->grab().toImage();
    const QRect r = window_->list()->item_rect(row);
    for (int x = r.left(); x < r.left() + 60; ++x)
      for (int y = r.top(); y <= r.bottom(); ++y)
        if (image.pixelColor(x, y) == colour) return true;
    return false;
  }

  // A right click on a row of the list; chooses the item `choice` from the menu it opens and
  // returns the texts of the menu's first two items.
  QStringList right_click(int row, const QString& choice) {
    QStringList items;
    QTimer::singleShot(0, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (menu == nullptr) return;
      for (QAction* a : menu->actions()) {
        if (!a->isSeparator()) items.push_back(a->text());
        if (a->text() == choice) menu->setActiveAction(a);
      }
      QTest::keyClick(menu, Qt::Key_Return);
    });
    ListBox* list = window_->list();
    const QPoint global = list->viewport()->mapToGlobal(list->item_rect(row).center());
    QContextMenuEvent event(QContextMenuEvent::Mouse, window_->mapFromGlobal(global), global);
    QApplication::sendEvent(window_, &event);
    return items.mid(0, 2);
  }

  DesktopFrontend frontend_;
  LogWindow* window_ = nullptr;
};

TEST_F(LogWindowTest, OpensWithItsNoticeAndTheCategoriesFollowTheirMenuItems) {
  EXPECT_EQ(window_->lines(), Lines{"WNew Message Log Window...."});
  MenuBar* menu = window_->menu_bar();
  EXPECT_TRUE(menu->is_item_checked(kLogHtmlFiltersCommand));
  EXPECT_TRUE(menu->is_item_checked(kLogHttpHeadersCommand));
  // The user sizes it in whole 13-pixel lines, never below three.
  EXPECT_EQ(window_->sizeIncrement().height(), 13);
  EXPECT_EQ(window_->minimumHeight(), window_->baseSize().height() + 3 * 13);
  // A second open brings the same window forward.
  EXPECT_EQ(open_log_window(), 1);
  EXPECT_EQ(log_window(), window_);

  // The categories follow their menu items; lines of no category are written either way.
  EXPECT_EQ(log_category_on(kLogHttpHeaders), 1);
  window_->run_command(kLogHttpHeadersCommand);
  EXPECT_EQ(log_category_on(kLogHttpHeaders), 0);
  EXPECT_EQ(log_category_on(kLogHtmlFilters), 1);
  EXPECT_FALSE(menu->is_item_checked(kLogHttpHeadersCommand));
  window_->run_command(kLogHtmlFiltersCommand);
  EXPECT_EQ(log_category_on(kLogHtmlFilters), 0);
  EXPECT_EQ(add_log_line("W+++CLOSE 3+++"), 1);
  window_->run_command(kLogHttpHeadersCommand);
  EXPECT_EQ(log_category_on(kLogHttpHeaders), 1);
}

// Six hundred lines leave lines 101 to 600, the newest in view.
TEST_F(LogWindowTest, FindSearchesOnlyTheKeptLinesAndF3WrapsBothWays) {
  window_->run_command(kLogResetCommand);
  // Lines 50, 150, ... 550 hold the text; 50 is pushed out, the rest are rows 49 to 449.
  for (int i = 2; i <= 600; ++i)
    add_log_line(("W" + std::to_string(i) + (i % 100 == 50 ? " Needle" : "")).c_str());
  settle();
  const Lines lines = window_->lines();
  ASSERT_EQ(lines.size(), 500u);
  EXPECT_EQ(lines.front(), "W101");
  ListBox* list = window_->list();
  EXPECT_TRUE(list->viewport()->rect().intersects(list->item_rect(499)));
  list->set_caret_index(0);
  QTest::keyClick(list, Qt::Key_F, Qt::ControlModifier);
  settle();
  ASSERT_TRUE(window_->find_bar()->isVisible());
  EditControl* edit = window_->find_bar()->edit();
  EXPECT_TRUE(edit->hasFocus());
  QTest::keyClicks(edit, "nEEDLE");
  EXPECT_EQ(window_->match_rows(), (std::vector<int>{49, 149, 249, 349, 449}));
  EXPECT_EQ(list->selected_indices(), std::vector<int>{49});
  EXPECT_EQ(window_->find_bar()->result(), "1 of 5");

  const auto press = [&](QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(target, key, modifiers);
    settle();
    return list->selected_indices();
  };
  EXPECT_EQ(press(edit, Qt::Key_F3, Qt::ShiftModifier), std::vector<int>{449});
  EXPECT_EQ(window_->find_bar()->result(), "5 of 5");
  EXPECT_TRUE(list->viewport()->rect().intersects(list->item_rect(449)));
  EXPECT_EQ(press(list, Qt::Key_F3, Qt::NoModifier), std::vector<int>{49});
  EXPECT_EQ(press(edit, Qt::Key_Return, Qt::NoModifier), std::vector<int>{149});

  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_FALSE(window_->find_bar()->isVisible());
  EXPECT_TRUE(window_->match_rows().empty());
}

TEST_F(LogWindowTest, PauseDropsLinesUntilResumedAndResetLeavesItsOwnLine) {
  window_->run_command(kLogPauseCommand);
  EXPECT_EQ(window_->status_bar()->text(0), "Paused...");
  EXPECT_TRUE(window_->menu_bar()->is_item_checked(kLogPauseCommand));
  EXPECT_EQ(add_log_line("Wwhile paused"), 0);
  window_->run_command(kLogPauseCommand);
  EXPECT_EQ(window_->status_bar()->text(0), "Capture");
  EXPECT_EQ(add_log_line("Wafter"), 1);
  settle();
  EXPECT_EQ(window_->lines(), (Lines{"WNew Message Log Window....", "Wafter"}));

  for (int i = 0; i < 20; ++i) add_log_line("Gline");
  // Lines still waiting in the queue go as well.
  window_->run_command(kLogResetCommand);
  log({"Ynext"});
  EXPECT_EQ(window_->lines(), (Lines{"W*** Log Reset ***", "Ynext"}));
}

// One connection's filter hits are shown alone from the right-click menu. Each line is drawn in
// the colour of its first character and copied without it.
TEST_F(LogWindowTest, OneConnectionShownAloneLinesColouredAndCopied) {
  window_->run_command(kLogResetCommand);
  log({"W+++GET 1+++", "GGET http://a/ HTTP/1.0", "VMatch 1: Banner", "W+++GET 2+++",
       "VMatch 2: Banner", "V<end> 1: Footer"});
  EXPECT_EQ(right_click(4, "Show only connection 2"),
            (QStringList{"Show only connection 2", "Find...\tCtrl+F"}));
  EXPECT_EQ(window_->shown_connection(), 2);
  EXPECT_EQ(window_->shown_lines(), Lines{"VMatch 2: Banner"});

  // Lines that come while the view is on follow it; the others are kept all the same.
  log({"VMatch 1: late", "VMatch 2: late"});
  EXPECT_EQ(window_->shown_lines(), (Lines{"VMatch 2: Banner", "VMatch 2: late"}));
  EXPECT_EQ(window_->line_count(), 9);

  EXPECT_EQ(right_click(4, "Show all lines"), (QStringList{"Show all lines", "Find...\tCtrl+F"}));
  EXPECT_EQ(window_->shown_connection(), -1);
  EXPECT_EQ(window_->shown_lines(), window_->lines());

  window_->run_command(kLogResetCommand);
  const std::string coloured = "RCGYVX";
  for (char c : coloured) add_log_line(std::string(8, c).c_str());
  settle();
  window_->list()->clearSelection();
  window_->list()->setCurrentRow(-1);
  for (int row = 1; row <= 6; ++row)
    EXPECT_TRUE(painted_in(row, QColor::fromRgb(log_line_colour(coloured[row - 1])))) << row;
  EXPECT_EQ(log_line_colour('X'), kWhite);

  window_->run_command(kLogResetCommand);
  log({"GGET http://a/ HTTP/1.0", "GHost: a", "YHTTP/1.0 200 OK", "W"});
  ListBox* list = window_->list();
  for (int row : {1, 2, 3}) list->set_selected(row, true);
  window_->run_command(kLogCopyCommand);
  EXPECT_EQ(QApplication::clipboard()->text(),
            "GET http://a/ HTTP/1.0\r\nHost: a\r\nHTTP/1.0 200 OK\r\n");
  // Ctrl+C on the list copies the same way; Ctrl+A selects everything.
  QApplication::clipboard()->clear();
  QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
  settle();
  EXPECT_EQ(QApplication::clipboard()->text(),
            "*** Log Reset ***\r\nGET http://a/ HTTP/1.0\r\nHost: a\r\nHTTP/1.0 200 OK\r\n\r\n");
}

// Opened again while connections are active, it shows their count at once.
TEST_F(LogWindowTest, ClosingDropsLinesAndTheNextWindowKeepsOnlyTheSize) {
  window_->resize(520, 300);
  add_log_line("Wold");
  window_->run_command(kLogStopCommand);
  EXPECT_EQ(log_window(), nullptr);
  EXPECT_EQ(add_log_line("Wdropped"), 0);
  EXPECT_EQ(log_category_on(kLogHttpHeaders), 0);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  adjust_active_connections(2);
  ASSERT_EQ(open_log_window(), 1);
  window_ = log_window();
  settle();
  EXPECT_EQ(window_->status_bar()->text(1), "Active connections: 02");
  adjust_active_connections(-2);
  EXPECT_EQ(window_->size(), QSize(520, 300));
  EXPECT_EQ(window_->lines(), Lines{"WNew Message Log Window...."});
}

// Connection threads write request blocks under log_lock as fast as they can. The window
// must keep answering (a timer on its thread keeps firing), every block it shows must be whole,
// and nobody may deadlock.
TEST_F(LogWindowTest, AFloodOfBlocksFromManyThreadsStaysWholeAndResponsive) {
  constexpr int kThreads = 8, kBlocks = 400, kBlockLines = 8;
  std::atomic<int> finished{0};
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([t, &finished] {
      for (int b = 0; b < kBlocks; ++b) {
        LogLock lock;
        for (int l = 0; l < kBlockLines; ++l) add_log_linef("G%d:%d:%d", t, b, l);
      }
      ++finished;
    });
  }
  QElapsedTimer clock;
  clock.start();
  qint64 last_tick = 0, longest_gap = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    longest_gap = std::max(longest_gap, clock.elapsed() - last_tick);
    last_tick = clock.elapsed();
  });
  ticker.start(5);
  const bool done = test::wait_until(
      [&] { return QApplication::processEvents(), finished.load() == kThreads; }, 60000);
  for (std::thread& w : writers) w.join();
  ASSERT_TRUE(done);
  settle();
  ticker.stop();
  // Generous: the machine is shared; a window that stopped answering would take seconds.
  EXPECT_LT(longest_gap, 2000);

  const Lines lines = window_->lines();
  ASSERT_EQ(lines.size(), 500u);
  // After the first line that starts a block, every block is whole and in order.
  size_t i = 0;
  while (i < lines.size() && lines[i].substr(lines[i].rfind(':')) != ":0") ++i;
  for (; i + kBlockLines <= lines.size(); i += kBlockLines) {
    const std::string block = lines[i].substr(0, lines[i].rfind(':'));
    for (int l = 0; l < kBlockLines; ++l)
      ASSERT_EQ(lines[i + l], block + ":" + std::to_string(l)) << "line " << i + l;
  }
}

}  // namespace
}  // namespace kw
