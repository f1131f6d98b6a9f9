// The message handling every skinned dialog shares.
#include "skin/skinned_dialog.h"

#include "skin/textures.h"

namespace kw {

SkinnedDialogProc::SkinnedDialogProc(TextureIndex background) : background_(background) {
  textures();  // the first use makes the built-in pictures available to the controls
}

void SkinnedDialogProc::on_paint_background(Dialog& d, QPainter& painter) {
  tile_texture(d.client_area(), painter, texture(background_), kAnchorSelf);
}

QColor SkinnedDialogProc::on_text_colour(Dialog& d, int id) {
  return texture_text_colour(text_texture(d, id));
}

QColor SkinnedDialogProc::on_backdrop_colour(Dialog& d, int id) {
  const QColor background = on_static_background(d, id);
  return background.isValid() ? background : texture_average_colour(text_texture(d, id));
}

void SkinnedDialogProc::on_draw_item(Dialog& d, DrawItem& item) {
  if (item.kind != DrawKind::Button && item.kind != DrawKind::Static) return;
  draw_skinned_item(item, owner_draw_texture(d, item.id), owner_draw_anchor(d, item.id));
}

const QPixmap* SkinnedDialogProc::owner_draw_texture(Dialog&, int) { return &texture(background_); }

Anchor SkinnedDialogProc::owner_draw_anchor(Dialog& d, int) { return anchor_to(d.client_area()); }

}  // namespace kw
