// A window's menu bar built from a menu template: popups of command items (check marks, greyed
// items, separators, accelerator texts), command items on the bar itself, and owner-drawn bar
// items that the host measures (control_measure gives the width) and paints (DrawKind::MenuItem,
// kStateSelected while the pointer is over the item, kStateDisabled|kStateGrayed when greyed).
// Choosing an item sends its id to the host with code kClicked; Alt and a popup's underlined
// letter open it. Also the accelerator tables: keys that send commands with code
// kAccelerator. User-interface thread only.
#pragma once

#include <QMenu>
#include <QWidget>
#include <map>
#include <vector>

#include "ui/control_host.h"
#include "ui/template.h"

namespace kw {

class MenuBar : public QWidget {
 public:
  MenuBar(const MenuTemplate& t, ControlHost* host, QWidget* parent);

  int menu_id() const { return menu_id_; }
  void enable_item(int id, bool on);
  bool is_item_enabled(int id) const;
  void check_item(int id, bool on);
  bool is_item_checked(int id) const;
  // Items of the bar only; returns false when the bar has no item with that id.
  bool set_owner_drawn(int id, bool on);
  bool is_owner_drawn(int id) const;
  // Shows popup `index` of the bar at a screen position and runs it until it closes.
  void track_popup(int index, QPoint global);
  QMenu* popup(int index) const;
  // The item of the bar with this id, in bar coordinates; empty when there is none.
  QRect item_rect(int id) const;
  // The bar item under the pointer (-1: none): what the pointer does when it moves. The host
  // hears of each change (control_highlight).
  void set_hot_item(int index);
  int hot_item() const { return hot_; }
  int item_count() const { return static_cast<int>(items_.size()); }
  // The command id of bar item `index` (0 for popups and for no such item).
  int item_id(int index) const;
  // Does what the user's choice of the command `id` does: nothing when it is greyed.
  bool choose(int id);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct BarItem {
    QString text;
    int id;
    uint32_t flags;
    QMenu* menu;  // popups; owned by the bar
    QRect rect;
    bool enabled;
  };

  QMenu* build_popup(std::span<const MenuItemTemplate> items);
  void layout_items();
  int index_at(QPoint p) const;
  void open_popup(int index);

  ControlHost* host_;
  int menu_id_;
  std::vector<BarItem> items_;
  std::map<int, QAction*> actions_;  // command items of the popups by id
  int hot_ = -1;
  int open_ = -1;     // the popup being shown
  int pressed_ = -1;  // a command item of the bar held down
};

// Installs the accelerator table on a window: each key sends its id to the host.
void install_accelerators(QWidget* window, const AcceleratorTable& table, ControlHost* host);

// The Qt key of a virtual-key code.
int qt_key(int virtual_key);

}  // namespace kw
