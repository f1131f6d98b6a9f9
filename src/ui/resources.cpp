// Pictures by resource id: the installed loader's, or the style's system icons.
#include "ui/resources.h"

#include <QApplication>
#include <QIcon>
#include <QStyle>

namespace kw {
namespace {

ResourceLoader loader = nullptr;

QPixmap system_icon(int id) {
  QStyle::StandardPixmap which = QStyle::SP_MessageBoxInformation;
  switch (id) {
    case kIconError:
      which = QStyle::SP_MessageBoxCritical;
      break;
    case kIconQuestion:
      which = QStyle::SP_MessageBoxQuestion;
      break;
    case kIconExclamation:
      which = QStyle::SP_MessageBoxWarning;
      break;
    case kIconInformation:
      which = QStyle::SP_MessageBoxInformation;
      break;
    default:
      which = QStyle::SP_DesktopIcon;
      break;
  }
  return QApplication::style()->standardIcon(which).pixmap(32, 32);
}

}  // namespace

void set_resource_loader(ResourceLoader l) { loader = l; }

QPixmap load_icon(int id) {
  if (id > kSystemIconBase) return system_icon(id);
  return loader ? loader(ResourceType::Icon, id) : QPixmap();
}

QPixmap load_bitmap(int id) { return loader ? loader(ResourceType::Bitmap, id) : QPixmap(); }

}  // namespace kw
