#include "support/ui_driver.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include "ui/menu_bar.h"

namespace kw::test {
namespace {

Qt::KeyboardModifiers qt_modifiers(uint32_t modifiers) {
  Qt::KeyboardModifiers m;
  if (modifiers & kKeyShift) m |= Qt::ShiftModifier;
  if (modifiers & kKeyCtrl) m |= Qt::ControlModifier;
  if (modifiers & kKeyAlt) m |= Qt::AltModifier;
  return m;
}

QWidget* focus_or_dialog(Dialog& d) {
  QWidget* w = d.focusWidget();
  return w ? w : &d;
}

}  // namespace

void press(Dialog& d, int id) {
  QWidget* w = d.control_widget(id);
  if (!w) return;
  // A check box takes clicks on its box and its text only: click the box.
  const QPoint where =
      qobject_cast<QCheckBox*>(w) ? QPoint(w->height() / 2, w->height() / 2) : w->rect().center();
  QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, where);
}

void type_into(Dialog& d, int id, std::string_view text) {
  d.focus(id);
  Control* c = d.control(id);
  if (!c) return;
  QWidget* target = c->widget();
  for (char ch : text) {
    const QChar q = QChar::fromLatin1(ch);
    int qt = 0;
    if (q.isLetterOrNumber() && ch < 0x7F) qt = q.toUpper().unicode();
    if (ch == ' ') qt = Qt::Key_Space;
    QKeyEvent press(QEvent::KeyPress, qt, Qt::NoModifier, QString(q));
    QKeyEvent release(QEvent::KeyRelease, qt, Qt::NoModifier, QString(q));
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
  }
}

void key(Dialog& d, int id, int virtual_key, uint32_t modifiers) {
  QWidget* target = id ? d.control_widget(id) : focus_or_dialog(d);
  if (!target) return;
  if (id) d.focus(id);
  QTest::keyClick(target, static_cast<Qt::Key>(qt_key(virtual_key)), qt_modifiers(modifiers));
}

void send_escape(Dialog& d) { QTest::keyClick(focus_or_dialog(d), Qt::Key_Escape); }

void send_enter(Dialog& d) { QTest::keyClick(focus_or_dialog(d), Qt::Key_Return); }

void send_help(Dialog& d) { QTest::keyClick(focus_or_dialog(d), Qt::Key_F1); }

void close_box(Dialog& d) { d.close(); }

void click_item(Dialog& d, int id, int index, uint32_t modifiers) {
  ListBox* l = d.list(id);
  if (!l) return;
  QTest::mouseClick(l->viewport(), Qt::LeftButton, qt_modifiers(modifiers),
                    l->item_rect(index).center());
}

void double_click_item(Dialog& d, int id, int index) {
  ListBox* l = d.list(id);
  if (!l) return;
  const QPoint p = l->item_rect(index).center();
  QTest::mouseClick(l->viewport(), Qt::LeftButton, Qt::NoModifier, p);
  QTest::mouseDClick(l->viewport(), Qt::LeftButton, Qt::NoModifier, p);
}

void pick_combo_item(Dialog& d, int id, int index) {
  ComboBox* c = d.combo(id);
  if (!c || index < 0 || index >= c->count()) return;
  c->setCurrentIndex(index);
  emit c->activated(index);
}

bool choose_menu(Dialog& d, int id) {
  MenuBar* bar = d.menu_bar();
  return bar && bar->choose(id);
}

void hover_menu(Dialog& d, int id) {
  MenuBar* bar = d.menu_bar();
  if (!bar) return;
  if (id == 0) {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(bar, &leave);
    return;
  }
  const QPoint p = bar->item_rect(id).center();
  QMouseEvent move(QEvent::MouseMove, p, bar->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(bar, &move);
}

void activate(QWidget* window) {
  window->activateWindow();
  QApplication::setActiveWindow(window);
  (void)QTest::qWaitForWindowActive(window, 5000);
}

// A modal dialog that the action leaves running would wait for a user forever; it is failed
// and ended after a generous wait instead.
void when_shown(std::function<void(Dialog&)> action) {
  set_dialog_observer([action = std::move(action)](Dialog& d) {
    set_dialog_observer(nullptr);  // the action may wait for a dialog of its own
    if (!(d.dialog_template().style & kDialogChild)) activate(&d);
    action(d);
    if (d.is_running() && d.isModal()) {
      QTimer::singleShot(10000, &d, [&d] {
        if (!d.is_running()) return;
        ADD_FAILURE() << "dialog " << d.template_id() << " was left running by the test";
        d.end(kLeftRunning);
      });
    }
  });
}

QImage grab(QWidget* widget) { return widget->grab().toImage(); }

}  // namespace kw::test
