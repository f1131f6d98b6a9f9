// The main window: template 101, menu 101, accelerators 113, its painting and its commands.
#include "shell/main_window.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>

#include "config/config_commands.h"
#include "dialogs/header_filter_list_dialog.h"
#include "dialogs/message_dialogs.h"
#include "dialogs/preferences_dialog.h"
#include "dialogs/proxy_selector.h"
#include "dialogs/secure_pages_dialog.h"
#include "dialogs/web_filter_list_dialog.h"
#include "engine/listener.h"
#include "shell/config_file_dialog.h"
#include "shell/help_window.h"
#include "shell/log_window.h"
#include "skin/builtin_art.h"
#include "skin/painter.h"
#include "skin/textures.h"
#include "ui/help_request.h"
#include "ui/menu_bar.h"
#include "ui/text.h"

namespace kw {
namespace {

using enum ControlKind;

const ControlTemplate kMainControls[] = {
    {kFiltersFrame, Frame, "", 5, 6, 114, 84, kSunken},
    {kFiltersTitle, Static, "Active Filters", 6, 7, 113, 10, kCentred},
    {kWebPageFiltersCheck, CheckBox, "Web Page Filters", 10, 22, 98, 11},
    {kOutgoingHeadersCheck, CheckBox, "Outgoing Header Filters", 10, 35, 92, 11},
    {kIncomingHeadersCheck, CheckBox, "Incoming Header Filters", 10, 49, 93, 11},
    {kFreezeGifCheck, CheckBox, "Freeze GIF animation", 10, 62, 98, 11},
    {kRemoteProxyCheck, CheckBox, "Use Remote Proxy", 10, 75, 98, 11},
    {kEditFrame, Frame, "", 125, 6, 65, 84, kSunken},
    {kEditTitle, Static, "Edit Filters", 126, 7, 64, 10, kCentred},
    {kWebPageButton, Button, "&Web page", 133, 24, 50, 13, kOwnerDraw},
    {kHeadersButton, Button, "&Headers", 133, 39, 50, 13, kOwnerDraw},
    {kConfigButton, Button, "&Config", 133, 54, 50, 13, kOwnerDraw},
    {kProxyButton, Button, "&Proxy", 133, 69, 50, 13, kOwnerDraw},
    {kBypassToggle, PushToggle, "&Bypass", 7, 96, 54, 14, kOwnerDraw},
    {kAbortButton, Button, "&Abort", 66, 96, 54, 14, kOwnerDraw},
    {kLogWindowButton, Button, "&Log Window", 131, 96, 54, 14, kOwnerDraw},
    {kStatusLine, Static, "...", 5, 117, 185, 12, kSunken | kCentred},
};

const MenuItemTemplate kFileItems[] = {
    {"&Load Config File\tCtrl-L", kLoadConfigCommand},
    {"&Save Config File\tCtrl-S", kSaveConfigCommand},
    {"Save &Default Settings\tCtrl-D", kSaveDefaultCommand},
    {"&Reload Default Settings\tCtrl-R", kReloadDefaultCommand},
    {"", 0, kMenuSeparator},
    {"Secure &pages...", kSecurePagesCommand},
    {"", 0, kMenuSeparator},
    {"E&xit Program\tCtrl-X", kExitCommand},
};
const MenuItemTemplate kHelpItems[] = {
    {"&Help", kHelpCommand},
    {"&About", kAboutCommand},
};
const MenuItemTemplate kMainBar[] = {
    {"&File", 0, kMenuPopup, kFileItems},     {"&Help", 0, kMenuPopup, kHelpItems},
    {"", kMenuSpacer, kMenuOwnerDraw},        {"", kSaveLastCommand, kMenuOwnerDraw},
    {"", kReloadLastCommand, kMenuOwnerDraw}, {"", kLaunchAutoRunCommand, kMenuOwnerDraw},
};
const MenuTemplate kMainMenu{101, kMainBar};

constexpr int kMainWindowTemplate = 101;

const DialogTemplate kMainTemplate{kMainWindowTemplate,
                                   "The Kestrelwick",
                                   197,
                                   135,
                                   kDialogCentred | kDialogMinimizeBox | kDialogContextHelp,
                                   kMainControls,
                                   &kMainMenu};

const Accelerator kMainKeys[] = {
    {'L', kKeyCtrl, kLoadConfigCommand},  {'S', kKeyCtrl, kSaveConfigCommand},
    {'D', kKeyCtrl, kSaveDefaultCommand}, {'R', kKeyCtrl, kReloadDefaultCommand},
    {'X', kKeyCtrl, kExitCommand},
};
const AcceleratorTable kMainAccelerators{113, kMainKeys};

// The menu-bar icon buttons: command, hint, icon.
struct IconItem {
  int id;
  const char* hint;
  int icon;
};
constexpr IconItem kIconItems[] = {
    {kSaveLastCommand, "Save Last Config", kSaveLastIcon},
    {kReloadLastCommand, "Reload Last Config", kReloadLastIcon},
    {kLaunchAutoRunCommand, "Launch Auto-Run Program", kAutoRunIcon},
};
constexpr int kIconItemWidth = 14;
constexpr int kSpacerWidth = 16;

// The background of the two group titles.
const QColor kTitleBrush(100, 0, 100);

// The inside of frame 1000 that Bypass repaints: its client area less 20 pixels at the top
// (the title) and 25 at the bottom.
constexpr int kFrameRepaintTop = 20;
constexpr int kFrameRepaintBottom = 25;

MainWindow* the_main_window = nullptr;

}  // namespace

const DialogTemplate& main_window_template() { return kMainTemplate; }

const AcceleratorTable& main_window_accelerators() { return kMainAccelerators; }

bool ctrl_key_held() {
  return (QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier) != 0;
}

MainWindow::MainWindow(MainWindowRecord& record)
    : SkinnedDialogProc(kBackTexture),
      record_(record),
      close_handler_([] { QCoreApplication::exit(0); }) {
  dialog_ = std::make_unique<Dialog>(kMainTemplate, *this, nullptr);
  Dialog& d = *dialog_;
  d.setObjectName(QStringLiteral("KestrelCls"));
  // A main window, not a dialog of another one: it can be minimised and sits in the task bar.
  d.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowContextHelpButtonHint | Qt::WindowCloseButtonHint);
  d.setWindowIcon(QIcon(builtin_resource(ResourceType::Icon, kProgramIcon)));
  d.set_accelerators(kMainAccelerators);
  // The dialogs' F1 opens the shared help viewer.
  set_help_handler(kw::show_help);
  record_.status_colour.store(kGreen);
  the_main_window = this;
}

