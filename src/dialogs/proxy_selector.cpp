// The proxy selector's template and procedure; what the edits do to the list is the model's
// (proxies/proxy_selector_model.h), the test is the tester's (proxies/proxy_tester.h).
#include "dialogs/proxy_selector.h"

#include <QMetaObject>
#include <QPainter>
#include <QPointer>
#include <algorithm>

#include "dialogs/message_dialogs.h"
#include "dialogs/new_proxy_dialog.h"
#include "proxies/proxy_selector_model.h"
#include "proxies/proxy_tester.h"
#include "skin/skinned_dialog.h"
#include "ui/dialog.h"
#include "ui/help_request.h"
#include "ui/text.h"

namespace kw {
namespace {

using enum ControlKind;

const ControlTemplate kSelectorControls[] = {
    {kNoId, GroupBox, "", 7, 7, 191, 33},
    {kProxyCombo, ComboBox, "", 16, 19, 142, 73, kSorted | kVScroll},
    {kProxyAddButton, Button, "&Add", 165, 18, 24, 15, kOwnerDraw},
    {kProxyOkButton, Button, "&OK", 7, 47, 50, 14, kOwnerDraw},
    {kProxyCancelButton, Button, "&Cancel", 69, 47, 50, 14, kOwnerDraw},
    {kProxyTestButton, Button, "&Test", 148, 47, 50, 14, kOwnerDraw},
    {kProxyStatusLine, Static, "", 7, 68, 191, 13, kSunken | kCentreVertically},
    {kProxyCaption, Static, "HTTP Proxies", 16, 7, 45, 8},
};
const DialogTemplate kSelectorTemplate{kProxySelectorTemplate, "External Proxy Selector", 205, 87,
                                       0, kSelectorControls};

QColor colour_of(Rgb rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// The combo box as the model's item list.
class ComboItems : public ProxyItemList {
 public:
  void attach(kw::ComboBox* box) { box_ = box; }
  int add(const std::string& text, ProxyEntry* entry) override {
    return box_->add_string(from_8bit(text), reinterpret_cast<uintptr_t>(entry));
  }
  void remove(int index) override { box_->delete_string(index); }
  int count() const override { return box_->count(); }
  ProxyEntry* entry(int index) const override {
    return reinterpret_cast<ProxyEntry*>(box_->item_data(index));
  }
  int selection() const override { return box_->current_selection(); }
  void select(int index) override { box_->set_current_selection(index); }

 private:
  kw::ComboBox* box_ = nullptr;
};

class ProxySelectorProc : public SkinnedDialogProc, public ProxyTestView {
 public:
  ProxySelectorProc() : SkinnedDialogProc(kFace2Texture) {}

  void on_init(Dialog& d) override {
    dialog_ = &d;
    status_font_ = sans_font(8, 700);
    d.make_owner_drawn(kProxyCaption);
    d.make_owner_drawn(kProxyStatusLine);
    d.subclass(kProxyCombo);
    d.set_limit(kProxyCombo, kProxyTextLimit);
    items_.attach(d.combo(kProxyCombo));
    model_.item_refused = [&d] { show_application_error_box(&d, "Error adding proxy item"); };
    // The tester sets the status from its threads; the line is repainted on this one.
    QPointer<Dialog> window(&d);
    status_.changed = [window] {
      QMetaObject::invokeMethod(window, [window] { if (window) window->redraw(kProxyStatusLine); },
                                Qt::AutoConnection);
    };
    model_.load();
  }

  void on_command(Dialog& d, int id, int code) override {
    if (id == kProxyCombo) {
      if (code == kComboEditUpdate) model_.edit_update();
      if (code == kComboEditChange) {
        model_.edit_change();
        typed_ = d.text(kProxyCombo);
      }
      if (code == kComboSelChange || code == kComboKillFocus) commit();
      return;
    }
    if (code != kClicked && code != kAccelerator) return;
    switch (id) {
      case kIdOk:  // Enter
        if (model_.edit_pending()) {
          commit();
          d.focus(kProxyCombo);
        } else {
          ok();
        }
        break;
      case kProxyOkButton:
        commit();
        ok();
        break;
      case kProxyCancelButton:
        close();
        break;
      case kProxyAddButton:
        add();
        break;
      case kProxyTestButton:
        test();
        break;
      default:
        break;
    }
  }

  // The close box undoes the staged edits as Cancel does: ending with them in place would
  // leave marked and replaced entries in the list.
  void on_close(Dialog&) override { close(); }

  void on_help(Dialog&) override { request_help(kProxySelectorHelpTopic); }

  bool on_input(Dialog&, int id, const InputEvent& event) override {
    return id == kProxyCombo && is_typed_space(event);
  }

  void on_draw_item(Dialog& d, DrawItem& item) override {
    if (item.id == kProxyStatusLine) {
      draw_status(item);
      return;
    }
    SkinnedDialogProc::on_draw_item(d, item);
  }

  // ProxyTestView, from the tester's threads.
  void set_proxy_status(const char* text, Rgb colour) override { status_.set(text, colour); }
  void test_ended() override {
    QPointer<Dialog> window(dialog_);
    QMetaObject::invokeMethod(
        dialog_,
        [this, window] {
          if (!window) return;
          testing_ = false;
          window->set_text(kProxyTestButton, "Test");
          window->enable_range(kProxyOkButton, kProxyCombo, true);
        },
        Qt::QueuedConnection);
  }

 private:
  // Not once the dialog has ended: the focus leaving the closing window would stage an edit
  // after OK or Cancel settled the list.
  void commit() {
    if (!dialog_->has_ended()) model_.commit_edit(typed_);
  }

  void ok() {
    if (testing_) return;
    model_.ok();
    dialog_->end(1);
  }

  void close() {
    if (testing_) return;
    model_.cancel();
    dialog_->end(1);
  }

  void add() {
    std::string text;
    if (ask_new_proxy(dialog_, &text)) model_.add(text);
  }

  void test() {
    if (testing_) {
      ProxyTester::abort();
      return;
    }
    const int selected = items_.selection();
    if (selected < 0) return;
    ProxyEntry* entry = items_.entry(selected);
    if (entry == nullptr) return;
    dialog_->set_text(kProxyTestButton, "Abort");
    dialog_->enable_range(kProxyOkButton, kProxyCombo, false);
    testing_ = tester_.start(*this, *entry);
    if (!testing_) {
      dialog_->set_text(kProxyTestButton, "&Test");
      dialog_->enable_range(kProxyOkButton, kProxyCombo, true);
    }
  }

  // A blue-to-red gradient, full red from x = 255, under the status text in its colour with a
  // black outline.
  void draw_status(DrawItem& item) {
    QPainter& p = *item.painter;
    const QRect r = item.rect;
    for (int x = r.left(); x <= r.right(); ++x) {
      p.setPen(QColor(std::min(x, 255), 0, std::max(255 - x, 0)));
      p.drawLine(x, 0, x, r.bottom());
    }
    const QString text = from_8bit(status_.text()).left(256);
    p.setFont(status_font_);
    const int width = p.fontMetrics().horizontalAdvance(text);
    const QRect place(r.right() / 2 - width / 2, 0, width + 1, r.height());
    p.setPen(Qt::black);
    for (QPoint offset : {QPoint(0, -1), QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1)}) {
      p.drawText(place.translated(offset), Qt::AlignLeft | Qt::AlignTop, text);
    }
    p.setPen(colour_of(status_.colour()));
    p.drawText(place, Qt::AlignLeft | Qt::AlignTop, text);
  }

  Dialog* dialog_ = nullptr;
  QFont status_font_;
  ComboItems items_;
  ProxyStatus status_;
  ProxySelectorModel model_{items_, status_};
  std::string typed_;
  bool testing_ = false;
  // Last: destroyed first, so a test's thread has ended before anything it reports to goes.
  ProxyTester tester_;
};

}  // namespace

int open_proxy_selector(QWidget* owner) {
  ProxySelectorProc proc;
  return run_dialog(kSelectorTemplate, proc, owner);
}

}  // namespace kw
