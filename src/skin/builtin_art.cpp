// The built-in textures, the About picture and the icons, painted in code.
#include "skin/builtin_art.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <utility>

namespace kw {
namespace {

// --- periodic noise ---
//
// Textures tile, so every noise here repeats exactly over the texture's size: a lattice of
// random values with a whole number of cells across each side, read with wrap-around and
// smoothly interpolated. Sums of such lattices at doubling cell counts give natural mottling.

uint32_t mix(uint32_t h) {
  h ^= h >> 16;
  h *= 0x7feb352dU;
  h ^= h >> 15;
  h *= 0x846ca68bU;
  h ^= h >> 16;
  return h;
}

// A random value in [0, 1) for a lattice point.
double lattice(int x, int y, uint32_t seed) {
  const uint32_t h = mix(static_cast<uint32_t>(x) * 0x9E3779B1U ^
                         mix(static_cast<uint32_t>(y) + seed * 0x85EBCA77U));
  return (h >> 8) / 16777216.0;
}

double smooth(double t) { return t * t * (3.0 - 2.0 * t); }

// Value noise over a tile of `cells_x` by `cells_y` cells; u and v in cells.
double value_noise(double u, double v, int cells_x, int cells_y, uint32_t seed) {
  const int x0 = static_cast<int>(std::floor(u));
  const int y0 = static_cast<int>(std::floor(v));
  const double fx = smooth(u - x0), fy = smooth(v - y0);
  auto at = [&](int x, int y) {
    return lattice(((x % cells_x) + cells_x) % cells_x, ((y % cells_y) + cells_y) % cells_y, seed);
  };
  const double top = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * fx;
  const double bottom = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * fx;
  return top + (bottom - top) * fy;
}

// Fractal sum in [0, 1] of `octaves` lattices, the first with the given cells over the tile.
double fbm(int x, int y, int width, int height, int cells_x, int cells_y, int octaves,
           uint32_t seed) {
  double sum = 0, amplitude = 1, total = 0;
  for (int o = 0; o < octaves; ++o) {
    const double u = (x + 0.5) * cells_x / width, v = (y + 0.5) * cells_y / height;
    sum += amplitude * value_noise(u, v, cells_x, cells_y, seed + o * 101);
    total += amplitude;
    amplitude *= 0.5;
    cells_x *= 2;
    cells_y *= 2;
  }
  return sum / total;
}

// Fine grain: an independent value per pixel, in [-1, 1).
double grain(int x, int y, uint32_t seed) { return lattice(x, y, seed) * 2.0 - 1.0; }

int clamp_byte(double v) { return std::clamp(static_cast<int>(std::lround(v)), 0, 255); }

QRgb shade(QColor base, double delta) {
  return qRgb(clamp_byte(base.red() + delta), clamp_byte(base.green() + delta),
              clamp_byte(base.blue() + delta * 0.9));
}

// --- the textures ---

// Background: light sandstone, softly mottled, with a fine grain and rare dark specks.
QImage paint_background() {
  QImage image(128, 128, QImage::Format_RGB32);
  const QColor base(196, 188, 171);
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 128; ++x) {
      double d = (fbm(x, y, 128, 128, 4, 4, 5, 11) - 0.5) * 30.0;
      d += grain(x, y, 12) * 3.5;
      if (lattice(x, y, 13) < 0.012) d -= 14;
      image.setPixel(x, y, shade(base, d));
    }
  }
  return image;
}

// Face One: parchment with long horizontal fibres and faint clouding.
QImage paint_face_one() {
  QImage image(128, 128, QImage::Format_RGB32);
  const QColor base(228, 219, 196);
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 128; ++x) {
      double d = (fbm(x, y, 128, 128, 2, 32, 3, 21) - 0.5) * 14.0;
      d += (fbm(x, y, 128, 128, 3, 3, 4, 22) - 0.5) * 12.0;
      d += grain(x, y, 23) * 2.0;
      image.setPixel(x, y, shade(base, d));
    }
  }
  return image;
}

