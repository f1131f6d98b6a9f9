// The web filter list and its editor driven by clicks, keys and buttons by id, and "Filters In
// Use!" asked while a real page transfer holds the list. The staged list's rules themselves are
// the model's (tests/filters); here the dialogs reach it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/filter_list_dialog.h"
#include "dialogs/message_dialogs.h"
#include "dialogs/web_filter_editor_dialog.h"
#include "dialogs/web_filter_list_dialog.h"
#include "dialogs/web_filter_try_dialog.h"
#include "filters/page_filter.h"
#include "filters/recent_pages.h"
#include "filters/web_filter.h"
#include "support/origin_server.h"
#include "support/proxy_fixture.h"
#include "support/raw_client.h"
#include "support/ui_driver.h"

namespace kw {
namespace {

using test::when_shown;

using Names = std::vector<std::string>;

// The live list's names, top to bottom; only the active ones when asked.
Names live_names(bool active_only = false) {
  Names out;
  for (const WebFilter* f = web_filter_list; f != nullptr; f = f->next) {
    if (!active_only || (f->flags & FILTER_ACTIVE)) out.push_back(f->name.get());
  }
  return out;
}
Names active_names() { return live_names(true); }

// The names the list shows, top to bottom.
Names shown(Dialog& d) {
  Names out;
  ListBox* list = d.list(kFilterList);
  for (int i = 0; i < list->count(); ++i) {
    out.push_back(reinterpret_cast<const LinkPat*>(list->item_data(i))->web_filter()->name.get());
  }
  return out;
}

const WebFilter* live(const char* name) {
  for (const WebFilter* f = web_filter_list; f != nullptr; f = f->next) {
    if (std::string(f->name.get()) == name) return f;
  }
  return nullptr;
}

// A click on an item's name.
void pick(Dialog& d, int index, uint32_t modifiers = 0) {
  test::click_item(d, kFilterList, index, modifiers);
}

// A press and release in the check column of one item; `out` moves the pointer below the list
// before the release.
void click_box(Dialog& d, int index, bool out = false) {
  QWidget* viewport = d.list(kFilterList)->viewport();
  const QPoint box(10, d.list(kFilterList)->item_rect(index).center().y());
  QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, box);
  const QPoint release = out ? QPoint(10, viewport->height() - 1) : box;
  QTest::mouseMove(viewport, release);
  QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, release);
}

class WebFilterDialogsTest : public test::ProxyTest {
 protected:
  void SetUp() override {
    free_web_filters();
    for (const char* name : {"A", "B", "C", "D"}) {
      build_web_filter(nullptr, FILTER_ACTIVE, name, nullptr, "cat", nullptr, 4096, name);
    }
    test::ProxyTest::SetUp();
  }
  void TearDown() override {
    held_client_.reset();
    held_origin_.reset();
    test::ProxyTest::TearDown();
    EXPECT_TRUE(frontend_.errors().empty()) << frontend_.errors().front();
    EXPECT_EQ(web_filter_users_add(0), 0);
    free_web_filters();
  }

