// The program's pictures by resource id, as icon and picture statics and the painters ask for
// them. The window layer does not own any picture: the skin installs a loader for the
// program's own; ids above 32512 name the system's icons (32513 error, 32514 question,
// 32515 exclamation, 32516 information), which the layer takes from the widget style.
// User-interface thread only.
#pragma once

#include <QPixmap>

namespace kw {

enum class ResourceType { Icon, Bitmap };

inline constexpr int kSystemIconBase = 32512;
inline constexpr int kIconError = 32513;
inline constexpr int kIconQuestion = 32514;
inline constexpr int kIconExclamation = 32515;
inline constexpr int kIconInformation = 32516;

// Returns the picture, or a null pixmap when there is none with that id.
using ResourceLoader = QPixmap (*)(ResourceType type, int id);
void set_resource_loader(ResourceLoader loader);

// Icons are 32 x 32 unless the loader's picture has another size; a system icon is 32 x 32.
QPixmap load_icon(int id);
QPixmap load_bitmap(int id);

}  // namespace kw
