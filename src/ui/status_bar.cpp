// The status bar: sunken parts with one line of text each.
#include "ui/status_bar.h"

#include <QPainter>

#include "ui/system_colours.h"

namespace kw {

StatusBar::StatusBar(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void StatusBar::set_parts(std::vector<int> right_edges) {
  if (right_edges.empty()) right_edges.push_back(-1);
  edges_ = std::move(right_edges);
  texts_.resize(edges_.size());
  update();
}

void StatusBar::set_text(int part, const QString& text) {
  if (part < 0 || part >= part_count()) return;
  texts_[part] = text;
  update(part_rect(part));
}

QString StatusBar::text(int part) const {
  return part >= 0 && part < part_count() ? texts_[part] : QString();
}

QRect StatusBar::part_rect(int part) const {
  if (part < 0 || part >= part_count()) return QRect();
  const int left = part == 0 ? 0 : (edges_[part - 1] < 0 ? width() : edges_[part - 1]);
  const int right = edges_[part] < 0 ? width() : std::min(edges_[part], width());
  return QRect(left, 2, std::max(right - left - 2, 0), height() - 2);
}

QSize StatusBar::sizeHint() const { return QSize(200, QFontMetrics(font()).height() + 8); }

void StatusBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), sys_colour(SysColour::ButtonFace));
  painter.setPen(sys_colour(SysColour::WindowText));
  for (int part = 0; part < part_count(); ++part) {
    const QRect inside = draw_edge(painter, part_rect(part), kSunkenOuter);
    painter.drawText(inside.adjusted(2, 0, -2, 0),
                     Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, texts_[part]);
  }
}

}  // namespace kw
