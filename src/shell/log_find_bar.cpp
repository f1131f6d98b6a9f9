// The log window's find bar; see log_find_bar.h.
#include "shell/log_find_bar.h"

#include <QPainter>
#include <algorithm>

#include "ui/controls.h"
#include "ui/dialog_units.h"

namespace kw {
namespace {

constexpr char kLabel[] = "Find:";
constexpr int kMargin = 3;
constexpr int kEditWidth = 180;
constexpr int kFindLimit = 255;

}  // namespace

LogFindBar::LogFindBar(ControlHost* host, int edit_id, QWidget* parent) : QWidget(parent) {
  setFont(sans_font(8, 700));
  setAutoFillBackground(true);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  const ControlTemplate t{edit_id, ControlKind::Edit, "", 0, 0, 0, 0, 0};
  edit_ = new EditControl(host, t, this);
  edit_->set_limit(kFindLimit);
  edit_->set_subclassed(true);
}

int LogFindBar::label_width() const {
  return fontMetrics().horizontalAdvance(QLatin1String(kLabel)) + 2 * kMargin;
}

QSize LogFindBar::sizeHint() const {
  return QSize(label_width() + kEditWidth, edit_->sizeHint().height() + 2 * kMargin);
}

void LogFindBar::set_result(const QString& text) {
  result_ = text;
  update();
}

void LogFindBar::resizeEvent(QResizeEvent*) {
  const int edit_height = edit_->sizeHint().height();
  edit_->setGeometry(label_width(), (height() - edit_height) / 2,
                     std::min(kEditWidth, std::max(width() - label_width() - kMargin, 0)),
                     edit_height);
}

void LogFindBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(Qt::white);
  p.setFont(font());
  p.drawText(QRect(kMargin, 0, label_width(), height()), Qt::AlignLeft | Qt::AlignVCenter,
             QLatin1String(kLabel));
  const int left = edit_->geometry().right() + 2 * kMargin;
  p.drawText(QRect(left, 0, std::max(width() - left - kMargin, 0), height()),
             Qt::AlignLeft | Qt::AlignVCenter, result_);
}

}  // namespace kw