MainWindow::~MainWindow() {
  if (the_main_window == this) the_main_window = nullptr;
  dialog_.reset();
}

void MainWindow::show(bool minimised) {
  if (minimised) dialog_->setWindowState(Qt::WindowMinimized);
  dialog_->show_modeless();
}

void MainWindow::bring_forward() {
  if (dialog_->isMinimized()) dialog_->showNormal();
  dialog_->show();
  dialog_->raise();
  dialog_->activateWindow();
}

void MainWindow::connect_frontend(DesktopFrontend& frontend) {
  frontend.set_owner(dialog_.get());
  frontend.set_status_listener(
      [this](const DesktopFrontend::Status& status) { show_status(status.text, status.colour); });
}

void MainWindow::show_status(const std::string& text, Rgb colour) {
  record_.status_colour.store(colour);
  status_text_ = text;
  dialog_->set_text(kStatusLine, text);
  dialog_->redraw(kStatusLine);
}

std::string MainWindow::status_text() const { return status_text_; }

void MainWindow::on_init(Dialog& d) {
  sync_controls();
  d.make_owner_drawn(kFiltersFrame);
  d.make_owner_drawn(kEditFrame);
}

void MainWindow::sync_controls() {
  Dialog& d = *dialog_;
  const MainControlStates states =
      main_control_states(settings_flags(), !settings().auto_run.empty());
  for (int id = kWebPageFiltersCheck; id <= kRemoteProxyCheck; ++id) {
    d.check(id, states.checked[id - kWebPageFiltersCheck]);
  }
  d.check(kBypassToggle, states.bypass_pressed);
  d.enable_range(kWebPageFiltersCheck, kFreezeGifCheck, states.filters_enabled);
  d.redraw(kBypassToggle);
  if (MenuBar* bar = d.menu_bar()) {
    for (int id : {kMenuSpacer, kSaveLastCommand, kReloadLastCommand, kLaunchAutoRunCommand}) {
      bar->set_owner_drawn(id, true);
    }
  }
  update_menu_icons();
}

void MainWindow::update_menu_icons() {
  MenuBar* bar = dialog_->menu_bar();
  if (!bar) return;
  const MainControlStates states =
      main_control_states(settings_flags(), !settings().auto_run.empty());
  // enable_item repaints an item only when its state changes.
  bar->enable_item(kSaveLastCommand, states.save_last_enabled);
  bar->enable_item(kLaunchAutoRunCommand, states.launch_enabled);
}

void MainWindow::on_command(Dialog&, int id, int) { run_main_command(id, *this); }

void MainWindow::on_close(Dialog& d) {
  if (settings_flags() & Changed) {
    const int answer = ask_save_changes(&d);
    if (answer == kDontQuit) return;
    // A failed save does not stop the close; a dialog closed without a choice forgets.
    if (answer == kSaveChanges) save_last_config();
  }
  closed_ = true;
  d.end(0);
  if (close_handler_) close_handler_();
}

void MainWindow::on_help(Dialog&) { show_help(kMainWindowHelpTopic); }

