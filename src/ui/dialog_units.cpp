// Dialog units to pixels, and the fonts the templates name.
#include "ui/dialog_units.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace kw {

DialogUnits DialogUnits::for_screen(const QScreen* screen) {
  if (!screen) screen = QGuiApplication::primaryScreen();
  return DialogUnits(screen ? screen->logicalDotsPerInch() : 96.0);
}

int DialogUnits::x(int units) const { return static_cast<int>(std::lround(units * 1.5 * scale_)); }

int DialogUnits::y(int units) const {
  return static_cast<int>(std::lround(units * 1.625 * scale_));
}

QRect DialogUnits::rect(int x_units, int y_units, int width, int height) const {
  return QRect(x(x_units), y(y_units), x(width), y(height));
}

QFont dialog_font(const DialogUnits& units) {
  static const QString alphabet =
      QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setStyleHint(QFont::SansSerif);
  // The average width of the alphabet is how the designed platform measures a font's base
  // unit; step down from 8 points until ours is no wider than the designed one.
  const double target = units.base_x() + 0.05;
  double points = 8.0;
  for (; points > 6.0; points -= 0.25) {
    font.setPointSizeF(points);  // points already scale with the screen's dpi
    QFontMetricsF metrics(font);
    if (metrics.horizontalAdvance(alphabet) / 52.0 <= target) break;
  }
  return font;
}

QFont fixed_font(int pixel_height, bool bold) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::Monospace);
  font.setPixelSize(pixel_height);
  font.setBold(bold);
  return font;
}

QFont sans_font(int pixel_height, int weight) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixel_height);
  font.setWeight(weight >= 700 ? QFont::Bold : QFont::Normal);
  return font;
}

}  // namespace kw
