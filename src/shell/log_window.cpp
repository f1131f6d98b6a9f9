// The log window: queue draining, painting, commands and keys.
#include "shell/log_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include "dialogs/message_dialogs.h"
#include "engine/listener.h"
#include "shell/help_window.h"
#include "shell/log_find.h"
#include "shell/log_find_bar.h"
#include "shell/log_queue.h"
#include "shell/main_window.h"
#include "ui/controls.h"
#include "ui/dialog_units.h"
#include "ui/list_box.h"
#include "ui/menu_bar.h"
#include "ui/resources.h"
#include "ui/status_bar.h"
#include "ui/system_colours.h"
#include "ui/text.h"
#include "ui/window_placement.h"

namespace kw {
namespace {

const MenuItemTemplate kEditItems[] = {
    {"&Copy to Clipboard\tCtrl+C", kLogCopyCommand},
    {"&Pause\tCtrl+P", kLogPauseCommand},
    {"&Reset\tCtrl+R", kLogResetCommand},
    {"Select &all\tCtrl+A", kLogSelectAllCommand},
    {"", 0, kMenuSeparator},
    {"&HTML filters", kLogHtmlFiltersCommand, kMenuChecked},
    {"H&TTP headers", kLogHttpHeadersCommand, kMenuChecked},
    {"", 0, kMenuSeparator},
    {"&Stop Logging\tCtrl+X", kLogStopCommand},
};
const MenuItemTemplate kLogBar[] = {
    {"&Edit", 0, kMenuPopup, kEditItems},
    {"&Help", kLogHelpCommand},
};
const MenuTemplate kLogMenu{137, kLogBar};

// The list: owner-drawn lines of fixed height that keep their texts, extended selection.
const ControlTemplate kListTemplate{kLogList, ControlKind::ListBox,
                                    "",       0,
                                    0,        0,
                                    0,        kOwnerDraw | kHasStrings | kExtendedSel | kVScroll};

// Right edge of the status bar's first part.
constexpr int kFirstPartWidth = 60;

constexpr char kCapture[] = "Capture";
constexpr char kPaused[] = "Paused...";
constexpr char kTitle[] = "HTTP Message Log";

// Behind the lines that hold the find bar's text.
const QColor kFindHighlight(0x20, 0x30, 0x78);

QPointer<LogWindow> open_window;

}  // namespace

Rgb log_line_colour(char first) {
  switch (first) {
    case 'R':
      return kRed;
    case 'C':
      return kCyan;
    case 'G':
      return kGreen;
    case 'Y':
      return kYellow;
    case 'V':
      return kMagenta;
    default:
      return kWhite;
  }
}

LogWindow::LogWindow(MainWindowRecord& record) : QWidget(nullptr), record_(record) {
  setObjectName(QStringLiteral("HtmMsgLog"));
  setWindowTitle(QString::fromLatin1(kTitle));
  setAttribute(Qt::WA_DeleteOnClose);
  // The log never keeps the program running, and quitting the program closes it.
  setAttribute(Qt::WA_QuitOnClose, false);
  setWindowIcon(QIcon(load_icon(kIconInformation)));
  setAutoFillBackground(true);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);

  menu_bar_ = new MenuBar(kLogMenu, this, this);
  status_bar_ = new StatusBar(this);
  status_bar_->set_parts({kFirstPartWidth, -1});
  status_bar_->set_text(0, QString::fromLatin1(kCapture));

  list_ = new ListBox(this, kListTemplate, this);
  list_->setFont(sans_font(8, 700));
  list_->setFrameShape(QFrame::Panel);
  list_->setFrameShadow(QFrame::Sunken);
  list_->setLineWidth(1);
  QPalette list_palette = list_->palette();
  list_palette.setColor(QPalette::Base, Qt::black);
  list_->setPalette(list_palette);
  list_->set_subclassed(true);  // its keys come here first (Ctrl+C and the others)
  list_->setContextMenuPolicy(Qt::NoContextMenu);
  setFocusProxy(list_);
  find_bar_ = new LogFindBar(this, kLogFindEdit, this);
  find_bar_->hide();

