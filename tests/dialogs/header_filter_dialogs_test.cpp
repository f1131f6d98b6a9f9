// The header filter list and its editor driven by ids, keys and clicks: alphabetical display
// over the order of application, the two check cells, the direction keys, Enter installing and
// the editor's refusals. The in-use question is the web list's, tested there.
#include <gtest/gtest.h>

#include <QTest>
#include <string>
#include <vector>

#include "dialogs/filter_list_dialog.h"
#include "dialogs/header_filter_editor_dialog.h"
#include "dialogs/header_filter_list_dialog.h"
#include "dialogs/message_dialogs.h"
#include "filters/header_filters.h"
#include "support/origin_server.h"
#include "support/proxy_fixture.h"
#include "support/ui_driver.h"

namespace kw {
namespace {

using test::when_shown;
using Texts = std::vector<std::string>;

std::vector<std::string> live_keys() {
  std::vector<std::string> out;
  for (const HeaderFilter* f = header_filter_list; f != nullptr; f = f->next) {
    out.push_back(f->key.get());
  }
  return out;
}

std::vector<std::string> shown(Dialog& d) {
  std::vector<std::string> out;
  ListBox* list = d.list(kFilterList);
  for (int i = 0; i < list->count(); ++i) out.push_back(list->item_text(i).toStdString());
  return out;
}

// The live filters in the order of application, as "key:" and their directions.
std::vector<std::string> directions() {
  std::vector<std::string> out;
  for (const HeaderFilter* f = header_filter_list; f != nullptr; f = f->next) {
    out.push_back(std::string(f->key.get()) + ":" + (f->flags & HEADER_IN ? "I" : "") +
                  (f->flags & HEADER_OUT ? "O" : ""));
  }
  return out;
}

// A press in one check cell of an item (x in pixels from the left), released there or below
// the items.
void click_cell(Dialog& d, int index, int x, bool out = false) {
  QWidget* viewport = d.list(kFilterList)->viewport();
  const QPoint at(x, d.list(kFilterList)->item_rect(index).center().y());
  QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, at);
  const QPoint release = out ? QPoint(x, viewport->height() - 1) : at;
  QTest::mouseMove(viewport, release);
  QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, release);
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

TEST_F(HeaderFilterDialogsTest, SortedListCellsKeysAndEnter) {
  when_shown([&](Dialog& d) {
    EXPECT_EQ(shown(d), (Texts{"Cookie", "Referer", "X-Added: label"}));
    click_cell(d, 0, 10);        // Cookie: Out on
    click_cell(d, 1, 35);        // Referer: In on
    click_cell(d, 2, 35, true);  // released outside: nothing
    EXPECT_EQ(directions(), (Texts{"Referer:IO", "Cookie:IO", "X-Added: label:O"}));
    EXPECT_EQ(d.list(kFilterList)->selected_count(), 0);

    // 'i' on a mixed selection: the first one's pair with In flipped, for all.
    click_cell(d, 0, 35);  // Cookie: Out only again
    test::click_item(d, kFilterList, 0);
    test::click_item(d, kFilterList, 2, kKeyCtrl);
    test::key(d, kFilterList, 'I');
    EXPECT_EQ(directions(), (Texts{"Referer:IO", "Cookie:IO", "X-Added: label:IO"}));

    // New goes in before the caret filter in the order of application, with no direction.
    test::click_item(d, kFilterList, 1);  // Referer
    when_shown([&](Dialog& editor) {
      EXPECT_EQ(editor.text(kHeaderNameField), "New-HTTP-header");
      test::press(editor, kIdOk);
    });
    test::press(d, kFilterNewButton);
    EXPECT_EQ(shown(d), (Texts{"Cookie", "New-HTTP-header", "Referer", "X-Added: label"}));
    EXPECT_EQ(live_keys().size(), 3u);
    test::send_enter(d);  // installs and closes
    EXPECT_FALSE(d.is_running());
  });
  open_header_filter_list(nullptr);
  EXPECT_EQ(directions(),
            (Texts{"New-HTTP-header:", "Referer:IO", "Cookie:IO", "X-Added: label:IO"}));
  // Referer and X-Added now apply to replies too: the running proxy adds both.
  test::OriginServer origin("HTTP/1.0 200 OK\r\n\r\nbody");
  EXPECT_EQ(get(origin), "HTTP/1.0 200 OK\r\nReferer: none\r\nX-Added: yes\r\n\r\nbody");
}

TEST_F(HeaderFilterDialogsTest, EditorRefusalsAndOkWhileTheListIsInUse) {
  when_shown([&](Dialog& d) {
    test::click_item(d, kFilterList, 0);
    struct Row {
      const char* name;
      const char* match;
      const char* text;
      int focus;
    } rows[] = {{"", "", "Must include a message header", kHeaderNameField},
                {"Cookie", "(", "Error in matching pattern\nCheck for mis-matched [] or ()",
                 kHeaderMatchField}};
    for (const Row& row : rows) {
      when_shown([&](Dialog& editor) {
        editor.set_text(kHeaderNameField, row.name);
        editor.set_text(kHeaderMatchField, row.match);
        editor.set_modified(kHeaderNameField, true);
        std::string text;
        when_shown([&](Dialog& message) {
          text = message.text(kMessageText);
          test::press(message, kMessageOk);
        });
        test::press(editor, kIdOk);
        EXPECT_EQ(text, row.text);
        EXPECT_EQ(editor.focused_id(), row.focus);
        EXPECT_TRUE(editor.is_running());
        test::press(editor, kIdCancel);
      });
      test::press(d, kFilterEditButton);
    }

    // A connection applies the list: OK asks, and Go Back keeps the list open.
    header_filter_users_add(1);
    test::press(d, kFilterRemoveButton);  // deletes Cookie
    when_shown([](Dialog& question) { test::press(question, kMessageOk); });
    test::press(d, kIdOk);
    EXPECT_TRUE(d.is_running());
    EXPECT_EQ(live_keys().size(), 3u);
    header_filter_users_add(-1);
    test::press(d, kIdOk);
    EXPECT_FALSE(d.is_running());
  });
  open_header_filter_list(nullptr);
  EXPECT_EQ(live_keys(), (Texts{"Referer", "X-Added: label"}));
}

}  // namespace
}  // namespace kw
