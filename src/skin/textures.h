// The texture set: five bitmaps (Background, Inset, Face One, Face Two, Button) and the text
// colours of the first four, black or white from the brightness along each bitmap's diagonal.
// The bitmaps come from the files named by settings().texture_paths, or are the built-in ones;
// on a palette display, or when the settings ask for it, plain system colours replace them.
// Loading reads the settings and never changes them: it says what it found, and the caller
// records that.
// One set per process, made with the built-in bitmaps on first use and replaced by
// load_textures. User-interface thread only.
#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <cstdint>
#include <vector>

#include "base/settings.h"

namespace kw {

struct TextureSet {
  QPixmap bitmaps[kTextureCount];
  // Text colours of Background, Inset, Face One and Face Two; the Button texture has none.
  QColor text_colours[kButtonTexture];
  // The average colour of each bitmap: what text drawn on it must stand out against.
  QColor average_colours[kTextureCount];
  // Button captions get a white highlight one pixel right and down; not when NoTextures is set.
  bool caption_highlight = true;
};

// What a load found: the textures whose file could not be read (the built-in bitmap stands in
// for each), and whether the display is a palette display.
struct TextureLoadReport {
  std::vector<TextureIndex> unreadable;
  bool palette_display = false;
};

// The program's texture set.
TextureSet& textures();
const QPixmap& texture(TextureIndex which);
// The text colour of Background, Inset, Face One or Face Two.
QColor texture_text_colour(TextureIndex which);
// The average colour of a texture.
QColor texture_average_colour(TextureIndex which);
// The average colour of a bitmap: a texture's stored one when it is one of the set.
QColor backdrop_average_colour(const QPixmap& bitmap);

// Reloads all five textures from settings().texture_paths (a file that cannot be loaded is
// replaced by the built-in bitmap and named in the report), applies the plain-colour rule,
// computes the text colours and repaints every window. Display depth: bits per pixel of the
// screen, 8 or less meaning a palette display.
TextureLoadReport load_textures();
TextureLoadReport load_textures(int display_depth);

// The plain-colour rule: whether textures are drawn on a display of this kind with these
// settings flags.
bool textures_stay(bool palette_display, uint32_t flags);
// The plain colour that stands in for a texture.
QColor plain_substitute(TextureIndex which);
// White or black: the average colour along the bitmap's diagonal, red + blue + 2 x green below
// 511 gives white.
QColor text_colour_for(const QImage& bitmap);
// The average of every pixel of the bitmap; black for an empty one.
QColor average_colour_of(const QImage& bitmap);

}  // namespace kw