  // The window manager sizes the window so that the list shows whole lines, at least three.
  setSizeIncrement(1, kLogLineHeight);
  setBaseSize(0, fixed_height());
  setMinimumSize(120, fixed_height() + kLogMinimumLines * kLogLineHeight);
  resize(std::max(record.log_window_rect.width(), minimumWidth()),
         std::max(record.log_window_rect.height(), minimumHeight()));
  lay_out();

  QPointer<LogWindow> self(this);
  log_queue().open([self] {
    // Called from whatever thread logs; the drain runs later on this window's thread.
    QMetaObject::invokeMethod(
        self.data(),
        [self] {
          if (self) self->drain();
        },
        Qt::QueuedConnection);
  });
  // Now that the queue takes status texts: the current count goes to this window's count field
  // (and to the main window's status line) without waiting for it to change.
  adjust_active_connections(0);
  open_window = this;
}

LogWindow::~LogWindow() { let_go(); }

void LogWindow::let_go() {
  if (let_go_) return;
  let_go_ = true;
  log_queue().close();
  const QRect r = geometry();
  record_.log_window_rect = {r.left(), r.top(), r.right() + 1, r.bottom() + 1};
  if (open_window == this) open_window = nullptr;
}

int LogWindow::fixed_height() const {
  return menu_bar_->sizeHint().height() + status_bar_->sizeHint().height() +
         2 * list_->frameWidth();
}

void LogWindow::lay_out() {
  const int menu_height = menu_bar_->sizeHint().height();
  const int status_height = status_bar_->sizeHint().height();
  const int bar_height = find_bar_->isVisible() ? find_bar_->sizeHint().height() : 0;
  menu_bar_->setGeometry(0, 0, width(), menu_height);
  const int list_height = std::max(height() - menu_height - status_height - bar_height, 0);
  list_->setGeometry(0, menu_height, width(), list_height);
  find_bar_->setGeometry(0, menu_height + list_height, width(), bar_height);
  status_bar_->setGeometry(0, height() - status_height, width(), status_height);
}

void LogWindow::resizeEvent(QResizeEvent*) { lay_out(); }

int LogWindow::line_count() const { return list_->count(); }

std::vector<std::string> LogWindow::lines() const {
  std::vector<std::string> result;
  result.reserve(static_cast<size_t>(list_->count()));
  for (int i = 0; i < list_->count(); ++i) result.push_back(to_8bit(list_->item_text(i)));
  return result;
}

std::vector<std::string> LogWindow::shown_lines() const {
  std::vector<std::string> result;
  for (int i = 0; i < list_->count(); ++i) {
    if (!list_->isRowHidden(i)) result.push_back(to_8bit(list_->item_text(i)));
  }
  return result;
}

bool LogWindow::line_matches(const QString& text) const {
  return !needle_.empty() && log_line_holds(to_8bit(text), needle_);
}

std::vector<int> LogWindow::match_rows() const {
  std::vector<int> rows;
  if (needle_.empty()) return rows;
  for (int i = 0; i < list_->count(); ++i) {
    if (!list_->isRowHidden(i) && line_matches(list_->item_text(i))) rows.push_back(i);
  }
  return rows;
}

void LogWindow::drain() {
  LogQueue::Batch batch = log_queue().take();
  if (batch.status_changed) status_bar_->set_text(1, from_8bit(batch.status));
  if (!batch.lines.empty()) append_lines(batch.lines);
}

