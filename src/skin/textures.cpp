// The texture set: loading, the plain-colour rule and the text colours.
#include "skin/textures.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <string>

#include "skin/builtin_art.h"
#include "ui/system_colours.h"
#include "ui/text.h"

namespace kw {
namespace {

// Size of the plain bitmaps that stand in for textures.
constexpr int kPlainWidth = 163;
constexpr int kPlainHeight = 35;

void compute_text_colours(TextureSet& set) {
  for (int i = 0; i < kButtonTexture; ++i) {
    set.text_colours[i] = text_colour_for(set.bitmaps[i].toImage());
  }
  for (int i = 0; i < kTextureCount; ++i) {
    set.average_colours[i] = average_colour_of(set.bitmaps[i].toImage());
  }
}

}  // namespace

TextureSet& textures() {
  static TextureSet set = [] {
    install_builtin_resources();
    TextureSet made;
    for (int i = 0; i < kTextureCount; ++i) {
      made.bitmaps[i] = builtin_texture(static_cast<TextureIndex>(i));
    }
    compute_text_colours(made);
    return made;
  }();
  return set;
}

const QPixmap& texture(TextureIndex which) { return textures().bitmaps[which]; }

QColor texture_text_colour(TextureIndex which) {
  return which < kButtonTexture ? textures().text_colours[which] : QColor(Qt::black);
}

QColor texture_average_colour(TextureIndex which) { return textures().average_colours[which]; }

QColor backdrop_average_colour(const QPixmap& bitmap) {
  const TextureSet& set = textures();
  for (int i = 0; i < kTextureCount; ++i) {
    if (&set.bitmaps[i] == &bitmap) return set.average_colours[i];
  }
  return average_colour_of(bitmap.toImage());
}

bool textures_stay(bool palette_display, uint32_t flags) {
  if (flags & ForceTextures) return true;
  return !palette_display && !(flags & NoTextures);
}

QColor plain_substitute(TextureIndex which) {
  return sys_colour(which == kInsetTexture ? SysColour::ButtonShadow : SysColour::ButtonFace);
}

QColor text_colour_for(const QImage& bitmap) {
  const int width = bitmap.width(), height = bitmap.height();
  if (width <= 0 || height <= 0) return QColor(Qt::black);
  // Walk the diagonal from the top-left corner: one pixel along the shorter side per step and
  // the whole ratio of the sides along the longer one.
  const int dx = width <= height ? 1 : width / height;
  const int dy = width <= height ? height / width : 1;
  long red = 0, green = 0, blue = 0, samples = 0;
  for (int x = 0, y = 0; x < width && y < height; x += dx, y += dy) {
    const QRgb pixel = bitmap.pixel(x, y);
    red += qRed(pixel);
    green += qGreen(pixel);
    blue += qBlue(pixel);
    ++samples;
  }
  const long brightness = red / samples + blue / samples + 2 * (green / samples);
  return brightness < 511 ? QColor(Qt::white) : QColor(Qt::black);
}

QColor average_colour_of(const QImage& bitmap) {
  const QImage image = bitmap.convertToFormat(QImage::Format_RGB32);
  const long pixels = static_cast<long>(image.width()) * image.height();
  if (pixels == 0) return QColor(Qt::black);
  long red = 0, green = 0, blue = 0;
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      red += qRed(line[x]);
      green += qGreen(line[x]);
      blue += qBlue(line[x]);
    }
  }
  return QColor(static_cast<int>(red / pixels), static_cast<int>(green / pixels),
                static_cast<int>(blue / pixels));
}

TextureLoadReport load_textures() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return load_textures(screen ? screen->depth() : 32);
}

TextureLoadReport load_textures(int display_depth) {
  TextureSet& set = textures();
  TextureLoadReport report;
  for (int i = 0; i < kTextureCount; ++i) {
    const auto which = static_cast<TextureIndex>(i);
    const std::string& path = settings().texture_paths[i];
    QPixmap bitmap;
    if (!path.empty() && !bitmap.load(from_path(path))) report.unreadable.push_back(which);
    set.bitmaps[i] = bitmap.isNull() ? builtin_texture(which) : bitmap;
  }
  report.palette_display = display_depth <= 8;
  // The flag the caller adds for a palette display counts already.
  const uint32_t flags = settings_flags() | (report.palette_display ? uint32_t{PaletteDisplay} : 0u);
  set.caption_highlight = (flags & NoTextures) == 0;
  if (!textures_stay(report.palette_display, flags)) {
    for (int i = 0; i < kTextureCount; ++i) {
      QPixmap plain(kPlainWidth, kPlainHeight);
      plain.fill(plain_substitute(static_cast<TextureIndex>(i)));
      set.bitmaps[i] = plain;
    }
  }
  compute_text_colours(set);
  for (QWidget* w : QApplication::allWidgets()) w->update();
  return report;
}

}  // namespace kw
