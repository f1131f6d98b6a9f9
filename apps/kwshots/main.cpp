// kwshots DIR: opens every window and dialog of the program offscreen, once with the built-in
// textures and once with "No Textures", and writes each as a PNG named after its title (with a
// drawn caption bar, since offscreen windows have no frame), plus a sheet of the built-in
// pictures. The pictures are for people to look at when the look changes.
#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "base/settings.h"
#include "dialogs/file_dialog.h"
#include "dialogs/header_filter_list_dialog.h"
#include "dialogs/message_dialogs.h"
#include "dialogs/new_proxy_dialog.h"
#include "dialogs/preferences_dialog.h"
#include "dialogs/proxy_selector.h"
#include "dialogs/secure_pages_dialog.h"
#include "dialogs/web_filter_editor_dialog.h"
#include "dialogs/web_filter_list_dialog.h"
#include "dialogs/web_filter_try_dialog.h"
#include "filters/header_filters.h"
#include "filters/web_filter.h"
#include "platform/program_directory.h"
#include "proxies/proxy_list.h"
#include "secure/interception.h"
#include "shell/config_file_dialog.h"
#include "shell/desktop_frontend.h"
#include "shell/help_window.h"
#include "shell/log_find_bar.h"
#include "shell/log_window.h"
#include "shell/main_window.h"
#include "skin/builtin_art.h"
#include "skin/skinned_dialog.h"
#include "skin/textures.h"
#include "ui/controls.h"
#include "ui/dialog.h"
#include "ui/list_box.h"
#include "ui/menu_bar.h"
#include "ui/system_colours.h"
#include "ui/text.h"

