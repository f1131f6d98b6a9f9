// The window layer: template layout, input reaching the procedure as commands by id, the dialog
// manager's keys, modal results, lists, combo boxes, subclassing, menus and accelerators.
#include "ui/dialog.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "support/ui_driver.h"
#include "ui/system_colours.h"
#include "ui/window_placement.h"

namespace kw {
namespace {

using Command = std::pair<int, int>;

// A procedure that records what reaches it; a test may add what it does on initialising.
class RecordingProc : public DialogProc {
 public:
  void on_init(Dialog& d) override {
    if (init) init(d);
  }
  void on_command(Dialog&, int id, int code) override { commands.emplace_back(id, code); }
  void on_draw_item(Dialog&, DrawItem& item) override { draws.push_back(item); }
  QSize on_measure_item(Dialog&, int id) override { return QSize(14, 17); }
  bool on_input(Dialog&, int, const InputEvent& e) override {
    inputs.push_back(e.kind == InputEvent::Char
                         ? "char " + std::to_string(e.ch)
                         : "key " + std::to_string(e.key) + "+" + std::to_string(e.modifiers));
    return false;
  }
  void on_help(Dialog&) override { ++helps; }

  bool saw(int id, int code) const {
    return std::find(commands.begin(), commands.end(), Command(id, code)) != commands.end();
  }

  // The draw requests that painting the widget now makes (their painters are gone).
  std::vector<DrawItem> paint(QWidget* widget) {
    draws.clear();
    test::grab(widget);
    return draws;
  }

  std::vector<Command> commands;
  std::vector<DrawItem> draws;
  std::vector<std::string> inputs;  // typed input: "key K+modifiers" or "char C"
  int helps = 0;
  std::function<void(Dialog&)> init;
};

using enum ControlKind;

const ControlTemplate kControls[] = {
    {kNoId, GroupBox, "", 7, 3, 215, 67},
    {1001, Button, "&Go", 7, 77, 59, 14},
    {1002, Button, "Owner", 86, 77, 59, 14, kOwnerDraw},
    {1003, CheckBox, "Check me", 10, 22, 98, 11},
    {1004, Static, "Label", 65, 13, 122, 8},
    {1005, Edit, "", 133, 11, 42, 12, kDigitsOnly, 5},
    {1006, Edit, "", 10, 40, 100, 12, kAutoScroll},
    {1007, Edit, "", 10, 100, 100, 30, kMultiLine | kVScroll, 10},
    {1008, ListBox, "", 120, 100, 90, 60, kSorted | kExtendedSel | kNotify | kVScroll},
    {1009, ComboBox, "", 10, 140, 100, 60, kSorted | kVScroll, 80},
    {1010, Frame, "", 150, 40, 40, 20, kClientEdge},
    {2, Button, "Cancel", 163, 77, 59, 14, kStartsDisabled},
    {1011, ListBox, "", 10, 170, 90, 40, kOwnerDraw | kExtendedSel | kNotify},
    {1012, Static, "Background", 120, 170, 62, 14, kCentred | kSunken | kNotify},
};
const DialogTemplate kTemplate{900, "Layer test", 229, 215, 0, kControls};

class DialogTest : public ::testing::Test {
 protected:
  void TearDown() override { set_dialog_observer(nullptr); }

  // Shows the dialog modelessly so tests can act on it directly.
  Dialog& open() {
    dialog_ = std::make_unique<Dialog>(kTemplate, proc_, nullptr);
    dialog_->show_modeless();
    test::activate(dialog_.get());
    return *dialog_;
  }