void MainWindow::on_draw_item(Dialog& d, DrawItem& item) {
  if (item.kind == DrawKind::MenuItem) {
    int icon = 0;
    for (const IconItem& i : kIconItems) {
      if (i.id == item.id) icon = i.icon;
    }
    draw_menu_bar_icon(item, icon);
    return;
  }
  // Bypass looks pushed exactly while filtering is off, held down or not.
  if (item.id == kBypassToggle) {
    item.state = (settings_flags() & Enable) ? item.state & ~kStateSelected
                                             : item.state | kStateSelected;
  }
  SkinnedDialogProc::on_draw_item(d, item);
}

// An icon under the pointer shows its hint in yellow; when the pointer leaves the icons, the
// status line shows the connection count again.
void MainWindow::on_menu_highlight(Dialog&, int id) {
  for (const IconItem& i : kIconItems) {
    if (i.id == id) {
      set_status_text(i.hint, kYellow);
      record_.state_flags |= kMenuHintShown;
      return;
    }
  }
  if (record_.state_flags & kMenuHintShown) {
    record_.state_flags &= ~kMenuHintShown;
    adjust_active_connections(0);
  }
}

QSize MainWindow::on_measure_item(Dialog&, int id) {
  return QSize(id == kMenuSpacer ? kSpacerWidth : kIconItemWidth, 16);
}

QColor MainWindow::on_text_colour(Dialog& d, int id) {
  if (id == kFiltersTitle || id == kEditTitle) return Qt::white;
  if (id == kStatusLine) return QColor::fromRgb(record_.status_colour.load());
  return SkinnedDialogProc::on_text_colour(d, id);
}

QColor MainWindow::on_static_background(Dialog&, int id) {
  if (id == kFiltersTitle || id == kEditTitle) return kTitleBrush;
  if (id == kStatusLine) return Qt::black;
  return QColor();
}

const QPixmap* MainWindow::owner_draw_texture(Dialog&, int id) {
  return id == kFiltersFrame || id == kEditFrame ? &texture(kFace2Texture) : nullptr;
}

void MainWindow::on_context_menu(Dialog&, QPoint global) { popup_file_menu(global); }

void MainWindow::popup_file_menu(QPoint global) { kw::popup_file_menu(dialog_.get(), global); }

// --- the command table's actions ---

void MainWindow::bypass_toggled() {
  Dialog& d = *dialog_;
  const bool enabled = (settings_flags() & Enable) != 0;
  if (Control* frame = d.control(kFiltersFrame)) {
    QWidget* w = frame->widget();
    w->update(w->contentsRect().adjusted(0, kFrameRepaintTop, 0, -kFrameRepaintBottom));
  }
  d.enable_range(kWebPageFiltersCheck, kFreezeGifCheck, enabled);
  d.check(kBypassToggle, !enabled);
  d.redraw(kBypassToggle);
}

void MainWindow::abort_connections() { restart_listener(); }

void MainWindow::open_log_window() { kw::open_log_window(); }

void MainWindow::open_web_filter_list() { kw::open_web_filter_list(dialog_.get()); }

void MainWindow::open_header_filter_list() { kw::open_header_filter_list(dialog_.get()); }

// The preferences may have named or removed the auto-run program: its icon follows.
void MainWindow::open_preferences() {
  kw::open_preferences(dialog_.get());
  sync_controls();
}

void MainWindow::open_secure_pages() { kw::open_secure_pages(dialog_.get()); }

void MainWindow::open_proxy_selector() { kw::open_proxy_selector(dialog_.get()); }

void MainWindow::load_config_dialog() {
  kw::load_config_dialog(dialog_.get());
  sync_controls();
}

void MainWindow::save_config_dialog() { kw::save_config_dialog(dialog_.get()); }

void MainWindow::request_close() { dialog_->close(); }

void MainWindow::save_default_config() { kw::save_default_config(); }

void MainWindow::show_about() { kw::show_about(dialog_.get()); }

// Reload Default Settings reports its success itself ("--- Default Config File Reloaded ---").
void MainWindow::reload_default_config() {
  kw::reload_default_config();
  sync_controls();
}

void MainWindow::save_last_config() { kw::save_last_config(); }

void MainWindow::reload_last_config() {
  kw::reload_last_config();
  sync_controls();
}

void MainWindow::launch_auto_run() { kw::launch_auto_run(record_.auto_run, ctrl_key_held()); }

void MainWindow::show_help(int topic) { kw::show_help(topic); }

MainWindow* main_window() { return the_main_window; }

void popup_file_menu(QWidget* window, QPoint global) {
  MainWindow* main = main_window();
  if (!main || !window) return;
  MenuBar* bar = main->dialog().menu_bar();
  if (!bar) return;
  if (global == QPoint(-1, -1)) {
    QWidget* client = window == &main->dialog() ? main->dialog().client_area() : window;
    global = client->mapToGlobal(QPoint(0, 0));
  }
  bar->track_popup(0, global);
}

}  // namespace kw
