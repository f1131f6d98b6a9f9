// Tiling, skinned buttons and statics, and the menu-bar icon items.
#include "skin/painter.h"

#include <QPainter>
#include <QTimer>
#include <QWidget>

#include "report/frontend.h"
#include "skin/textures.h"
#include "ui/control_host.h"
#include "ui/resources.h"
#include "ui/system_colours.h"

namespace kw {
namespace {

// Longest button text drawn.
constexpr int kMaxButtonText = 1024;

// The client origin of `anchor` in `window`'s coordinates. Client areas are contentsRect():
// edges such as a client edge lie outside them.
QPoint origin_in(const QWidget* window, const QWidget* anchor) {
  return window->mapFromGlobal(anchor->mapToGlobal(anchor->contentsRect().topLeft()));
}

QPoint anchor_origin(const QWidget* window, Anchor anchor) {
  switch (anchor.kind) {
    case Anchor::Self:
      return window->contentsRect().topLeft();
    case Anchor::Parent:
      return window->parentWidget() ? origin_in(window, window->parentWidget())
                                    : window->contentsRect().topLeft();
    case Anchor::Window:
      return anchor.window ? origin_in(window, anchor.window) : window->contentsRect().topLeft();
  }
  return QPoint();
}

// Copies the bitmap over `area` as tiles whose grid passes through `grid_origin`.
void tile_from(QPainter& painter, const QRect& area, const QPixmap& bitmap, QPoint grid_origin) {
  const QPoint first = area.topLeft() + tile_offsets(grid_origin - area.topLeft(), bitmap.size());
  painter.drawTiledPixmap(area, bitmap, area.topLeft() - first);
}

void report_unreadable_bitmap() {
  static bool pending = false;
  if (pending) return;
  pending = true;
  // Not from inside a paint: the box runs an event loop of its own.
  QTimer::singleShot(0, [] {
    pending = false;
    show_application_error("GetObject failed");
  });
}

void draw_button(DrawItem& item) {
  QPainter& painter = *item.painter;
  const QRect rect = item.rect;
  const bool pushed = (item.state & kStateSelected) != 0;
  const bool focused = (item.state & kStateFocus) != 0;
  const bool disabled = (item.state & kStateDisabled) != 0;
  QPoint source = pushed ? QPoint(0, 0) : QPoint(10, 8);
  if (focused) source += QPoint(10, 5);

  unsigned edge;
  QColor disabled_text;
  if (disabled) {
    if (item.backdrop) {
      tile_texture(item.widget, painter, rect, *item.backdrop, anchor_to(item.backdrop_anchor));
      disabled_text = disabled_text_colour(backdrop_average_colour(*item.backdrop));
    } else {
      tile_texture(item.widget, painter, rect, texture(kBackTexture), kAnchorParent);
      disabled_text = disabled_text_colour(texture_average_colour(kBackTexture));
    }
    edge = kSunkenOuter;
  } else {
    // The item's rectangle from the Button texture at the source point. A button larger than
    // the texture continues it from its other side rather than showing unpainted pixels.
    tile_from(painter, rect, texture(kButtonTexture), rect.topLeft() - source);
    edge = pushed ? kEdgeSunken : kEdgeRaised;
  }

  const QString text = item.text.left(kMaxButtonText);
  const int shift = pushed ? 1 : 0;
  const QRect text_rect = rect.translated(shift, shift - 1);
  constexpr int flags = Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic;
  if (textures().caption_highlight) {
    painter.setPen(Qt::white);
    painter.drawText(text_rect.translated(1, 1), flags, text);
  }
  painter.setPen(disabled ? disabled_text : focused ? QColor(128, 0, 0) : QColor(0, 0, 0));
  painter.drawText(text_rect, flags, text);
  draw_edge(painter, rect, edge);
}

void draw_static(DrawItem& item, const QPixmap* bitmap, Anchor anchor) {
  QPainter& painter = *item.painter;
  if (bitmap) tile_texture(item.widget, painter, item.rect, *bitmap, anchor);
  if (item.text.isEmpty()) return;
  const StaticTextLayout layout = static_text_layout(item.text);
  painter.setPen(item.host ? item.host->control_text_colour(item.id) : QColor(Qt::black));
  painter.drawText(item.rect,
                   layout.alignment | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic,
                   layout.shown);
}

// A disabled icon: the shape of its dark pixels, once in the highlight colour one pixel right
// and down, then in the shadow colour in place.
void draw_embossed(QPainter& painter, const QPixmap& icon, QPoint at) {
  const QImage source = icon.toImage().convertToFormat(QImage::Format_ARGB32);
  auto shape_in = [&](const QColor& colour) {
    QImage shape(source.size(), QImage::Format_ARGB32);
    shape.fill(Qt::transparent);
    for (int y = 0; y < source.height(); ++y) {
      for (int x = 0; x < source.width(); ++x) {
        const QRgb p = source.pixel(x, y);
        if (qAlpha(p) >= 128 && qGray(p) < 128) shape.setPixel(x, y, colour.rgba());
      }
    }
    return shape;
  };
  painter.drawImage(at + QPoint(1, 1), shape_in(sys_colour(SysColour::ButtonHighlight)));
  painter.drawImage(at, shape_in(sys_colour(SysColour::ButtonShadow)));
}

}  // namespace

QPoint tile_offsets(QPoint anchor_origin, QSize tile) {
  if (tile.width() <= 0 || tile.height() <= 0) return QPoint();
  int x = anchor_origin.x() % tile.width();
  int y = anchor_origin.y() % tile.height();
  if (x > 0) x -= tile.width();
  if (y > 0) y -= tile.height();
  return QPoint(x, y);
}

void tile_texture(QWidget* window, QPainter& painter, const QPixmap& bitmap, Anchor anchor) {
  tile_texture(window, painter, window->contentsRect(), bitmap, anchor);
}

void tile_texture(QWidget* window, QPainter& painter, const QRect& area, const QPixmap& bitmap,
                  Anchor anchor) {
  if (bitmap.isNull()) {
    report_unreadable_bitmap();
    return;
  }
  painter.save();
  painter.setClipRect(area, Qt::IntersectClip);
  tile_from(painter, area, bitmap, anchor_origin(window, anchor));
  painter.restore();
}

StaticTextLayout static_text_layout(const QString& text) {
  if (!text.startsWith(QLatin1Char('^'))) return {text, Qt::AlignHCenter};
  const QChar mark = text.size() > 1 ? text.at(1) : QChar();
  const Qt::Alignment alignment = mark == QLatin1Char('l')   ? Qt::AlignLeft
                                  : mark == QLatin1Char('r') ? Qt::AlignRight
                                                             : Qt::AlignHCenter;
  return {text.mid(2), alignment};
}

void draw_skinned_item(DrawItem& item, const QPixmap* bitmap, Anchor anchor) {
  if (!item.painter || !item.widget) return;
  if (item.kind == DrawKind::Button) {
    draw_button(item);
  } else {
    draw_static(item, bitmap, anchor);
  }
}

void draw_menu_bar_icon(DrawItem& item, int icon) {
  const bool disabled = (item.state & (kStateDisabled | kStateGrayed)) != 0;
  // A disabled icon under the pointer is drawn as it is elsewhere: no press, no edge.
  const bool highlighted = !disabled && (item.state & kStateSelected) != 0;
  QPainter& painter = *item.painter;
  const QRect rect = item.rect;
  if (!icon) {
    const int middle = rect.left() + rect.width() / 2 - 1;
    draw_edge(painter, QRect(middle, rect.top() + 2, 2, rect.height() - 4), kSunkenOuter);
    return;
  }
  painter.fillRect(rect, sys_colour(SysColour::ButtonFace));
  const QPoint at = rect.topLeft() + (highlighted ? QPoint(4, 2) : QPoint(3, 1));
  const QPixmap pixmap = load_icon(icon);
  if (disabled) {
    draw_embossed(painter, pixmap, at);
  } else {
    painter.drawPixmap(at, pixmap);
  }
  if (highlighted) draw_edge(painter, rect.adjusted(2, 0, 0, 0), kSunkenOuter);
}

}  // namespace kw
