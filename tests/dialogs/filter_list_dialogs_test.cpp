// The web and header filter lists and their editors driven by clicks, keys and buttons, and the
// in-use question asked while a real page transfer holds the list; the models' rules are theirs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/filter_list_dialog.h"
#include "dialogs/header_filter_editor_dialog.h"
#include "dialogs/header_filter_list_dialog.h"
#include "dialogs/message_dialogs.h"
#include "dialogs/web_filter_editor_dialog.h"
#include "dialogs/web_filter_list_dialog.h"
#include "dialogs/web_filter_try_dialog.h"
#include "filters/header_filter_list_model.h"
#include "filters/header_filters.h"
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

// A press and release at x in one item of the filter list; `out` moves the pointer below the
// items before the release.
void click_at(Dialog& d, int index, int x, bool out = false,
              Qt::MouseButton button = Qt::LeftButton) {
  QWidget* viewport = d.list(kFilterList)->viewport();
  const QPoint at(x, d.list(kFilterList)->item_rect(index).center().y());
  QTest::mousePress(viewport, button, Qt::NoModifier, at);
  const QPoint release = out ? QPoint(x, viewport->height() - 1) : at;
  QTest::mouseMove(viewport, release);
  QTest::mouseRelease(viewport, button, Qt::NoModifier, release);
}

void pick(Dialog& d, int index, uint32_t modifiers = 0) {
  test::click_item(d, kFilterList, index, modifiers);
}

// The live web filters' names, top to bottom; only the active ones when asked.
Names live_names(bool active_only = false) {
  Names out;
  for (const WebFilter* f = web_filter_list; f != nullptr; f = f->next) {
    if (!active_only || (f->flags & FILTER_ACTIVE)) out.push_back(f->name.get());
  }
  return out;
}

// The header keys of the filters behind the list's items, top to bottom.
Names shown_keys(Dialog& d) {
  Names out;
  ListBox* list = d.list(kFilterList);
  for (int i = 0; i < list->count(); ++i) {
    const auto* node = reinterpret_cast<const LinkPat*>(list->item_data(i));
    out.push_back(HeaderFilterListModel::filter(node)->key.get());
  }
  return out;
}

const WebFilter* live(const char* name) {
  for (const WebFilter* f = web_filter_list; f != nullptr; f = f->next) {
    if (std::string(f->name.get()) == name) return f;
  }
  return nullptr;
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
  when_shown([&](Dialog& d) {
    EXPECT_FALSE(d.is_enabled(kFilterEditButton));
    pick(d, 0);
    pick(d, 1, kKeyCtrl);
    test::key(d, kFilterList, 'X', kKeyCtrl);
    EXPECT_TRUE(d.is_enabled(kWebPasteButton));
    pick(d, 1);
    test::key(d, kFilterList, 'V', kKeyCtrl);

    // Space with three selected, the first active: all three off, at once on the live records.
    pick(d, 0);
    pick(d, 2, kKeyShift);
    test::key(d, kFilterList, kVkSpace);
    EXPECT_EQ(live_names(true), Names{"D"});

    // Enter edits the caret item and never closes the list.
    when_shown([&](Dialog& editor) {
      EXPECT_EQ(editor.text(kWebNameField), "D");
      test::press(editor, kIdCancel);
    });
    pick(d, 3);
    test::send_enter(d);
    EXPECT_TRUE(d.is_running());

    // New and Dupe go in before the caret item; OK installs the list as shown.
    when_shown([&](Dialog& editor) {
      editor.set_text(kWebMatchField, "x");
      test::press(editor, kIdOk);
    });
    test::press(d, kFilterNewButton);
    pick(d, 1);
    when_shown([&](Dialog& editor) { test::press(editor, kIdOk); });
    test::press(d, kFilterDupeButton);
    test::press(d, kWebListOk);
  });
  open_web_filter_list(nullptr);
  EXPECT_EQ(live_names(), (Names{"C", "A", "A", "B", "New HTML filter", "D"}));
  EXPECT_EQ(live("New HTML filter")->flags, 0);  // installed without its edited mark, inactive
}