namespace kw {
namespace {

QString out_dir;
QString suffix;
int written = 0;
bool failed = false;

// Waits a little inside a running dialog, so that what loads in the background (the file
// dialog's directory listing) is shown.
void settle(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// The window as a desktop would frame it: border, caption with the title and caption buttons.
QImage framed(QWidget* window) {
  // In device pixels: at a scale factor above 1 the picture shows what the screen shows.
  QImage client = window->grab().toImage();
  client.setDevicePixelRatio(1.0);
  constexpr int kBorder = 4, kCaption = 22;
  QImage image(client.width() + 2 * kBorder, client.height() + kCaption + 2 * kBorder - 1,
               QImage::Format_RGB32);
  QPainter p(&image);
  p.fillRect(image.rect(), sys_colour(SysColour::ButtonFace));
  draw_edge(p, image.rect(), kEdgeRaised);
  const QRect caption(kBorder - 1, kBorder - 1, image.width() - 2 * kBorder + 2, kCaption - 2);
  QLinearGradient blue(caption.topLeft(), caption.topRight());
  blue.setColorAt(0, QColor(10, 36, 106));
  blue.setColorAt(1, QColor(166, 202, 240));
  p.fillRect(caption, blue);
  QFont bold = window->font();
  bold.setBold(true);
  p.setFont(bold);
  p.setPen(Qt::white);
  p.drawText(caption.adjusted(6, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, window->windowTitle());
  // Caption buttons from the right: close, then help or minimise.
  QRect box(caption.right() - 18, caption.top() + 2, 16, 14);
  auto button = [&](const QString& glyph) {
    p.fillRect(box, sys_colour(SysColour::ButtonFace));
    draw_edge(p, box, kEdgeRaised);
    p.setPen(Qt::black);
    p.drawText(box, Qt::AlignCenter, glyph);
    box.translate(-18, 0);
  };
  button(QStringLiteral("x"));
  const Qt::WindowFlags flags = window->windowFlags();
  if (flags & Qt::WindowContextHelpButtonHint) button(QStringLiteral("?"));
  if (flags & Qt::WindowMinimizeButtonHint) button(QStringLiteral("_"));
  p.drawImage(kBorder, kBorder + kCaption - 1, client);
  return image;
}

void save(const QImage& image, QString title) {
  title = title.trimmed();
  title.replace(QLatin1Char('/'), QLatin1Char('-'));
  const QString path = QDir(out_dir).filePath(title + suffix + QStringLiteral(".png"));
  if (image.save(path)) {
    std::printf("%s\n", qPrintable(path));
    ++written;
  } else {
    std::fprintf(stderr, "kwshots: cannot write %s\n", qPrintable(path));
    failed = true;
  }
}

// Photographs the next dialog when it is shown, then ends it.
void photograph_next() {
  set_dialog_observer([](Dialog& d) {
    set_dialog_observer(nullptr);
    if (d.dialog_template().style & kDialogChild) {
      // The strip of a file dialog: photograph the whole file dialog.
      settle(400);
      QWidget* window = d.window();
      save(framed(window), window->windowTitle());
      if (auto* file_dialog = qobject_cast<QDialog*>(window)) file_dialog->reject();
      return;
    }
    // Active, as a dialog the user just opened is: its focused button shows as focused.
    d.activateWindow();
    QApplication::setActiveWindow(&d);
    settle(50);
    save(framed(&d), d.windowTitle());
    d.end(0);
  });
}

// A dialog that shows every kind of control the window layer offers, skinned like the
// editors, so the layer's look can be judged before the windows that use it exist.
class SamplerProc : public SkinnedDialogProc {
 public:
  SamplerProc() : SkinnedDialogProc(kFace2Texture) {}

  void on_init(Dialog& d) override {
    d.make_owner_drawn(20);
    d.make_owner_drawn(21);
    d.check(11, true);
    d.check(13, true);
    d.set_text(30, "A single-line edit field");
    d.set_text(31, "42");
    d.set_text(32, "Multi-line field\r\nin the fixed font");
    for (const char* item : {"proxy.example.net:3128", "cache.local:8080", "10.0.0.1:80"}) {
      d.combo(40)->add_string(item);
    }
    d.combo(40)->set_current_selection(0);
    for (const char* item : {"First item", "Second item (selected)", "Third item"}) {
      d.list(41)->add_string(item);
    }
    d.list(41)->set_selected(1, true);
  }

 protected:
  const QPixmap* owner_draw_texture(Dialog&, int id) override {
    return id == 21 ? &texture(kInsetTexture) : &texture(kFace2Texture);
  }
  TextureIndex text_texture(Dialog&, int) override { return kFace2Texture; }
};

using enum ControlKind;
const ControlTemplate kSamplerControls[] = {
    {kNoId, GroupBox, "", 7, 5, 140, 62},
    {20, Static, "^lCaption on Face Two", 14, 4, 70, 8, kOwnerDraw},
    {11, CheckBox, "Auto check box", 14, 16, 120, 10},
    {12, CheckBox, "Another, clear", 14, 28, 120, 10},
    {13, CheckBox, "Disabled and checked", 14, 40, 120, 10, kStartsDisabled},
    {kNoId, EtchedLine, "", 14, 54, 126, 1},
    {kNoId, Frame, "", 154, 5, 110, 62, kEtched},
    {kNoId, Static, "Plain static text that wraps onto a second line.", 160, 10, 98, 18},
    {kNoId, Static, "Centred static", 160, 30, 98, 8, kCentred},
    {21, Frame, "^rInset panel", 160, 42, 98, 16, kClientEdge},
    {30, Edit, "", 7, 74, 140, 12, kAutoScroll},
    {31, Edit, "", 154, 74, 40, 12, kDigitsOnly, 5},
    {40, ComboBox, "", 7, 92, 140, 60, kSorted | kVScroll},
    {32, Edit, "", 7, 110, 140, 30, kMultiLine | kVScroll},
    {41, ListBox, "", 154, 92, 110, 48, kVScroll},
    {1, Button, "Owner-drawn", 7, 148, 60, 14, kOwnerDraw},
    {3, Button, "Disabled", 74, 148, 60, 14, kOwnerDraw | kStartsDisabled},
    {4, Button, "Plain button", 141, 148, 60, 14},
    {5, PushToggle, "Toggle", 208, 148, 56, 14, kOwnerDraw},
};
const DialogTemplate kSamplerTemplate{999, "Window layer sampler", 271, 170, 0, kSamplerControls};

// Photographs the file dialog that is about to run modally, then cancels it.
void photograph_next_file_dialog() {
  QTimer::singleShot(0, [] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (!dialog) return;
    settle(400);
    save(framed(dialog), dialog->windowTitle());
    if (auto* file_dialog = qobject_cast<QDialog*>(dialog)) file_dialog->reject();
  });
}

// The main window as it starts, and again with Bypass pressed, the configuration changed and
// the pointer on the Reload Last Config icon.
void photograph_main_window() {
  DesktopFrontend frontend;
  install_frontend(&frontend);
  const uint32_t flags = settings_flags();
  MainWindow window(main_window_record());
  window.connect_frontend(frontend);
  window.set_close_handler(nullptr);
  window.show(false);
  set_status_text("--- Waiting for connections ---", kGreen);
  settle(100);
  save(framed(&window.dialog()), window.dialog().windowTitle());

  settings().auto_run = "browser";
  settings_clear_flags(Enable);
  settings_add_flags(Changed);
  window.sync_controls();
  window.dialog().menu_bar()->set_hot_item(4);
  settle(100);
  save(framed(&window.dialog()), window.dialog().windowTitle() + QStringLiteral(" (bypass)"));
  settings().auto_run.clear();
  settings_set_flags(flags);
  install_frontend(nullptr);
}

// The log window with the lines of a request, its reply, a filter hit and an error, the
// selection on the reply's status line; then its find bar, and the filter hits of connection 1
// alone.
void photograph_log_window() {
  DesktopFrontend frontend;
  install_frontend(&frontend);
  open_log_window();
  const char* lines[] = {
      "WListening on port 8080",
      "W",
      "W+++GET 1+++",
      "GGET http://www.example.com/news/index.html HTTP/1.1",
      "GHost: www.example.com",
      "GUser-Agent: Mozilla/5.0 (X11; Linux x86_64)",
      "GAccept: text/html,application/xhtml+xml",
      "GAccept-Language: en-GB,en;q=0.5",
      "W",
      "W+++RESP 1+++",
      "YHTTP/1.1 200 OK",
      "YDate: Tue, 04 Jun 2024 09:12:44 GMT",
      "YContent-Type: text/html; charset=utf-8",
      "YContent-Length: 18234",
      "VMatch 1: Kill pop-up windows",
      "VMatch 1: Remove tracking pixels",
      "V<end> 1: Page footer",
      "W+++CLOSE 1+++",
      "W",
      "W+++GET 2+++",
      "CUsing Proxy - proxy.example.net:3128",
      "GGET http://ads.example.org/banner.gif HTTP/1.1",
      "GHost: ads.example.org",
      "R** 2 Socket Error 111 for ads.example.org **",
      "W+++CLOSE 2+++",
  };
  for (const char* line : lines) add_log_line(line);
  set_log_status("Active connections: 01");
  settle(100);
  if (LogWindow* log = log_window()) {
    log->list()->set_selected(11, true);
    settle(50);
    save(framed(log), log->windowTitle());
    // The find bar on "example", the second of its lines selected.
    log->run_command(kLogFindCommand);
    log->find_bar()->edit()->setText(QStringLiteral("example"));
    log->run_command(kLogFindNextCommand);
    settle(50);
    save(framed(log), log->windowTitle() + QStringLiteral(" (find)"));
    InputEvent escape(InputEvent::KeyDown);
    escape.key = kVkEscape;
    log->control_input(kLogFindEdit, escape);
    log->show_connection(1);
    settle(50);
    save(framed(log), log->windowTitle());
  }
  close_log_window();
  install_frontend(nullptr);
}

// Photographs the next dialog after `prepare` has acted on it, under the dialog's title and
// `state`, then ends it unless prepare did.
void photograph_next_as(const QString& state, std::function<void(Dialog&)> prepare) {
  set_dialog_observer([state, prepare = std::move(prepare)](Dialog& d) {
    set_dialog_observer(nullptr);
    d.activateWindow();
    QApplication::setActiveWindow(&d);
    if (prepare) prepare(d);
    settle(50);
    if (d.has_ended()) return;
    save(framed(&d), d.windowTitle() + state);
    d.end(0);
  });
}

// A filter list with two items selected, the editor on the caret item and a New one, the list
// again with an edited copy waiting to be installed (its box greyed: the editor's field
// edited_field takes edited_text as typing would), then the list empty.
void photograph_filter_list(void (*open_list)(QWidget*), int (*free_list)(), int edited_field,
                            const char* edited_text) {
  photograph_next_as(QStringLiteral(" (selection)"), [=](Dialog& d) {
    auto* list = d.list(1009);
    list->set_selected(1, true);
    list->set_selected(2, true);
    list->set_caret_index(2);
    d.control_command(1009, kListSelChange);
    photograph_next_as(QStringLiteral(" (existing filter)"), nullptr);
    d.control_command(1010, kClicked);
    photograph_next_as(QStringLiteral(" (new filter)"), nullptr);
    d.control_command(1011, kClicked);
    set_dialog_observer([=](Dialog& editor) {
      set_dialog_observer(nullptr);
      editor.set_text(edited_field, edited_text);
      editor.set_modified(edited_field, true);
      editor.control_command(1, kClicked);
    });
    d.control_command(1010, kClicked);
  });
  open_list(nullptr);
  free_list();
  photograph_next_as(QStringLiteral(" (empty)"), nullptr);
  open_list(nullptr);
}

// The web filter list with filters (active ones bold, one edited copy greyed, two selected),
// empty, and the editor for an existing filter and for a new one.
// Counts as a running proxy leaves them: the n-th record of a list struck counts[n] times.
template <typename Record>
void give_hits(Record* first, std::initializer_list<int> counts) {
  Record* f = first;
  for (int n : counts) {
    if (f == nullptr) return;
    for (int i = 0; i < n; ++i) f->hits.add();
    f = f->next;
  }
}

void photograph_web_filter_dialogs() {
  build_web_filter(nullptr, FILTER_ACTIVE, "Kill pop-up windows", nullptr, "window.open",
                   nullptr, 4096, "null");
  build_web_filter(nullptr, FILTER_ACTIVE | FILTER_MULTI, "Remove tracking pixels",
                   "*.example.com/", "<img * width=1*>", "<img*>", 256, "");
  build_web_filter(nullptr, 0, "Banner blaster", nullptr, "<a*href=*ads*</a>", nullptr,
                   4096, "[ad]");
  build_web_filter(nullptr, FILTER_ACTIVE, "<start> page header", nullptr, "<start>", nullptr,
                   4096, "<!-- filtered -->");
  build_web_filter(nullptr, 0, "Freeze marquees", nullptr, "<marquee", nullptr, 4096,
                   "<span");
  give_hits(web_filter_list, {12, 1377, 0, 41});
  photograph_filter_list(open_web_filter_list, free_web_filters, 1011, "Banner blaster (edited)");
}

// The try window of a filter's editor on a sample with three matches, the second selected
// with its variable listed; then with a Matching Expression that does not compile.
void photograph_try_window() {
  free_web_filters();
  build_web_filter(nullptr, FILTER_ACTIVE, "Bold to strong", nullptr, "<b>\\1</b>", nullptr, 4096,
                   "<strong>\\1</strong>");
  set_dialog_observer([](Dialog& list) {
    set_dialog_observer([&list](Dialog& editor) {
      set_dialog_observer([&list, &editor](Dialog& trial) {
        set_dialog_observer(nullptr);
        trial.set_text(kTrySample,
                       "<p>Prices: <b>low</b>, <b>lower</b>\r\nand <b>lowest</b> of all.</p>\r\n");
        trial.set_modified(kTrySample, true);
        trial.control_command(kTrySample, kEditChange);
        trial.list(kTryMatches)->set_current_selection(1);
        trial.control_command(kTryMatches, kListSelChange);
        settle(50);
        save(framed(&trial), trial.windowTitle() + QStringLiteral(" (matches)"));
        editor.set_text(kWebMatchField, "<b>(\\1</b>");
        settle(50);
        save(framed(&trial), trial.windowTitle() + QStringLiteral(" (bad expression)"));
        trial.end(0);
        editor.end(0);
        list.end(0);
      });
      editor.control_command(kWebTryButton, kClicked);
    });
    list.control_command(1010, kClicked);
  });
  open_web_filter_list(nullptr);
  free_web_filters();
}

// The header filter list with filters of each direction (one edited copy greyed, two
// selected), empty, and the editor for an existing filter and for a new one.
void photograph_header_filter_dialogs() {
  build_header_filter(nullptr, HEADER_OUT, "User-Agent", nullptr, "Mozilla/4.0 (compatible)");
  build_header_filter(nullptr, HEADER_OUT | HEADER_IN, "Cookie: no tracking", "*track*",
                      nullptr);
  build_header_filter(nullptr, HEADER_OUT, "Referer: hide it", nullptr, "none");
  build_header_filter(nullptr, HEADER_IN, "Set-Cookie", nullptr, nullptr);
  build_header_filter(nullptr, 0, "Accept-Language", nullptr, "en");
  give_hits(header_filter_list, {230, 0, 7, 96});
  photograph_filter_list(open_header_filter_list, free_header_filters, 1024, "no thanks");
}

// The preferences as a loaded configuration opens them; with textures also with a program to
// run and a black and a white Face Two file, whose field takes the file's look and text colour.
void photograph_preferences() {
  settings().port.store(kDefaultPort);
  photograph_next_as(QString(), nullptr);
  open_preferences(nullptr);
  if (!suffix.isEmpty()) return;
  const uint32_t flags = settings_flags();
  settings().auto_run = "/usr/bin/browser --new-window";
  settings_add_flags(EnableAutoRun);
  QTemporaryDir dir;
  for (auto [name, colour] : {std::pair{"black", Qt::black}, {"white", Qt::white}}) {
    QImage file(128, 128, QImage::Format_RGB32);
    file.fill(colour);
    const QString path = dir.filePath(QStringLiteral("%1.bmp").arg(name));
    file.save(path, "BMP");
    settings().texture_paths[kFace2Texture] = to_path(path);
    load_textures();
    photograph_next_as(QStringLiteral(" (%1 Face Two)").arg(name), nullptr);
    open_preferences(nullptr);
  }
  settings().texture_paths[kFace2Texture].clear();
  settings().auto_run.clear();
  settings_set_flags(flags);
  load_textures();
}

// Secure pages with inspection on, two pass-through hosts, one selected, and the line an
// export leaves.
void photograph_secure_pages() {
  const uint32_t flags = settings_flags();
  settings_add_flags(InspectSecure);
  pass_through_hosts() = {"*.bank.example", "pinned.example.org"};
  set_dialog_observer([](Dialog& d) {
    set_dialog_observer(nullptr);
    d.list(kSecureHostList)->set_current_selection(1);
    d.enable(kSecureDeleteButton, true);
    d.set_text(kSecureExportResult, "Certificate written to /home/user/kestrelwick-ca.crt");
    d.activateWindow();
    QApplication::setActiveWindow(&d);
    settle(50);
    save(framed(&d), d.windowTitle());
    d.end(0);
  });
  open_secure_pages(nullptr);
  pass_through_hosts().clear();
  settings_set_flags(flags);
}

void photograph_config_file_dialogs() {
  const std::string last = std::string(program_directory()) + "default.cfg";
  FileRequest load = load_config_request(last);
  photograph_next_file_dialog();
  run_file_dialog(nullptr, load);
  FileRequest save_request = save_config_request(last);
  photograph_next_file_dialog();
  run_file_dialog(nullptr, save_request);
}

// The proxy selector with three entries, the current one selected, then after an added entry
// (its status in green) and with its list dropped down; the add dialog with a text typed.
void photograph_proxy_selector() {
  for (const char* text : {"proxy.example.net:3128", "cache.local:8080", "10.0.0.1:80"}) {
    current_proxy.store(parse_proxy_entry(nullptr, text));
  }
  photograph_next();
  open_proxy_selector(nullptr);
  set_dialog_observer([](Dialog& d) {
    set_dialog_observer([](Dialog& add) {
      set_dialog_observer(nullptr);
      add.set_text(kNewProxyField, "gateway.example.org:8000");
      settle(50);
      save(framed(&add), add.windowTitle());
      add.post_command(kIdOk);
    });
    d.post_command(kProxyAddButton);
    QTimer::singleShot(300, &d, [&d] {
      settle(50);
      save(framed(&d), d.windowTitle() + QStringLiteral(" (added)"));
      d.combo(kProxyCombo)->showPopup();
      settle(100);
      QImage picture = framed(&d);
      if (QWidget* popup = d.combo(kProxyCombo)->view()->window()) {
        const QImage list = popup->grab().toImage();
        QImage both(picture.width(), picture.height() + list.height(), QImage::Format_RGB32);
        both.fill(Qt::white);
        QPainter p(&both);
        p.drawImage(0, 0, picture);
        p.drawImage(d.combo(kProxyCombo)->mapTo(&d, QPoint(0, 0)).x() + 4, picture.height(), list);
        picture = both;
      }
      d.combo(kProxyCombo)->hidePopup();
      save(picture, d.windowTitle() + QStringLiteral(" (list)"));
      d.post_command(kProxyCancelButton);
    });
  });
  open_proxy_selector(nullptr);
  clear_proxy_list();
  free_retired_proxies();
}

void photograph_everything() {
  photograph_proxy_selector();
  photograph_main_window();
  photograph_log_window();
  photograph_config_file_dialogs();
  photograph_web_filter_dialogs();
  photograph_try_window();
  photograph_header_filter_dialogs();
  photograph_preferences();
  photograph_secure_pages();
  photograph_next();
  show_about(nullptr);
  photograph_next();
  show_message(nullptr, "Error in Matching Expression\nCheck for mis-matched [] or ()",
               "Syntax Error", kMessageIcon);
  photograph_next();
  ask_active_connections(nullptr, [](int) { return 0; });
  photograph_next();
  ask_filters_in_use(nullptr, [](int) { return 0; });
  photograph_next();
  ask_save_changes(nullptr);
  photograph_next();
  show_application_error_box(
      nullptr,
      "Failed to load texture bitmap:\n/home/user/textures/a-rather-long-folder-name/"
      "backgrounds/sandstone-128x128.bmp");
  FileRequest request;
  request.title = "Load a new texture bitmap";
  request.filters = {{"Bitmap Files", "*.bmp"}};
  request.default_extension = "bmp";
  request.file = "[none]";
  request.default_strip = true;
  photograph_next();
  run_file_dialog(nullptr, request);
  SamplerProc sampler;
  photograph_next();
  run_dialog(kSamplerTemplate, sampler, nullptr);
}

// The help viewer at its first topic (it has no skin, so it is photographed once).
void photograph_help() {
  show_help(1);
  HelpWindow* help = help_window();
  if (!help) return;
  settle(200);
  save(framed(help), help->windowTitle());
  help->close();
}

// The built-in pictures side by side.
void photograph_builtin_art() {
  const struct {
    int id;
    const char* name;
  } bitmaps[] = {{kBackBitmap, "Background"}, {kInsetBitmap, "Inset"},
                 {kFace1Bitmap, "Face One"},  {kFace2Bitmap, "Face Two"},
                 {kButtonBitmap, "Button"},   {kAboutBitmap, "About picture"}};
  QImage sheet(760, 420, QImage::Format_RGB32);
  sheet.fill(QColor(96, 96, 96));
  QPainter p(&sheet);
  p.setPen(Qt::white);
  int x = 10, y = 10;
  for (const auto& b : bitmaps) {
    const QPixmap pixmap = builtin_resource(ResourceType::Bitmap, b.id);
    if (x + pixmap.width() > sheet.width() - 10) {
      x = 10;
      y += 170;
    }
    p.drawText(x, y + 12,
               QStringLiteral("%1 %2 (%3 x %4)")
                   .arg(b.id)
                   .arg(b.name)
                   .arg(pixmap.width())
                   .arg(pixmap.height()));
    p.drawPixmap(x, y + 18, pixmap);
    x += std::max(pixmap.width(), 150) + 20;
  }
  x = 10;
  y += 170;
  for (int id : {kProgramIcon, kMessageIcon, kSaveLastIcon, kReloadLastIcon, kAutoRunIcon}) {
    const QPixmap icon = builtin_resource(ResourceType::Icon, id);
    p.drawText(x, y + 12, QString::number(id));
    p.drawPixmap(x, y + 18, icon);
    p.drawPixmap(x + 40, y + 18, icon.scaled(icon.size() * 2));
    x += 130;
  }
  p.end();
  save(sheet, QStringLiteral("Built-in pictures"));
}

}  // namespace
}  // namespace kw

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  kw::out_dir = QString::fromLocal8Bit(argc > 1 ? argv[1] : "shots");
  if (!QDir().mkpath(kw::out_dir)) {
    std::fprintf(stderr, "kwshots: cannot make %s\n", qPrintable(kw::out_dir));
    return 1;
  }
  kw::settings_set_flags(kw::kLoadDefaultFlags);
  kw::load_textures();
  kw::photograph_everything();
  kw::photograph_builtin_art();
  kw::photograph_help();

  kw::suffix = QStringLiteral(" (no textures)");
  kw::settings_set_flags(kw::kLoadDefaultFlags | kw::NoTextures);
  kw::load_textures();
  kw::photograph_everything();
  std::printf("%d pictures written\n", kw::written);
  return kw::failed ? 1 : 0;
}