  // A page transfer that holds the list: its server sends part of a text page and waits.
  void hold_a_transfer() {
    held_origin_ = std::make_unique<test::OriginServer>(std::vector<test::ReplyPiece>{
        {"HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<p>cat</p>", 0}, {"late", 60000}});
    held_client_ = std::make_unique<test::RawClient>(port_);
    held_client_->send("GET " + held_origin_->url("/") + " HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(test::wait_until([] { return web_filter_users_add(0) == 1; }));
  }

  std::unique_ptr<test::OriginServer> held_origin_;
  std::unique_ptr<test::RawClient> held_client_;
};

TEST_F(WebFilterDialogsTest, ListDrivenByIdsAndKeys) {
  bool ended_on_ok = false;
  when_shown([&](Dialog& d) {
    EXPECT_EQ(d.title(), " HTML Web Page Filters");
    EXPECT_FALSE(d.is_enabled(kFilterEditButton));
    pick(d, 0);
    pick(d, 1, kKeyCtrl);
    EXPECT_TRUE(d.is_enabled(kFilterRemoveButton));
    test::key(d, kFilterList, 'X', kKeyCtrl);
    EXPECT_EQ(shown(d), (Names{"C", "D"}));
    EXPECT_TRUE(d.is_enabled(kWebPasteButton));
    EXPECT_TRUE(d.is_enabled(kWebListApply));
    pick(d, 1);
    test::key(d, kFilterList, 'V', kKeyCtrl);
    EXPECT_EQ(shown(d), (Names{"C", "A", "B", "D"}));

    // Space with three selected, the first active: all three off, at once on the live records.
    pick(d, 0);
    pick(d, 2, kKeyShift);
    test::key(d, kFilterList, kVkSpace);
    EXPECT_EQ(active_names(), Names{"D"});

    // Enter edits the caret item and never closes the list.
    std::string edited;
    when_shown([&](Dialog& editor) {
      edited = editor.text(kWebNameField);
      test::press(editor, kIdCancel);
    });
    pick(d, 3);
    test::send_enter(d);
    EXPECT_EQ(edited, "D");
    EXPECT_TRUE(d.is_running());

    // New and Dupe go in before the caret item.
    when_shown([&](Dialog& editor) {
      editor.set_text(kWebMatchField, "x");
      test::press(editor, kIdOk);
    });
    test::press(d, kFilterNewButton);
    pick(d, 1);
    when_shown([&](Dialog& editor) { test::press(editor, kIdOk); });
    test::press(d, kFilterDupeButton);
    EXPECT_EQ(shown(d), (Names{"C", "A", "A", "B", "New HTML filter", "D"}));

    test::press(d, kWebListOk);
    ended_on_ok = !d.is_running();
  });
  open_web_filter_list(nullptr);
  EXPECT_TRUE(ended_on_ok);
  EXPECT_EQ(live_names(), (Names{"C", "A", "A", "B", "New HTML filter", "D"}));
  EXPECT_EQ(live("New HTML filter")->flags, 0);  // installed without its edited mark, inactive
}

TEST_F(WebFilterDialogsTest, CheckColumnTogglesOnReleaseInsideTheSameItem) {
  when_shown([&](Dialog& d) {
    click_box(d, 0);
    click_box(d, 1, true);  // released below the list: nothing
    EXPECT_EQ(active_names(), (Names{"B", "C", "D"}));
    EXPECT_EQ(d.list(kFilterList)->selected_count(), 0);  // the click does not select
    // A quick double click toggles twice.
    QWidget* viewport = d.list(kFilterList)->viewport();
    const QPoint box(10, d.list(kFilterList)->item_rect(2).center().y());
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, box);
    EXPECT_EQ(active_names(), (Names{"B", "D"}));
    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, box);
    EXPECT_EQ(active_names(), (Names{"B", "C", "D"}));
    EXPECT_FALSE(d.is_enabled(kWebListApply));  // toggles are not staged
    // OK without staged changes closes at once, without asking, while a transfer runs.
    hold_a_transfer();
    test::press(d, kWebListOk);
    EXPECT_FALSE(d.is_running());
  });
  open_web_filter_list(nullptr);
  // The live toggle reached the running proxy: A is off, so only B replaces "cat".
  test::OriginServer origin("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\ncat");
  EXPECT_EQ(get(origin), "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\nB");
}

