// Placing top-level windows inside their screen; see window_placement.h.
#include "ui/window_placement.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QWidget>

namespace kw {
namespace {

// What a window manager adds around a window (title bar and borders) when no window shown
// yet tells: a little more than common frames, so a guess never leaves a window cut.
constexpr QMargins kGuessedFrame(8, 32, 8, 8);

// The frame around a window's client area: its own once it has been shown, else that of a
// window already on the screen, else the guess.
QMargins frame_margins(const QWidget* window) {
  auto margins_of = [](const QWidget* w) {
    const QRect frame = w->frameGeometry(), client = w->geometry();
    return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                    frame.right() - client.right(), frame.bottom() - client.bottom());
  };
  if (window->isVisible()) return margins_of(window);
  for (const QWidget* w : QApplication::topLevelWidgets()) {
    if (w != window && w->isVisible() && w->isWindow()) return margins_of(w);
  }
  return kGuessedFrame;
}

QRect available_area_at(QPoint where) {
  const QScreen* screen = QGuiApplication::screenAt(where);
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->availableGeometry() : QRect();
}

}  // namespace

QRect fit_inside(const QRect& frame, const QRect& area) {
  QRect r = frame;
  if (r.right() > area.right()) r.moveRight(area.right());
  if (r.bottom() > area.bottom()) r.moveBottom(area.bottom());
  if (r.left() < area.left()) r.moveLeft(area.left());
  if (r.top() < area.top()) r.moveTop(area.top());
  return r;
}

void place_inside_screen(QWidget* window, QPoint wanted) {
  const QMargins margins = frame_margins(window);
  const QRect area = available_area_at(wanted);
  if (area.isEmpty()) {
    window->move(wanted);
    return;
  }
  const QRect frame = QRect(wanted, window->size()).marginsAdded(margins);
  const QRect fitted = fit_inside(frame, area);
  // move() places the frame's top-left corner of a top-level window.
  window->move(fitted.topLeft());
}

QPoint centred_position(const QWidget* window, const QRect& over) {
  const QMargins margins = frame_margins(window);
  const QSize frame = window->size().grownBy(margins);
  return over.center() - QPoint(frame.width() / 2, frame.height() / 2) +
         QPoint(margins.left(), margins.top());
}

void keep_inside_screen(QWidget* window) {
  if (window->isVisible() || window->testAttribute(Qt::WA_Moved)) {
    place_inside_screen(window, window->geometry().topLeft());
    return;
  }
  const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  place_inside_screen(window, centred_position(window, screen->availableGeometry()));
}

}  // namespace kw
