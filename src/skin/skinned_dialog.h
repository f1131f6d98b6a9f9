// The handling every skinned dialog shares: the client area tiled with the dialog's background
// texture from its own origin, static texts in that texture's text colour on a transparent
// background, and owner-drawn controls painted by draw_skinned_item. A dialog procedure derives
// from this and says which texture each owner-drawn control uses and where its tiling is
// anchored, and which texture's text colour a static takes. User-interface thread only.
#pragma once

#include "base/settings.h"
#include "skin/painter.h"
#include "ui/dialog.h"

namespace kw {

class SkinnedDialogProc : public DialogProc {
 public:
  explicit SkinnedDialogProc(TextureIndex background);

  void on_paint_background(Dialog& d, QPainter& painter) override;
  QColor on_text_colour(Dialog& d, int id) override;
  // The average colour of the texture the static `id` sits on (text_texture).
  QColor on_backdrop_colour(Dialog& d, int id) override;
  void on_draw_item(Dialog& d, DrawItem& item) override;

 protected:
  TextureIndex background() const { return background_; }
  // The texture whose text colour the static `id` takes; the background's by default.
  virtual TextureIndex text_texture(Dialog& d, int id) { return background_; }
  // The texture an owner-drawn static is tiled with (none: nothing is tiled); the
  // background's by default, anchored to the dialog.
  virtual const QPixmap* owner_draw_texture(Dialog& d, int id);
  virtual Anchor owner_draw_anchor(Dialog& d, int id);

 private:
  TextureIndex background_;
};

}  // namespace kw
