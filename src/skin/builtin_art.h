// The program's own pictures, painted in code the first time they are asked for: the five
// built-in textures (a calm set in the colours of the bird the program is named after: stone
// background, chestnut inset, parchment and blue-grey faces, pewter buttons), the About picture
// and the icons. Each picture is made once and kept; user-interface thread only.
#pragma once

#include <QPixmap>

#include "base/settings.h"
#include "ui/resources.h"

namespace kw {

// Resource ids of the built-in bitmaps and icons.
inline constexpr int kBackBitmap = 120;    // 128 x 128
inline constexpr int kInsetBitmap = 110;   // 300 x 35
inline constexpr int kFace1Bitmap = 134;   // 128 x 128
inline constexpr int kFace2Bitmap = 121;   // 128 x 128
inline constexpr int kButtonBitmap = 130;  // 163 x 35
inline constexpr int kAboutBitmap = 151;   // 132 x 121
inline constexpr int kProgramIcon = 102;
inline constexpr int kMessageIcon = 135;  // the editors' messages
inline constexpr int kSaveLastIcon = 139;
inline constexpr int kReloadLastIcon = 141;
inline constexpr int kAutoRunIcon = 146;

// The built-in bitmap of a texture.
QPixmap builtin_texture(TextureIndex texture);
int builtin_texture_id(TextureIndex texture);

// Bitmaps and icons by resource id; null for ids the program has no picture for.
QPixmap builtin_resource(ResourceType type, int id);

// Makes the pictures above the ones icon and picture controls show.
void install_builtin_resources();

}  // namespace kw