// A batch is shown in one step: the lines it pushes out go first, then it is appended, and the
// list scrolls so that its last line is in view.
void LogWindow::append_lines(std::vector<std::string>& lines) {
  const int incoming = static_cast<int>(lines.size());
  const int excess = list_->count() + incoming - kMaxLogLines;
  const bool redraw_off = excess > 0;
  if (redraw_off) list_->set_redraw(false);
  if (excess > 0) list_->model()->removeRows(0, std::min(excess, list_->count()));
  QStringList texts;
  texts.reserve(incoming);
  for (const std::string& line : lines) texts.push_back(from_8bit(line));
  const int first_new = list_->count();
  list_->insertItems(first_new, texts);
  if (connection_ >= 0) hide_other_connections(first_new);
  list_->scrollToBottom();
  if (redraw_off) list_->set_redraw(true);
  if (find_bar_->isVisible()) show_find_result();
}

void LogWindow::hide_other_connections(int first) {
  for (int i = first; i < list_->count(); ++i) {
    list_->setRowHidden(i, !is_filter_hit_of(to_8bit(list_->item_text(i)), connection_));
  }
}

void LogWindow::show_connection(int number) {
  connection_ = number < 0 ? -1 : number;
  if (connection_ < 0) {
    for (int i = 0; i < list_->count(); ++i) list_->setRowHidden(i, false);
    setWindowTitle(QString::fromLatin1(kTitle));
  } else {
    hide_other_connections(0);
    setWindowTitle(QStringLiteral("%1 - connection %2").arg(QLatin1String(kTitle)).arg(number));
  }
  list_->scrollToBottom();
  if (find_bar_->isVisible()) show_find_result();
}

void LogWindow::open_find_bar() {
  if (!find_bar_->isVisible()) {
    find_bar_->show();
    lay_out();
  }
  find_bar_->edit()->setFocus(Qt::ShortcutFocusReason);
  find_bar_->edit()->selectAll();
  find_text_changed();
}

void LogWindow::close_find_bar() {
  find_bar_->hide();
  needle_.clear();
  lay_out();
  list_->viewport()->update();
  list_->setFocus(Qt::OtherFocusReason);
}

void LogWindow::find_text_changed() {
  needle_ = to_8bit(find_bar_->edit()->text());
  list_->viewport()->update();
  // As the text is typed, the view goes to the first match from the caret line itself on.
  step_match(true, true);
}

void LogWindow::step_match(bool forward, bool from_caret_line) {
  const int caret = list_->caret_index();
  const int target =
      step_to_match(match_rows(), from_caret_line && caret >= 0 ? caret - 1 : caret, forward);
  if (target >= 0) {
    list_->set_selected(-1, false);
    list_->set_selected(target, true);
    list_->set_caret_index(target);
    list_->scrollToItem(list_->item(target));
  }
  show_find_result();
}

void LogWindow::show_find_result() {
  const std::vector<int> rows = match_rows();
  QString text;
  if (!needle_.empty()) {
    const auto at = std::find(rows.begin(), rows.end(), list_->caret_index());
    if (rows.empty()) {
      text = QStringLiteral("Not found");
    } else if (at != rows.end() && list_->is_selected(*at)) {
      text = QStringLiteral("%1 of %2").arg(at - rows.begin() + 1).arg(rows.size());
    } else {
      text = QStringLiteral("%1 lines").arg(rows.size());
    }
  }
  find_bar_->set_result(text);
}

void LogWindow::post_command(int id) {
  QTimer::singleShot(0, this, [this, id] { run_command(id); });
}

void LogWindow::control_command(int id, int code) {
  if (id == kLogList) return;  // notifications from the list are not commands
  if (id == kLogFindEdit) {
    if (code == kEditChange && find_bar_->isVisible()) find_text_changed();
    return;
  }
  run_command(id);
}