// Face Two: blue-grey linen, threads four pixels wide crossing over and under.
QImage paint_face_two() {
  QImage image(128, 128, QImage::Format_RGB32);
  const QColor base(152, 166, 180);
  constexpr double kPi = std::numbers::pi;
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 128; ++x) {
      const bool warp_on_top = ((x / 4) + (y / 4)) % 2 == 0;
      // Across a thread the light falls off towards both of its edges.
      const double thread = warp_on_top ? std::sin(kPi * ((x % 4) + 0.5) / 4.0)
                                        : std::sin(kPi * ((y % 4) + 0.5) / 4.0);
      double d = (thread - 0.7) * 14.0;
      d += (fbm(x, y, 128, 128, 4, 4, 4, 31) - 0.5) * 14.0;
      d += grain(x, y, 32) * 2.5;
      image.setPixel(x, y, shade(base, d));
    }
  }
  return image;
}

// Inset: brushed chestnut, each row with its own slow streak.
QImage paint_inset() {
  QImage image(300, 35, QImage::Format_RGB32);
  const QColor base(124, 66, 42);
  for (int y = 0; y < 35; ++y) {
    for (int x = 0; x < 300; ++x) {
      double d = (value_noise((x + 0.5) * 6 / 300.0, y, 6, 35, 41) - 0.5) * 16.0;
      d += (value_noise((x + 0.5) * 25 / 300.0, y, 25, 35, 42) - 0.5) * 8.0;
      d += (fbm(x, y, 300, 35, 5, 1, 3, 43) - 0.5) * 14.0;
      d += grain(x, y, 44) * 3.0;
      image.setPixel(x, y,
                     qRgb(clamp_byte(base.red() + d), clamp_byte(base.green() + d * 0.6),
                          clamp_byte(base.blue() + d * 0.45)));
    }
  }
  return image;
}

// Button: brushed pewter. Rows 0 to 7 are a shadow band, so a pushed button (copied from the
// top) looks pressed in; below it the metal is lit from above.
QImage paint_button() {
  QImage image(163, 35, QImage::Format_RGB32);
  const QColor base(214, 212, 206);
  for (int y = 0; y < 35; ++y) {
    const double light = y < 8 ? -20.0 + y * 2.0 : 14.0 - (y - 8) * 0.9;
    for (int x = 0; x < 163; ++x) {
      double d = light;
      d += (value_noise((x + 0.5) * 8 / 163.0, y, 8, 35, 51) - 0.5) * 7.0;
      d += grain(x, y, 52) * 2.0;
      image.setPixel(x, y, shade(base, d));
    }
  }
  return image;
}

// --- the About picture: a kestrel hovering over evening hills ---

QPainterPath kestrel_path() {
  // A falcon seen from below, gliding: long pointed wings, small round head, long tail with a
  // rounded end; about 100 units wide and 90 high.
  QPainterPath bird;
  bird.addEllipse(QRectF(43, 28, 14, 36));    // body
  bird.addEllipse(QRectF(44.5, 19, 11, 11));  // head
  QPainterPath left;
  left.moveTo(46, 34);
  left.cubicTo(34, 27, 16, 30, 1, 44);   // leading edge, bowed forward
  left.cubicTo(16, 43, 30, 48, 45, 52);  // trailing edge back to the body
  left.closeSubpath();
  QPainterPath right;
  right.moveTo(54, 34);
  right.cubicTo(66, 27, 84, 30, 99, 44);
  right.cubicTo(84, 43, 70, 48, 55, 52);
  right.closeSubpath();
  QPainterPath tail;
  tail.moveTo(45.5, 58);
  tail.lineTo(43, 84);
  tail.quadTo(50, 90, 57, 84);
  tail.lineTo(54.5, 58);
  tail.closeSubpath();
  return bird.united(left).united(right).united(tail);
}

QPainterPath rect_path(const QRectF& rect) {
  QPainterPath path;
  path.addRect(rect);
  return path;
}

