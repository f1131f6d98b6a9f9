// The skinned painter: tiling a window with a texture so that it lines up with the window
// behind it, owner-drawn buttons cut from the Button texture with raised or sunken edges,
// owner-drawn statics (captions, panels, frames) tiled with a texture, and the icon items of
// the main window's menu bar. Paints with the current texture set (textures.h); holds no
// state of its own. User-interface thread only.
#pragma once

#include <QPixmap>
#include <QPoint>
#include <QString>

#include "ui/draw_item.h"

class QPainter;
class QWidget;

namespace kw {

// Where tiling starts: the window's own client origin, its parent's, or another window's.
struct Anchor {
  enum Kind { Self, Parent, Window };
  Kind kind;
  const QWidget* window = nullptr;
};
inline constexpr Anchor kAnchorSelf{Anchor::Self};
inline constexpr Anchor kAnchorParent{Anchor::Parent};
inline Anchor anchor_to(const QWidget* window) { return Anchor{Anchor::Window, window}; }

// Offsets of the first tile for an anchor whose client origin lies at `anchor_origin` in the
// window's client coordinates: the remainders by the tile's size, with the sign of the
// dividend. A positive remainder would leave a strip at the left or top unpainted, so it is
// moved one tile back (the tiles then still line up with the anchor).
QPoint tile_offsets(QPoint anchor_origin, QSize tile);

// Fills the window's client area with copies of the bitmap, lined up with the anchor. A null
// bitmap paints nothing and reports "GetObject failed" once the painting is over.
void tile_texture(QWidget* window, QPainter& painter, const QPixmap& bitmap, Anchor anchor);
// The same over one rectangle of the window's client area.
void tile_texture(QWidget* window, QPainter& painter, const QRect& area, const QPixmap& bitmap,
                  Anchor anchor);

// Paints an owner-drawn button (the bitmap is not used: buttons are cut from the Button
// texture; pushed while kStateSelected, disabled on the item's backdrop) or static (tiled with
// the bitmap, if any, then its text).
void draw_skinned_item(DrawItem& item, const QPixmap* bitmap, Anchor anchor);

// How an owner-drawn static shows its text: "^l" and "^r" at the start align it left or
// right and are not shown; any other "^x" centres it, as does no mark.
struct StaticTextLayout {
  QString shown;
  Qt::Alignment alignment;
};
StaticTextLayout static_text_layout(const QString& text);

// Paints one owner-drawn item of the main window's menu bar: an icon button (icon != 0), sunken
// while highlighted, or the spacer (icon 0).
void draw_menu_bar_icon(DrawItem& item, int icon);

}  // namespace kw