TEST_F(WebFilterDialogsTest, RightButtonTogglesOverAnItemAndOffersResetCountsBelowThem) {
  for (WebFilter* f = web_filter_list; f != nullptr; f = f->next) f->hits.add();
  when_shown([&](Dialog& d) {
    QWidget* viewport = d.list(kFilterList)->viewport();
    pick(d, 0);
    QTest::mousePress(viewport, Qt::RightButton, Qt::NoModifier,
                      d.list(kFilterList)->item_rect(0).center());
    QTest::mouseRelease(viewport, Qt::RightButton);
    EXPECT_EQ(active_names(), (Names{"B", "C", "D"}));
    EXPECT_EQ(live("A")->hits.value(), 1u);

    QStringList items;
    QTimer::singleShot(0, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (menu == nullptr) return;
      for (QAction* a : menu->actions()) items.push_back(a->text());
      menu->setActiveAction(menu->actions().value(0));
      QTest::keyClick(menu, Qt::Key_Return);
    });
    QTest::mousePress(viewport, Qt::RightButton, Qt::NoModifier,
                      QPoint(60, viewport->height() - 2));
    QTest::mouseRelease(viewport, Qt::RightButton);
    EXPECT_EQ(items, QStringList{"Reset counts"});
    for (const char* name : {"A", "B", "C", "D"}) EXPECT_EQ(live(name)->hits.value(), 0u);
    test::press(d, kIdCancel);
  });
  open_web_filter_list(nullptr);
}

TEST_F(WebFilterDialogsTest, ApplyAsksWhileATransferUsesTheFilters) {
  hold_a_transfer();
  when_shown([&](Dialog& d) {
    pick(d, 0);
    test::press(d, kFilterRemoveButton);  // cuts A

    when_shown([&](Dialog& question) {
      EXPECT_EQ(question.title(), "Filters In Use!");
      test::press(question, kMessageOk);  // "&Go Back"
    });
    test::press(d, kWebListApply);
    EXPECT_TRUE(d.is_enabled(kWebListApply));
    EXPECT_EQ(live_names().size(), 4u);

    // Retry while the page is still being filtered stays; after it ended, it installs.
    when_shown([&](Dialog& question) {
      test::press(question, kRetryButton);
      EXPECT_TRUE(question.is_running());
      held_origin_.reset();
      ASSERT_TRUE(test::wait_until([] { return web_filter_users_add(0) == 0; }));
      test::press(question, kRetryButton);
      EXPECT_FALSE(question.is_running());
    });
    test::press(d, kWebListApply);
    EXPECT_FALSE(d.is_enabled(kWebListApply));
    EXPECT_EQ(live_names(), (Names{"B", "C", "D"}));

    // Kill Connections ends the transfer and installs.
    hold_a_transfer();
    pick(d, 0);
    test::press(d, kFilterRemoveButton);
    when_shown([&](Dialog& question) { test::press(question, kKillButton); });
    test::press(d, kWebListOk);
    EXPECT_FALSE(d.is_running());
  });
  open_web_filter_list(nullptr);
  EXPECT_EQ(live_names(), (Names{"C", "D"}));
  held_client_->read_all(10000);
  EXPECT_TRUE(held_client_->closed());
}