void LogWindow::run_command(int id) {
  switch (id) {
    case kLogCopyCommand:
      copy_selection();
      break;
    case kLogPauseCommand:
      toggle_pause();
      break;
    case kLogResetCommand:
      reset();
      break;
    case kLogSelectAllCommand:
      list_->set_selected(-1, true);
      break;
    case kLogHtmlFiltersCommand:
      toggle_category(kLogHtmlFilters, id);
      break;
    case kLogHttpHeadersCommand:
      toggle_category(kLogHttpHeaders, id);
      break;
    case kLogStopCommand:
      close();
      break;
    case kLogHelpCommand:
      show_help(kLogHelpTopic);
      break;
    case kLogFindCommand:
      open_find_bar();
      break;
    case kLogFindNextCommand:
    case kLogFindPreviousCommand:
      if (!find_bar_->isVisible()) {
        open_find_bar();
      } else {
        step_match(id == kLogFindNextCommand);
      }
      break;
    default:
      break;
  }
}

void LogWindow::copy_selection() {
  const std::vector<int> selected = list_->selected_indices();
  if (selected.empty()) return;
  if (selected.size() > static_cast<size_t>(kMaxLogLines)) {
    show_message(this, "LB_MAXLINES Exceeded!", "Error", kIconExclamation);
    return;
  }
  QString text;
  for (int index : selected) {
    if (list_->isRowHidden(index)) continue;
    text += list_->item_text(index).mid(1);
    text += QLatin1String("\r\n");
  }
  QApplication::clipboard()->setText(text);
  list_->setFocus(Qt::OtherFocusReason);
}

void LogWindow::toggle_pause() {
  const bool pause = !log_queue().paused();
  log_queue().set_paused(pause);
  menu_bar_->check_item(kLogPauseCommand, pause);
  status_bar_->set_text(0, QString::fromLatin1(pause ? kPaused : kCapture));
}

void LogWindow::reset() {
  // Lines logged before the reset and not shown yet go with the rest.
  log_queue().discard_lines();
  show_connection(-1);
  list_->reset_content();
  list_->addItem(QStringLiteral("W*** Log Reset ***"));
  list_->setFocus(Qt::OtherFocusReason);
}

void LogWindow::toggle_category(int code, int command) {
  const bool on = !log_queue().category_on(code);
  log_queue().set_category(code, on);
  menu_bar_->check_item(command, on);
}

void LogWindow::control_draw(DrawItem& item) {
  QPainter& painter = *item.painter;
  if (item.kind == DrawKind::ListBackground) {
    painter.fillRect(item.rect, Qt::black);
    return;
  }
  if (item.kind != DrawKind::ListItem) return;
  const bool selected = (item.state & kStateSelected) != 0;
  QColor background = Qt::black;
  QColor foreground =
      QColor::fromRgb(log_line_colour(item.text.isEmpty() ? '\0' : item.text.at(0).toLatin1()));
  if (selected) {
    background = sys_colour(SysColour::Highlight);
    foreground = sys_colour(SysColour::HighlightText);
  } else if (line_matches(item.text)) {
    background = kFindHighlight;
  }
  painter.fillRect(item.rect, background);
  painter.setPen(foreground);
  painter.setFont(list_->font());
  painter.drawText(item.rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   item.text.mid(1));
  if (item.state & kStateFocus) {
    QPen dotted(Qt::white);
    dotted.setStyle(Qt::DotLine);
    painter.setPen(dotted);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(item.rect.adjusted(0, 0, -1, -1));
  }
}

QColor LogWindow::control_text_colour(int) { return Qt::white; }

QSize LogWindow::control_measure(int id) {
  return id == kLogList ? QSize(16, kLogLineHeight) : QSize(16, 16);
}

QWidget* LogWindow::control_widget(int id) { return id == kLogList ? list_ : nullptr; }

bool LogWindow::find_bar_key(const InputEvent& event) {
  if (event.kind != InputEvent::KeyDown) return false;
  const bool back = (event.modifiers & kKeyShift) != 0;
  switch (event.key) {
    case kVkReturn:
    case kVkF3:
      post_command(back ? kLogFindPreviousCommand : kLogFindNextCommand);
      return true;
    case kVkEscape:
      close_find_bar();
      return true;
    case kVkF1:
      show_help(kLogHelpTopic);
      return true;
    default:
      return false;
  }
}