// The check column toggles on a release inside the same item, the right button over an item
// toggles the selection, below the items it offers to reset the hit counts: all at once on the
// live records and not staged, so OK does not ask while a transfer runs. Staged changes ask.
TEST_F(WebFilterDialogsTest, MouseTogglesAreLiveAndStagedChangesAskWhileATransferRuns) {
  for (WebFilter* f = web_filter_list; f != nullptr; f = f->next) f->hits.add();
  hold_a_transfer();
  when_shown([&](Dialog& d) {
    click_at(d, 0, 10);
    click_at(d, 1, 10, true);  // released below the list: nothing
    EXPECT_EQ(live_names(true), (Names{"B", "C", "D"}));
    EXPECT_EQ(d.list(kFilterList)->selected_count(), 0);  // the click does not select
    // A quick double click toggles twice.
    QWidget* viewport = d.list(kFilterList)->viewport();
    const QPoint box(10, d.list(kFilterList)->item_rect(2).center().y());
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, box);
    EXPECT_EQ(live_names(true), (Names{"B", "D"}));
    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, box);
    EXPECT_EQ(live_names(true), (Names{"B", "C", "D"}));
    pick(d, 1);
    click_at(d, 1, 60, false, Qt::RightButton);
    EXPECT_EQ(live_names(true), (Names{"C", "D"}));
    EXPECT_EQ(live("B")->hits.value(), 1u);

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
    EXPECT_FALSE(d.is_enabled(kWebListApply));
    test::press(d, kWebListOk);
    EXPECT_FALSE(d.is_running());
  });
  open_web_filter_list(nullptr);

  when_shown([&](Dialog& d) {
    pick(d, 0);
    test::press(d, kFilterRemoveButton);  // cuts A

    when_shown([&](Dialog& question) {
      EXPECT_EQ(question.title(), "Filters In Use!");
      test::press(question, kMessageOk);  // "&Go Back"
    });
    test::press(d, kWebListApply);
    EXPECT_EQ(live_names().size(), 4u);

    // Retry while the page is still being filtered stays; after it ended, it installs.
    when_shown([&](Dialog& question) {
      test::press(question, kRetryButton);
      EXPECT_TRUE(question.is_running());
      held_origin_.reset();
      ASSERT_TRUE(test::wait_until([] { return web_filter_users_add(0) == 0; }));
      test::press(question, kRetryButton);
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
  });
  open_web_filter_list(nullptr);
  EXPECT_EQ(live_names(), (Names{"C", "D"}));
  held_client_->read_all(10000);
  EXPECT_TRUE(held_client_->closed());
}

// The try window beside the editor of A ("cat" into "A") shows a page that went through the
// proxy as the browser got it and tries the fields as they are typed, naming an expression that
// does not compile without a message box. The editor refuses it with one and keeps the text.
TEST_F(WebFilterDialogsTest, TryWindowFollowsTheEditorAndTheEditorRefusesWhatDoesNotCompile) {
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
        EXPECT_EQ(dynamic_cast<MultiEditControl*>(trial.control(kTrySample))->marks().size(), 3u);
        EXPECT_EQ(trial.list(kTryMatches)->count(), 3);
        EXPECT_EQ(trial.text(kTryRewritten), reply.substr(reply.find("\r\n\r\n") + 4));
        EXPECT_EQ(trial.text(kTryStatus), "3 matches");

        editor.set_text(kWebMatchField, "");
        EXPECT_EQ(trial.text(kTryStatus), "Must include a matching expression");
        test::type_into(editor, kWebMatchField, "c\\1t");
        test::click_item(trial, kTryMatches, 2);
        EXPECT_EQ(trial.list(kTryVariables)->item_text(0), QStringLiteral("\\1 = a"));

        when_shown([](Dialog& other) {
          ADD_FAILURE() << other.title();
          other.end(0);
        });
        editor.set_text(kWebMatchField, "");
        test::type_into(editor, kWebMatchField, "(c");
        set_dialog_observer(nullptr);
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

    // The editor on B: untouched OK on an existing filter gives nothing.
    pick(d, 1);
    when_shown([&](Dialog& editor) { test::press(editor, kIdOk); });
    test::press(d, kFilterEditButton);
    EXPECT_FALSE(d.is_enabled(kWebListApply));

    when_shown([&](Dialog& editor) {
      editor.set_text(kWebLimitField, "");
      test::type_into(editor, kWebLimitField, "99999");
      editor.set_text(kWebBoundsField, "(a");
      editor.set_text(kWebMatchField, "(b");
      when_shown([&](Dialog& message) {
        EXPECT_EQ(message.text(kMessageText),
                  "Error in bounds expression\nCheck for mis-matched [] or ()");
        EXPECT_EQ(message.title(), "Syntax Error");
        test::press(message, kMessageOk);
      });
      test::press(editor, kIdOk);
      EXPECT_EQ(editor.focused_id(), kWebBoundsField);
      EXPECT_EQ(editor.text(kWebMatchField), "(b");  // what the user typed stays
      editor.set_text(kWebBoundsField, "");
      editor.set_text(kWebMatchField, "b");
      test::press(editor, kWebMultiCheck);
      test::press(editor, kIdOk);
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

// The live filters in the order of application, as "key:" and their directions.
Names directions() {
  Names out;
  for (const HeaderFilter* f = header_filter_list; f != nullptr; f = f->next) {
    out.push_back(std::string(f->key.get()) + ":" + (f->flags & HEADER_IN ? "I" : "") +
                  (f->flags & HEADER_OUT ? "O" : ""));
  }
  return out;
}

class HeaderFilterDialogsTest : public test::ProxyTest {
 protected:
  void SetUp() override {
    free_header_filters();
    build_header_filter(nullptr, HEADER_OUT, "Referer", nullptr, "none");
    build_header_filter(nullptr, HEADER_IN, "Cookie", nullptr, nullptr);
    build_header_filter(nullptr, HEADER_OUT, "X-Added: label", nullptr, "yes");
    test::ProxyTest::SetUp();
  }
  void TearDown() override {
    test::ProxyTest::TearDown();
    EXPECT_TRUE(frontend_.errors().empty()) << frontend_.errors().front();
    EXPECT_EQ(header_filter_users_add(0), 0);
    free_header_filters();
  }
};

TEST_F(HeaderFilterDialogsTest, SortedListCellsKeysEditorsRefusalsAndOkUnderTheLock) {
  when_shown([&](Dialog& d) {
    click_at(d, 0, 10);  // Cookie: Out on
    click_at(d, 1, 35);  // Referer: In on
    EXPECT_EQ(directions(), (Names{"Referer:IO", "Cookie:IO", "X-Added: label:O"}));

    // 'i' on a mixed selection: the first one's pair with In flipped, for all.
    click_at(d, 0, 35);  // Cookie: Out only again
    pick(d, 0);
    pick(d, 2, kKeyCtrl);
    test::key(d, kFilterList, 'I');
    EXPECT_EQ(directions(), (Names{"Referer:IO", "Cookie:IO", "X-Added: label:IO"}));

    // New goes in before the caret filter in the order of application, with no direction.
    pick(d, 1);  // Referer
    when_shown([](Dialog& editor) { test::press(editor, kIdOk); });
    test::press(d, kFilterNewButton);
    EXPECT_EQ(shown_keys(d), (Names{"Cookie", "New-HTTP-header", "Referer", "X-Added: label"}));

    pick(d, 0);
    struct Row {
      const char *name, *match, *text;
      int focus;
    } rows[] = {{"", "", "Must include a message header", kHeaderNameField},
                {"Cookie", "(", "Error in matching pattern\nCheck for mis-matched [] or ()",
                 kHeaderMatchField}};
    for (const Row& row : rows) {
      when_shown([&](Dialog& editor) {
        editor.set_text(kHeaderNameField, row.name);
        editor.set_text(kHeaderMatchField, row.match);
        editor.set_modified(kHeaderNameField, true);
        when_shown([&](Dialog& message) {
          EXPECT_EQ(message.text(kMessageText), row.text);
          test::press(message, kMessageOk);
        });
        test::press(editor, kIdOk);
        EXPECT_EQ(editor.focused_id(), row.focus);
        EXPECT_TRUE(editor.is_running());
        test::press(editor, kIdCancel);
      });
      test::press(d, kFilterEditButton);
    }

    // A connection applies the list: OK asks, and Go Back keeps the list open, nothing
    // installed; Enter installs and closes once it is free.
    header_filter_users_add(1);
    test::press(d, kFilterRemoveButton);  // deletes Cookie
    when_shown([](Dialog& question) { test::press(question, kMessageOk); });
    test::press(d, kIdOk);
    EXPECT_TRUE(d.is_running());
    EXPECT_EQ(directions(), (Names{"Referer:IO", "Cookie:IO", "X-Added: label:IO"}));
    header_filter_users_add(-1);
    test::send_enter(d);
  });
  open_header_filter_list(nullptr);
  EXPECT_EQ(directions(), (Names{"New-HTTP-header:", "Referer:IO", "X-Added: label:IO"}));
}

}  // namespace
}  // namespace kw
