// System colours from the application's palette, and 3-D edges drawn with them.
#include "ui/system_colours.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <cmath>

namespace kw {

namespace {

QColor palette_colour(SysColour which) {
  const QPalette palette = QApplication::palette();
  switch (which) {
    case SysColour::ButtonFace:
      return palette.color(QPalette::Button);
    case SysColour::ButtonShadow:
      return palette.color(QPalette::Dark);
    case SysColour::ButtonHighlight:
      return palette.color(QPalette::Light);
    case SysColour::ButtonLight:
      return palette.color(QPalette::Midlight);
    case SysColour::DarkShadow:
      return palette.color(QPalette::Shadow);
    case SysColour::Highlight:
      return palette.color(QPalette::Highlight);
    case SysColour::HighlightText:
      return palette.color(QPalette::HighlightedText);
    case SysColour::Window:
      return palette.color(QPalette::Base);
    case SysColour::WindowText:
      return palette.color(QPalette::Text);
    case SysColour::GrayText:
      return palette.color(QPalette::Disabled, QPalette::Text);
  }
  return palette.color(QPalette::Button);
}

}  // namespace

// Plain 8-bit colours: what a painted pixel reads back as.
QColor sys_colour(SysColour which) { return QColor(palette_colour(which).rgb()); }

namespace {

constexpr double kDisabledContrast = 3.0;

double channel_luminance(int value) {
  const double c = value / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c) {
  return 0.2126 * channel_luminance(c.red()) + 0.7152 * channel_luminance(c.green()) +
         0.0722 * channel_luminance(c.blue());
}

QColor mixed(const QColor& from, const QColor& to, int step, int steps) {
  auto blend = [&](int a, int b) { return a + (b - a) * step / steps; };
  return QColor(blend(from.red(), to.red()), blend(from.green(), to.green()),
                blend(from.blue(), to.blue()));
}

}  // namespace

double contrast_ratio(const QColor& a, const QColor& b) {
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor disabled_text_colour(const QColor& background) {
  const QColor grey = sys_colour(SysColour::GrayText);
  const QColor end = contrast_ratio(Qt::black, background) >= contrast_ratio(Qt::white, background)
                         ? QColor(Qt::black)
                         : QColor(Qt::white);
  constexpr int kSteps = 32;
  for (int step = 0; step < kSteps; ++step) {
    const QColor c = mixed(grey, end, step, kSteps);
    if (contrast_ratio(c, background) >= kDisabledContrast) return c;
  }
  return end;
}

namespace {

// One line of an edge: top and left in `lit`, bottom and right in `dark`.
QRect draw_line(QPainter& painter, QRect r, const QColor& lit, const QColor& dark, unsigned sides) {
  if (r.width() <= 0 || r.height() <= 0) return r;
  if (sides & kSideTop) painter.fillRect(r.left(), r.top(), r.width(), 1, lit);
  if (sides & kSideLeft) painter.fillRect(r.left(), r.top(), 1, r.height(), lit);
  if (sides & kSideBottom) painter.fillRect(r.left(), r.bottom(), r.width(), 1, dark);
  if (sides & kSideRight) painter.fillRect(r.right(), r.top(), 1, r.height(), dark);
  return r.adjusted(sides & kSideLeft ? 1 : 0, sides & kSideTop ? 1 : 0,
                    sides & kSideRight ? -1 : 0, sides & kSideBottom ? -1 : 0);
}

}  // namespace

QRect draw_edge(QPainter& painter, QRect rect, unsigned edge, unsigned sides) {
  const QColor light = sys_colour(SysColour::ButtonLight);
  const QColor highlight = sys_colour(SysColour::ButtonHighlight);
  const QColor shadow = sys_colour(SysColour::ButtonShadow);
  const QColor dark = sys_colour(SysColour::DarkShadow);
  if (edge & kRaisedOuter) rect = draw_line(painter, rect, light, dark, sides);
  if (edge & kSunkenOuter) rect = draw_line(painter, rect, shadow, highlight, sides);
  if (edge & kRaisedInner) rect = draw_line(painter, rect, highlight, shadow, sides);
  if (edge & kSunkenInner) rect = draw_line(painter, rect, dark, light, sides);
  return rect;
}

}  // namespace kw