  RecordingProc proc_;
  std::unique_ptr<Dialog> dialog_;
};

// The installed sans face is wider than the designed one at the same size; the dialog font is
// sized so its average character is the base unit, or captions would overflow their controls.
TEST(DialogUnitsTest, ConvertWithTheBaseUnitsScaledByDpiAndTheFontFitsThem) {
  struct Row {
    double dpi;
    int units;
    int x, y;
  } rows[] = {
      {96, 0, 0, 0},       {96, 1, 2, 2},   {96, 4, 6, 7},    {96, 59, 89, 96},
      {96, 229, 344, 372}, {144, 4, 9, 10}, {192, 8, 24, 26}, {120, 14, 26, 28},
  };
  for (const Row& r : rows) {
    const DialogUnits units(r.dpi);
    EXPECT_EQ(units.x(r.units), r.x) << r.dpi << " dpi, " << r.units << " units";
    EXPECT_EQ(units.y(r.units), r.y) << r.dpi << " dpi, " << r.units << " units";
  }
  const DialogUnits units(96);
  const QFontMetricsF metrics(dialog_font(units));
  const double average =
      metrics.horizontalAdvance("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ") / 52.0;
  EXPECT_LE(average, units.base_x() + 0.05);
  EXPECT_GE(average, units.base_x() - 1.0);
}

TEST_F(DialogTest, ClicksKeysAndEnablingById) {
  Dialog& d = open();
  EXPECT_EQ(d.focused_id(), 1001);  // the first control that takes the focus
  test::press(d, 1001);
  test::press(d, 1003);
  EXPECT_TRUE(d.is_checked(1003));
  test::press(d, 2);     // disabled: the user cannot press it
  test::press(d, 1012);  // a notifying static
  test::press(d, 1004);  // a plain static says nothing
  d.check(1003, false);  // setting a check mark from the program does not notify
  test::send_escape(d);  // Escape is command 2, which is disabled
  EXPECT_EQ(proc_.commands,
            (std::vector<Command>{{1001, kClicked}, {1003, kClicked}, {1012, kClicked}}));

  // Enter outside a push button is command 1; on a push button it presses that button. The close
  // box goes to the procedure, which by default treats it as Escape. F1 in an edit asks for help.
  proc_.commands.clear();
  d.focus(1006);
  test::send_enter(d);
  test::send_help(d);
  EXPECT_EQ(proc_.helps, 1);
  d.focus(1001);
  test::send_enter(d);
  d.enable(2, true);
  test::send_escape(d);
  test::close_box(d);
  EXPECT_EQ(
      proc_.commands,
      (std::vector<Command>{
          {kIdOk, kClicked}, {1001, kClicked}, {kIdCancel, kClicked}, {kIdCancel, kClicked}}));
  EXPECT_TRUE(d.is_running());

  // Ctrl and a letter reach a subclassed control as the Ctrl key, the letter's key, then its
  // control character. (The filter lists' check column drives mouse input and a taken press
  // that selects nothing; the proxy selector, typed input taken and dropped.)
  d.subclass(1006);
  test::key(d, 1006, 'C', kKeyCtrl);
  EXPECT_EQ(proc_.inputs, (std::vector<std::string>{"key " + std::to_string(kVkControl) + "+2",
                                                    "key 67+2", "char 3"}));
}

TEST_F(DialogTest, StaticsTakeTheirColoursFromTheProcedure) {
  // The main window's status line: coloured text on black.
  class StatusLineProc : public RecordingProc {
   public:
    QColor on_text_colour(Dialog&, int id) override { return id == 1004 ? Qt::green : Qt::blue; }
    QColor on_static_background(Dialog&, int id) override {
      return id == 1004 ? QColor(Qt::black) : QColor();
    }
  } proc;
  Dialog d(kTemplate, proc, nullptr);
  d.set_text(1004, "");
  EXPECT_EQ(test::grab(d.control_widget(1004)).pixel(3, 3), qRgb(0, 0, 0));
  d.set_text(1004, "Active connections: 00");
  const QImage text = test::grab(d.control_widget(1004)).convertToFormat(QImage::Format_RGB32);
  const auto* pixels = reinterpret_cast<const QRgb*>(text.constBits());
  EXPECT_TRUE(std::any_of(pixels, pixels + text.width() * text.height(),
                          [](QRgb p) { return qGreen(p) > 128; }));
  // Others stay transparent: the dialog's background shows through.
  const QImage label = test::grab(d.control_widget(1012));
  EXPECT_EQ(QColor(label.pixel(label.width() - 3, label.height() - 3)),
            sys_colour(SysColour::ButtonFace));
}

TEST_F(DialogTest, EditsNotifyKeepTheUserModifiedMarkAndTheirLimits) {
  Dialog& d = open();
  d.set_text(1006, "set by the program");
  EXPECT_TRUE(proc_.saw(1006, kEditUpdate));
  EXPECT_TRUE(proc_.saw(1006, kEditChange));
  EXPECT_FALSE(d.is_modified(1006));
  test::type_into(d, 1006, "x");
  EXPECT_TRUE(d.is_modified(1006));
  EXPECT_EQ(d.text(1006), "set by the programx");
  d.set_text(1006, "again");
  EXPECT_FALSE(d.is_modified(1006));

  // Digits only, at most 5: letters and the sixth digit are refused. A number is read from the
  // leading digits after blanks.
  test::type_into(d, 1005, "12a3b456");
  EXPECT_EQ(d.get_uint(1005), 12345u);
  const std::tuple<const char*, unsigned, bool> numbers[] = {
      {"  42abc", 42, true}, {"", 0, false},   {"-5", 0, false}, {"0", 0, true},
      {"4294967295", 4294967295u, true},       {"4294967296", 0, false},
  };
  for (const auto& [text, value, valid] : numbers) {
    d.set_text(1006, text);
    bool ok = !valid;
    EXPECT_EQ(d.get_uint(1006, &ok), value) << text;
    EXPECT_EQ(ok, valid) << text;
  }

  // Texts are 8-bit: every byte but the line ends survives a control and the title.
  std::string all;
  for (int c = 1; c < 256; ++c) {
    if (c != '\r' && c != '\n') all.push_back(static_cast<char>(c));
  }
  d.set_text(1004, all);
  EXPECT_EQ(d.text(1004), all);
  d.set_title("Titel \xE4\xF6\xFC");
  EXPECT_EQ(d.title(), "Titel \xE4\xF6\xFC");

  // Multi-line: CR LF, counted as two in the limit of 10; Ctrl+Enter is a new line.
  d.set_text(1007, "ab\r\ncd");
  EXPECT_EQ(d.text(1007), "ab\r\ncd");
  d.set_text(1007, "");
  test::type_into(d, 1007, "abcd");
  test::key(d, 1007, kVkReturn, kKeyCtrl);
  test::type_into(d, 1007, "efghij");
  EXPECT_EQ(d.text(1007), "abcd\r\nefgh");
  // Plain Enter belongs to the dialog.
  proc_.commands.clear();
  test::key(d, 1007, kVkReturn);
  EXPECT_TRUE(proc_.saw(kIdOk, kClicked));
  EXPECT_EQ(d.text(1007), "abcd\r\nefgh");
}

// A dialog ended while it initialises is never shown, and its result still comes back. (The
// message dialogs' tests end modal runs by their buttons.)
TEST_F(DialogTest, ADialogEndedWhileInitialisingReturnsUnshown) {
  proc_.init = [](Dialog& d) { d.end(-3); };
  bool shown = false;
  test::when_shown([&](Dialog&) { shown = true; });
  EXPECT_EQ(run_dialog(kTemplate, proc_, nullptr), -3);
  EXPECT_FALSE(shown);
}

TEST_F(DialogTest, OwnerDrawnButtonsAreAskedToPaintWithTheirState) {
  Dialog& d = open();
  auto last_draw_of = [&](int id) {
    const std::vector<DrawItem> draws = proc_.paint(d.control_widget(id));
    EXPECT_FALSE(draws.empty()) << "no draw request for " << id;
    return draws.empty() ? DrawItem(DrawKind::Button, 0) : draws.back();
  };
  DrawItem draw = last_draw_of(1002);
  EXPECT_EQ(draw.kind, DrawKind::Button);
  EXPECT_EQ(draw.text, "Owner");
  EXPECT_EQ(draw.rect, QRect(QPoint(0, 0), d.control_rect(1002).size()));
  EXPECT_EQ(draw.state, 0u);
  d.focus(1002);
  EXPECT_EQ(last_draw_of(1002).state, uint32_t{kStateFocus});
  static_cast<QPushButton*>(d.control_widget(1002))->setDown(true);
  EXPECT_EQ(last_draw_of(1002).state, kStateFocus | kStateSelected);
  d.enable(1002, false);  // which releases it and takes its focus away
  EXPECT_EQ(last_draw_of(1002).state, uint32_t{kStateDisabled});
  // A static made owner-drawn is painted by the procedure inside its edge.
  ASSERT_EQ(d.make_owner_drawn(1010), 1);
  draw = last_draw_of(1010);
  EXPECT_EQ(draw.kind, DrawKind::Static);
  EXPECT_EQ(draw.rect,
            QRect(2, 2, d.control_rect(1010).width() - 4, d.control_rect(1010).height() - 4));
}

TEST_F(DialogTest, ListsAndComboBoxesSortWithItemDataOrAreOwnerDrawn) {
  Dialog& d = open();
  kw::ListBox& list = *d.list(1008);
  for (const char* text : {"mango", "Apple", "kiwi", "banana"}) {
    list.add_string(QString::fromLatin1(text), reinterpret_cast<uintptr_t>(text));
  }
  ASSERT_EQ(list.count(), 4);
  EXPECT_EQ(list.item_text(0), "Apple");
  EXPECT_STREQ(reinterpret_cast<const char*>(list.item_data(2)), "kiwi");
  list.set_selected(-1, true);
  EXPECT_EQ(list.selected_count(), 4);
  EXPECT_TRUE(proc_.commands.empty());  // the program's changes do not notify
  test::double_click_item(d, 1008, 2);
  EXPECT_TRUE(proc_.saw(1008, kListDoubleClick));

  EXPECT_EQ(list.delete_string(0), 3);
  EXPECT_EQ(list.delete_string(7), -1);

  // An owner-drawn list is measured once and paints its items and the rest below them.
  kw::ListBox& drawn = *d.list(1011);
  EXPECT_EQ(drawn.item_height(), 17);
  drawn.add_string("ignored text", 11);  // no strings: only the data is kept
  drawn.add_string("", 22);
  drawn.set_selected(1, true);
  EXPECT_EQ(drawn.item_rect(1).top(), 17);
  EXPECT_EQ(drawn.item_data(0), 11u);
  std::vector<int> selected;
  std::vector<QRect> rest;
  for (const DrawItem& draw : proc_.paint(&drawn)) {
    if (draw.kind == DrawKind::ListItem) {
      EXPECT_EQ(draw.text, "");
      EXPECT_EQ(draw.rect.height(), 17);
      if (draw.state & kStateSelected) selected.push_back(draw.item);
    }
    if (draw.kind == DrawKind::ListBackground) rest.push_back(draw.rect);
  }
  EXPECT_EQ(selected, std::vector<int>{1});
  ASSERT_EQ(rest.size(), 1u);
  EXPECT_EQ(rest[0].top(), 34);
  EXPECT_EQ(rest[0].bottom(), drawn.viewport()->height() - 1);
  // A hidden last row has no place: the rest starts below the last row shown, not over it.
  drawn.setRowHidden(1, true);
  const std::vector<DrawItem> hidden = proc_.paint(&drawn);
  ASSERT_FALSE(hidden.empty());
  EXPECT_EQ(hidden.back().kind, DrawKind::ListBackground);
  EXPECT_EQ(hidden.back().rect.top(), 17);

  kw::ComboBox& combo = *d.combo(1009);
  combo.add_string("proxy.example:3128", 1);
  combo.add_string("alpha:80", 2);
  EXPECT_EQ(combo.item_text(0), "alpha:80");
  EXPECT_EQ(combo.current_selection(), -1);  // adding never selects

  test::pick_combo_item(d, 1009, 1);
  EXPECT_EQ(combo.current_selection(), 1);
  EXPECT_EQ(d.text(1009), "proxy.example:3128");
  EXPECT_TRUE(proc_.saw(1009, kComboSelChange));

  // Enter goes to the dialog as command 1, even when the text names an item, and the focus
  // leaving the combo box notifies. (Typing is driven in the proxy selector's tests.)
  proc_.commands.clear();
  d.set_text(1009, "alpha:80");
  test::key(d, 1009, kVkReturn);
  EXPECT_EQ(combo.current_selection(), 1);
  d.focus(1006);
  EXPECT_EQ(proc_.commands, (std::vector<Command>{{kIdOk, kClicked}, {1009, kComboKillFocus}}));
  EXPECT_EQ(combo.delete_string(1), 1);
  EXPECT_EQ(combo.current_selection(), -1);
}

const MenuItemTemplate kFileItems[] = {
    {"&Load Config File\tCtrl-L", 40001},
    {"", 0, kMenuSeparator},
    {"E&xit Program\tCtrl-X", 40003},
};
const MenuItemTemplate kBarItems[] = {
    {"&File", 0, kMenuPopup, kFileItems},
    {"", 40022, kMenuOwnerDraw},
    {"", 40016, kMenuOwnerDraw | kMenuGrayed},
};
const MenuTemplate kMenu{101, kBarItems};
const Accelerator kKeys[] = {{'L', kKeyCtrl, 40001}, {'X', kKeyCtrl, 40003}};
const AcceleratorTable kAccelerators{113, kKeys};
const ControlTemplate kMenuControls[] = {{1001, Button, "&Go", 7, 7, 50, 14}};
const DialogTemplate kMenuTemplate{902,           "Menus", 197, 135, kDialogMinimizeBox,
                                   kMenuControls, &kMenu};

TEST_F(DialogTest, MenusAndAcceleratorsSendCommands) {
  Dialog d(kMenuTemplate, proc_, nullptr);
  d.set_accelerators(kAccelerators);
  d.show_modeless();
  test::activate(&d);
  MenuBar* bar = d.menu_bar();
  ASSERT_NE(bar, nullptr);
  // Controls lie below the bar; the client area keeps the template's size.
  EXPECT_EQ(d.client_area()->y(), bar->height());
  EXPECT_EQ(d.client_size(), QSize(d.units().x(197), d.units().y(135)));

  // A popup draws a mark only beside checked items: one colour in an unchecked row's strip.
  QMenu* menu = bar->popup(0);
  auto mark_colours = [menu](int row) {
    menu->ensurePolished();
    menu->adjustSize();
    const QImage picture = menu->grab().toImage();
    const QRect r = menu->actionGeometry(menu->actions().at(row));
    std::set<QRgb> colours;
    for (int y = r.top() + 2; y < r.bottom() - 1; ++y) {
      for (int x = r.left() + 2; x < r.left() + r.height(); ++x)
        colours.insert(picture.pixel(x, y));
    }
    return colours.size();
  };
  bar->check_item(40003, true);
  EXPECT_EQ(mark_colours(0), 1u);
  EXPECT_GT(mark_colours(2), 1u);  // row 1 is the separator
  bar->check_item(40003, false);
  EXPECT_EQ(mark_colours(2), 1u);

  EXPECT_TRUE(test::choose_menu(d, 40001));
  EXPECT_FALSE(test::choose_menu(d, 40016));  // greyed
  bar->enable_item(40016, true);
  EXPECT_TRUE(test::choose_menu(d, 40016));
  test::key(d, 1001, 'L', kKeyCtrl);
  EXPECT_EQ(proc_.commands,
            (std::vector<Command>{{40001, kClicked}, {40016, kClicked}, {40001, kAccelerator}}));

  bar->check_item(40003, true);
  EXPECT_TRUE(test::choose_menu(d, 40003));
  EXPECT_TRUE(bar->is_item_checked(40003));  // a choice never toggles the mark itself

  // Owner-drawn bar items are measured by the procedure and drawn highlighted under the pointer.
  EXPECT_EQ(bar->item_rect(40022).width(), 14 + 8);
  test::hover_menu(d, 40016);
  std::vector<int> selected;
  for (const DrawItem& draw : proc_.paint(bar)) {
    if (draw.kind == DrawKind::MenuItem && (draw.state & kStateSelected)) {
      selected.push_back(draw.id);
    }
  }
  EXPECT_EQ(selected, std::vector<int>{40016});
  test::hover_menu(d, 0);
  EXPECT_EQ(bar->hot_item(), -1);
}

TEST_F(DialogTest, WindowsOpenInsideTheAvailableAreaOfTheScreen) {
  const QRect area(0, 0, 1280, 900);
  const struct Row {
    QRect frame, placed;
  } rows[] = {
      {{100, 100, 880, 600}, {100, 100, 880, 600}},  // inside: unchanged
      {{300, 500, 880, 600}, {300, 300, 880, 600}},  // below the bottom: up
      {{900, 50, 500, 300}, {780, 50, 500, 300}},    // past the right edge: left
      {{-40, -10, 300, 200}, {0, 0, 300, 200}},      // above and left: in
      {{200, 200, 1400, 1000}, {0, 0, 1400, 1000}},  // too big: its top-left corner in view
  };
  for (const Row& r : rows) EXPECT_EQ(fit_inside(r.frame, area), r.placed) << r.frame.x();

  // A dialog over an owner in the screen's bottom-right corner opens inside the screen.
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  Dialog owner(kTemplate, proc_, nullptr);
  owner.show_modeless();
  owner.move(screen.bottomRight() - QPoint(owner.width() / 3, owner.height() / 3));
  Dialog near_edge(kMenuTemplate, proc_, &owner);
  near_edge.show_modeless();
  EXPECT_TRUE(screen.contains(near_edge.frameGeometry())) << near_edge.frameGeometry().x();
}

}  // namespace
}  // namespace kw
