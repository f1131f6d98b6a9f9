// The help viewer driven offscreen, and show_help's one window staying usable from modal
// dialogs.
#include "shell/help_window.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <algorithm>
#include <fstream>
#include <utility>

#include "support/child_record.h"

namespace kw {
namespace {

class HelpWindowTest : public ::testing::Test {
 protected:
  QString page(const HelpWindow& w) { return w.browser()->toPlainText(); }

  // Moves the keyboard focus to the next link of the page and activates it, as a user would.
  void activate_next_link(HelpWindow& w) {
    w.browser()->setFocus();
    QTest::keyClick(w.browser(), Qt::Key_Tab);
    QTest::keyClick(w.browser(), Qt::Key_Return);
  }

  test::ScratchDir dir_;
  std::string path_ = dir_.file("Kestrelwick.hlp");
};

const char kTwoTopics[] =
    "@topic 1 Start\n<p>First page. <a href=\"topic:2#later\">Go on</a></p>\n"
    "@topic 2 Next\n<p>Second page.</p><a name=\"later\"></a><p>Later part. "
    "<a href=\"http://127.0.0.1:1/\">away</a></p>\n";

// A missing file or topic is explained; once the file can be read the window opens at the topic
// and follows links between topics with a working history, and no other link.
TEST_F(HelpWindowTest, ExplainsWhatIsMissingAndFollowsLinksWithBackAndForward) {
  HelpWindow w(path_);
  w.show();
  w.show_topic(11);
  EXPECT_FALSE(w.file_read());
  EXPECT_EQ(w.current_topic(), 0);
  EXPECT_TRUE(page(w).contains("The help file cannot be read"));
  EXPECT_TRUE(page(w).contains(QString::fromStdString(path_)));
  std::ofstream(path_) << kTwoTopics;
  w.show_topic(63);
  EXPECT_TRUE(w.file_read());
  EXPECT_EQ(w.topic_list()->count(), 2);
  EXPECT_TRUE(page(w).contains("No such help topic"));
  EXPECT_TRUE(page(w).contains("no topic 63"));

  w.show_topic(0);
  EXPECT_EQ(w.current_topic(), 1);
  EXPECT_EQ(w.windowTitle(), "Kestrelwick Help - Start");
  activate_next_link(w);
  EXPECT_EQ(w.current_topic(), 2);
  EXPECT_EQ(w.topic_list()->currentItem()->text(), "Next");
  activate_next_link(w);  // a link out of the help is not followed
  EXPECT_EQ(w.current_topic(), 2);
  EXPECT_TRUE(page(w).contains("Second page."));

  const QList<QPushButton*> buttons = w.findChildren<QPushButton*>();
  for (const auto& [text, topic] : {std::pair{"&Back", 1}, {"&Forward", 2}}) {
    const auto button = std::ranges::find(buttons, QString(text), &QPushButton::text);
    ASSERT_NE(button, buttons.end()) << text;
    QTest::mouseClick(*button, Qt::LeftButton);
    EXPECT_EQ(w.current_topic(), topic) << text;
  }
}

// Records whether the window it watches is blocked by a modal window.
class BlockWatch : public QObject {
 public:
  bool blocked = false;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::WindowBlocked) blocked = true;
    if (event->type() == QEvent::WindowUnblocked) blocked = false;
    return false;
  }
};

TEST_F(HelpWindowTest, HelpFromNestedModalDialogsStaysUsableAndOpen) {
  show_help(1);
  QPointer<HelpWindow> viewer = help_window();
  ASSERT_TRUE(viewer);
  EXPECT_TRUE(viewer->file_read()) << "Kestrelwick.hlp belongs beside the program";
  BlockWatch watch;
  viewer->installEventFilter(&watch);
  {
    QDialog list;
    list.setModal(true);
    list.show();
    ASSERT_TRUE(watch.blocked) << "a modal dialog blocks other windows";
    {
      QDialog editor(&list);
      editor.setModal(true);
      editor.show();
      show_help(31);
      EXPECT_FALSE(watch.blocked);
    }
    ASSERT_TRUE(viewer);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_FALSE(watch.blocked) << "the help moves to the dialog below";
  }
  ASSERT_TRUE(viewer) << "closing the dialogs must not close the help";
  EXPECT_TRUE(viewer->isVisible());
  EXPECT_EQ(viewer->parentWidget(), nullptr);
  EXPECT_EQ(help_window(), viewer.data());  // one viewer, reused
  EXPECT_EQ(viewer->current_topic(), 31);
}

}  // namespace
}  // namespace kw