TEST_F(WebFilterDialogsTest, EditorFieldsAndMessages) {
  when_shown([&](Dialog& d) {
    pick(d, 1);
    // Untouched OK on an existing filter gives nothing: the list stays unchanged.
    when_shown([&](Dialog& editor) { test::press(editor, kIdOk); });
    test::press(d, kFilterEditButton);
    EXPECT_FALSE(d.is_enabled(kWebListApply));

    when_shown([&](Dialog& editor) {
      editor.focus(kWebLimitField);
      editor.set_text(kWebLimitField, "");
      test::type_into(editor, kWebLimitField, "99999");
      editor.set_text(kWebBoundsField, "(a");
      editor.set_text(kWebMatchField, "(b");
      std::string text, caption;
      when_shown([&](Dialog& message) {
        text = message.text(kMessageText);
        caption = message.title();
        test::press(message, kMessageOk);
      });
      test::press(editor, kIdOk);
      EXPECT_EQ(text, "Error in bounds expression\nCheck for mis-matched [] or ()");
      EXPECT_EQ(caption, "Syntax Error");
      EXPECT_EQ(editor.focused_id(), kWebBoundsField);
      EXPECT_EQ(editor.text(kWebMatchField), "(b");  // what the user typed stays
      editor.set_text(kWebBoundsField, "");
      editor.set_text(kWebMatchField, "b");
      test::press(editor, kWebMultiCheck);
      test::press(editor, kIdOk);
      EXPECT_FALSE(editor.is_running());
    });
    test::press(d, kFilterEditButton);
    EXPECT_TRUE(d.is_enabled(kWebListApply));
    const auto* node = reinterpret_cast<const LinkPat*>(d.list(kFilterList)->item_data(1));
    EXPECT_EQ(node->web_filter()->limit, 32767u);
    EXPECT_EQ(node->web_filter()->flags, FILTER_ACTIVE | FILTER_EDITED | FILTER_MULTI);
    test::press(d, kIdCancel);
  });
  open_web_filter_list(nullptr);
  // Cancel dropped the edited copy; the live filter is as it was.
  EXPECT_EQ(live("B")->limit, 4096u);
  EXPECT_EQ(live("B")->flags, FILTER_ACTIVE);
}

// The try window beside the editor of A (which turns "cat" into "A"): a page that went through
// the proxy while it was open is picked from the recent ones, its three matches are marked and
// the rewritten text is what the browser received. The editor's fields are tried as they are
// typed, and a Matching Expression that does not compile is named in the window, no message box.
TEST_F(WebFilterDialogsTest, TryWindowFollowsTheEditorOnARecentPage) {
  forget_recent_pages();
  when_shown([&](Dialog& d) {
    pick(d, 0);
    when_shown([&](Dialog& editor) {
      when_shown([&](Dialog& trial) {
        test::OriginServer origin(
            "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<p>cat, cat\r\nand cat.</p>");
        const std::string reply = get(origin, "/cats");
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return trial.combo(kTryRecentCombo)->count() == 1; }, 10000));
        test::pick_combo_item(trial, kTryRecentCombo, 0);
        auto* sample = dynamic_cast<MultiEditControl*>(trial.control(kTrySample));
        EXPECT_EQ(sample->marks().size(), 3u);
        EXPECT_EQ(trial.list(kTryMatches)->count(), 3);
        EXPECT_EQ(trial.text(kTryRewritten), reply.substr(reply.find("\r\n\r\n") + 4));
        EXPECT_EQ(trial.text(kTryRewritten), "<p>A, A\r\nand A.</p>");
        EXPECT_EQ(trial.text(kTryStatus), "3 matches");

        editor.set_text(kWebMatchField, "");
        EXPECT_EQ(trial.text(kTryStatus), "Must include a matching expression");
        test::type_into(editor, kWebMatchField, "c\\1t");
        test::click_item(trial, kTryMatches, 2);
        EXPECT_EQ(trial.list(kTryVariables)->item_text(0), QStringLiteral("\\1 = a"));

        bool other_dialog = false;
        when_shown([&](Dialog& other) {
          other_dialog = true;
          other.end(0);
        });
        editor.set_text(kWebMatchField, "");
        test::type_into(editor, kWebMatchField, "(c");
        set_dialog_observer(nullptr);
        EXPECT_FALSE(other_dialog);
        EXPECT_EQ(trial.text(kTryStatus),
                  "Error in Matching Expression. Check for mis-matched [] or ()");
        EXPECT_EQ(trial.list(kTryMatches)->count(), 0);
        EXPECT_TRUE(recent_pages_watched());
        test::press(trial, kIdCancel);
        EXPECT_FALSE(recent_pages_watched());
      });
      test::press(editor, kWebTryButton);
      test::press(editor, kIdCancel);
    });
    test::press(d, kFilterEditButton);
    test::press(d, kIdCancel);
  });
  open_web_filter_list(nullptr);
}

}  // namespace
}  // namespace kw