bool LogWindow::control_input(int id, const InputEvent& event) {
  if (id == kLogFindEdit) return find_bar_key(event);
  if (id != kLogList || event.kind != InputEvent::KeyDown) return false;
  if (event.key == kVkF1) {
    show_help(kLogHelpTopic);
    return true;
  }
  if (event.key == kVkF3) {
    post_command((event.modifiers & kKeyShift) ? kLogFindPreviousCommand : kLogFindNextCommand);
    return true;
  }
  if (!(event.modifiers & kKeyCtrl)) return false;
  switch (event.key) {
    case 'C':
    case kVkInsert:
      // The list's own Ctrl+C would put just the current line, with its category character,
      // on the clipboard; the window's copy replaces it.
      post_command(kLogCopyCommand);
      return true;
    case 'A':
      post_command(kLogSelectAllCommand);
      return false;
    case 'P':
      post_command(kLogPauseCommand);
      return false;
    case 'R':
      post_command(kLogResetCommand);
      return false;
    case 'X':
      post_command(kLogStopCommand);
      return false;
    case 'F':
      post_command(kLogFindCommand);
      return true;
    default:
      return false;
  }
}

void LogWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    show_help(kLogHelpTopic);
    return;
  }
  list_->setFocus(Qt::OtherFocusReason);
  QWidget::keyPressEvent(event);
}

// A right click on a line that names a connection, or any while one connection is shown, offers
// the connection views and the find bar, with the File menu beneath; elsewhere it is the File
// menu alone.
void LogWindow::contextMenuEvent(QContextMenuEvent* event) {
  const bool by_keyboard = event->reason() == QContextMenuEvent::Keyboard;
  int number = -1;
  if (!by_keyboard) {
    const QPoint at = list_->viewport()->mapFromGlobal(event->globalPos());
    const int row = list_->item_from_point(at.x(), at.y());
    if (row >= 0) number = log_line_connection(to_8bit(list_->item_text(row)));
  }
  if (number < 0 && connection_ < 0) {
    popup_file_menu(this, by_keyboard ? QPoint(-1, -1) : event->globalPos());
    return;
  }
  QMenu menu(this);
  QAction* only = number >= 0 && number != connection_
                      ? menu.addAction(QStringLiteral("Show only connection %1").arg(number))
                      : nullptr;
  QAction* all = connection_ >= 0 ? menu.addAction(QStringLiteral("Show all lines")) : nullptr;
  QAction* find = menu.addAction(QStringLiteral("Find...\tCtrl+F"));
  MainWindow* main = main_window();
  if (QMenu* file =
          main && main->dialog().menu_bar() ? main->dialog().menu_bar()->popup(0) : nullptr) {
    menu.addSeparator();
    menu.addMenu(file)->setText(QStringLiteral("&File"));
  }
  QAction* chosen = menu.exec(event->globalPos());
  if (chosen == nullptr) return;
  if (chosen == only) show_connection(number);
  if (chosen == all) show_connection(-1);
  if (chosen == find) open_find_bar();
}

void LogWindow::closeEvent(QCloseEvent* event) {
  let_go();
  event->accept();
}

int open_log_window() {
  if (open_window) {
    if (open_window->isMinimized()) open_window->showNormal();
    open_window->show();
    open_window->raise();
    open_window->activateWindow();
    return 1;
  }
  auto* window = new LogWindow(main_window_record());
  keep_inside_screen(window);
  window->show();
  add_log_line("WNew Message Log Window....");
  return 1;
}

LogWindow* log_window() { return open_window.data(); }

void close_log_window() {
  if (LogWindow* window = open_window.data()) {
    window->close();
  }
}

}  // namespace kw