QImage paint_about() {
  QImage image(132, 121, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 121);
  sky.setColorAt(0.0, QColor(92, 122, 160));
  sky.setColorAt(0.55, QColor(196, 178, 168));
  sky.setColorAt(0.78, QColor(238, 196, 142));
  p.fillRect(image.rect(), sky);
  // Low sun behind the hills.
  QRadialGradient sun(QPointF(96, 88), 26);
  sun.setColorAt(0.0, QColor(255, 236, 190));
  sun.setColorAt(0.45, QColor(252, 214, 150, 220));
  sun.setColorAt(1.0, QColor(252, 214, 150, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(sun);
  p.drawEllipse(QPointF(96, 88), 26, 26);
  // Two ranges of hills.
  QPainterPath far_hills;
  far_hills.moveTo(0, 94);
  far_hills.cubicTo(30, 80, 52, 90, 74, 86);
  far_hills.cubicTo(98, 82, 116, 90, 132, 84);
  far_hills.lineTo(132, 121);
  far_hills.lineTo(0, 121);
  p.setBrush(QColor(124, 132, 120));
  p.drawPath(far_hills);
  QPainterPath near_hills;
  near_hills.moveTo(0, 106);
  near_hills.cubicTo(24, 96, 60, 110, 86, 102);
  near_hills.cubicTo(106, 96, 120, 104, 132, 100);
  near_hills.lineTo(132, 121);
  near_hills.lineTo(0, 121);
  QLinearGradient field(0, 96, 0, 121);
  field.setColorAt(0, QColor(118, 128, 72));
  field.setColorAt(1, QColor(78, 88, 50));
  p.setBrush(field);
  p.drawPath(near_hills);
  // The bird, high in the sky.
  p.save();
  p.translate(16, 12);
  p.scale(0.8, 0.8);
  const QPainterPath bird = kestrel_path();
  QLinearGradient plumage(0, 20, 0, 90);
  plumage.setColorAt(0.0, QColor(168, 96, 56));
  plumage.setColorAt(1.0, QColor(124, 70, 44));
  p.setBrush(plumage);
  p.setPen(QPen(QColor(48, 34, 28), 1.4));
  p.drawPath(bird);
  // Dark wing tips and trailing edges, a dark band across the tail, a blue-grey head.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(52, 40, 34));
  p.drawPath(bird.intersected(rect_path(QRectF(0, 0, 18, 60))));
  p.drawPath(bird.intersected(rect_path(QRectF(82, 0, 18, 60))));
  p.drawPath(bird.intersected(rect_path(QRectF(36, 80, 28, 4))));
  p.setBrush(QColor(112, 124, 142));
  p.drawEllipse(QRectF(45.5, 20, 9, 8));
  p.restore();
  p.setPen(QColor(60, 52, 48));
  p.setBrush(Qt::NoBrush);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.drawRect(image.rect().adjusted(0, 0, -1, -1));
  return image;
}

// --- icons ---

QImage transparent(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

const QColor kOutline(40, 34, 30);

// The program: a hovering kestrel on a round blue-grey badge.
QImage paint_program_icon() {
  QImage image = transparent(32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient badge(QPointF(12, 10), 22);
  badge.setColorAt(0, QColor(206, 218, 232));
  badge.setColorAt(1, QColor(112, 132, 156));
  p.setBrush(badge);
  p.setPen(QPen(kOutline, 1.2));
  p.drawEllipse(QRectF(1.5, 1.5, 29, 29));
  p.translate(3.5, 4.5);
  p.scale(0.25, 0.25);
  p.setBrush(QColor(156, 84, 46));
  p.setPen(QPen(kOutline, 4.5));
  p.drawPath(kestrel_path());
  return image;
}

// Editor messages: a parchment note with a red exclamation mark.
QImage paint_message_icon() {
  QImage image = transparent(32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath sheet;
  sheet.moveTo(5.5, 2.5);
  sheet.lineTo(21.5, 2.5);
  sheet.lineTo(27.5, 8.5);
  sheet.lineTo(27.5, 29.5);
  sheet.lineTo(5.5, 29.5);
  sheet.closeSubpath();
  p.setBrush(QColor(238, 228, 202));
  p.setPen(QPen(kOutline, 1.2));
  p.drawPath(sheet);
  QPainterPath fold;
  fold.moveTo(21.5, 2.5);
  fold.lineTo(21.5, 8.5);
  fold.lineTo(27.5, 8.5);
  p.setBrush(QColor(204, 190, 160));
  p.drawPath(fold);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(186, 36, 28));
  QPainterPath mark;
  mark.moveTo(14, 8);
  mark.lineTo(19, 8);
  mark.lineTo(17.6, 20);
  mark.lineTo(15.4, 20);
  mark.closeSubpath();
  p.drawPath(mark);
  p.drawEllipse(QRectF(14.5, 22, 4, 4));
  return image;
}

// Save Last Config: a disk.
QImage paint_save_icon() {
  QImage image = transparent(16);
  QPainter p(&image);
  p.setPen(kOutline);
  p.setBrush(QColor(58, 86, 130));
  p.drawRect(1, 1, 13, 13);
  p.fillRect(4, 2, 7, 4, QColor(214, 218, 224));  // shutter
  p.fillRect(8, 3, 2, 2, QColor(58, 86, 130));
  p.fillRect(3, 8, 9, 6, QColor(244, 240, 228));  // label
  p.setPen(QColor(150, 140, 130));
  p.drawLine(4, 10, 10, 10);
  p.drawLine(4, 12, 10, 12);
  return image;
}

// Reload Last Config: a circling arrow.
QImage paint_reload_icon() {
  QImage image = transparent(16);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(kOutline, 3.6, Qt::SolidLine, Qt::FlatCap));
  p.drawArc(QRectF(2.5, 2.5, 11, 11), 60 * 16, 280 * 16);
  p.setPen(QPen(QColor(52, 140, 96), 2.0, Qt::SolidLine, Qt::FlatCap));
  p.drawArc(QRectF(2.5, 2.5, 11, 11), 62 * 16, 276 * 16);
  QPainterPath head;
  head.moveTo(9, 0.5);
  head.lineTo(15, 4.5);
  head.lineTo(8.5, 7.5);
  head.closeSubpath();
  p.setPen(QPen(kOutline, 1.0));
  p.setBrush(QColor(52, 140, 96));
  p.drawPath(head);
  return image;
}

// Launch Auto-Run Program: a small window with a start arrow.
QImage paint_auto_run_icon() {
  QImage image = transparent(16);
  QPainter p(&image);
  p.setPen(kOutline);
  p.setBrush(QColor(236, 234, 226));
  p.drawRect(0, 2, 11, 11);
  p.fillRect(1, 3, 10, 2, QColor(72, 96, 148));
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath arrow;
  arrow.moveTo(6.5, 6.5);
  arrow.lineTo(15.5, 10.5);
  arrow.lineTo(6.5, 14.5);
  arrow.closeSubpath();
  p.setPen(QPen(kOutline, 1.0));
  p.setBrush(QColor(64, 168, 72));
  p.drawPath(arrow);
  return image;
}

QImage paint_resource(ResourceType type, int id) {
  if (type == ResourceType::Bitmap) {
    switch (id) {
      case kBackBitmap:
        return paint_background();
      case kInsetBitmap:
        return paint_inset();
      case kFace1Bitmap:
        return paint_face_one();
      case kFace2Bitmap:
        return paint_face_two();
      case kButtonBitmap:
        return paint_button();
      case kAboutBitmap:
        return paint_about();
      default:
        return QImage();
    }
  }
  switch (id) {
    case kProgramIcon:
      return paint_program_icon();
    case kMessageIcon:
      return paint_message_icon();
    case kSaveLastIcon:
      return paint_save_icon();
    case kReloadLastIcon:
      return paint_reload_icon();
    case kAutoRunIcon:
      return paint_auto_run_icon();
    default:
      return QImage();
  }
}

}  // namespace

QPixmap builtin_resource(ResourceType type, int id) {
  static std::map<std::pair<ResourceType, int>, QPixmap> made;
  const auto key = std::make_pair(type, id);
  auto found = made.find(key);
  if (found == made.end()) {
    found = made.emplace(key, QPixmap::fromImage(paint_resource(type, id))).first;
  }
  return found->second;
}

int builtin_texture_id(TextureIndex texture) {
  static constexpr int kIds[kTextureCount] = {kBackBitmap, kInsetBitmap, kFace1Bitmap, kFace2Bitmap,
                                              kButtonBitmap};
  return kIds[texture];
}

QPixmap builtin_texture(TextureIndex texture) {
  return builtin_resource(ResourceType::Bitmap, builtin_texture_id(texture));
}

void install_builtin_resources() { set_resource_loader(&builtin_resource); }

}  // namespace kw
