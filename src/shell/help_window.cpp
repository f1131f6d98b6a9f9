// The help viewer window and the shared instance behind show_help.
#include "shell/help_window.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTextBrowser>
#include <QTextOption>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/window_placement.h"

namespace kw {
namespace {

constexpr char kTopicScheme[] = "topic";
constexpr char kWindowTitle[] = "Kestrelwick Help";

// Look of every topic page; topics keep to plain HTML and take their style from here.
constexpr char kStyleSheet[] =
    "body { font-size: 10pt; }"
    "h1 { font-size: 16pt; color: #4b0064; }"
    "h2 { font-size: 12pt; color: #4b0064; }"
    "h3 { font-size: 10pt; color: #4b0064; }"
    "code { font-family: monospace; color: #00005a; }"
    "pre { font-family: monospace; background-color: #f0ecf4; }"
    "th { background-color: #e4dcec; text-align: left; }"
    "a { color: #1a4fb0; }";

QUrl topic_url(int number) { return QUrl(QString("%1:%2").arg(kTopicScheme).arg(number)); }

// The topic number of a "topic:N" URL, 0 for anything else.
int topic_of(const QUrl& url) {
  if (url.scheme() != kTopicScheme) return 0;
  bool ok = false;
  int n = url.path().toInt(&ok);
  return ok ? n : 0;
}

QString escaped(const std::string& text) { return QString::fromUtf8(text).toHtmlEscaped(); }

QString missing_file_page(const std::string& path) {
  return QString(
             "<h1>The help file cannot be read</h1>"
             "<p>Kestrelwick keeps its help in the file <code>%1</code>, in the folder of the "
             "program itself. That file is missing or cannot be read.</p>"
             "<p>Copy <code>Kestrelwick.hlp</code> from the program's distribution into that "
             "folder and open the help again. The proxy itself works without it.</p>")
      .arg(path.empty() ? QString("Kestrelwick.hlp") : escaped(path));
}

QString missing_topic_page(int number) {
  return QString(
             "<h1>No such help topic</h1>"
             "<p>The help file has no topic %1. It may be from an older version of the "
             "program.</p><p><a href=\"topic:1\">Go to the contents</a></p>")
      .arg(number);
}

}  // namespace

// Serves "topic:N" pages from the help file and refuses to follow any other link.
class HelpBrowser : public QTextBrowser {
 public:
  HelpBrowser(const HelpFile& file, QWidget* parent) : QTextBrowser(parent), file_(file) {
    setOpenExternalLinks(false);
    document()->setDefaultStyleSheet(kStyleSheet);
    // Long expressions in narrow table cells break rather than widen the page, so the page
    // always fits the width and never needs to scroll sideways.
    QTextOption wrap = document()->defaultTextOption();
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document()->setDefaultTextOption(wrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }

  QVariant loadResource(int type, const QUrl& url) override {
    int number = topic_of(url);
    bool page = type == QTextDocument::HtmlResource || type == QTextDocument::UnknownResource;
    if (!page || number == 0) return {};
    const HelpTopic* topic = file_.find(number);
    if (!topic) return missing_topic_page(number);
    return QString::fromUtf8(topic->html);
  }

 protected:
  void doSetSource(const QUrl& url, QTextDocument::ResourceType type) override {
    if (topic_of(url) != 0) QTextBrowser::doSetSource(url, type);
  }

 private:
  const HelpFile& file_;
};

HelpWindow::HelpWindow(std::string path, QWidget* parent)
    : QWidget(parent, Qt::Window), path_(std::move(path)) {
  setWindowTitle(kWindowTitle);
  resize(880, 600);

  browser_ = new HelpBrowser(file_, this);
  topic_list_ = new QListWidget(this);
  topic_list_->setSpacing(2);
  contents_button_ = new QPushButton("&Contents", this);
  back_button_ = new QPushButton("&Back", this);
  forward_button_ = new QPushButton("&Forward", this);
  back_button_->setEnabled(false);
  forward_button_->setEnabled(false);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(contents_button_);
  buttons->addWidget(back_button_);
  buttons->addWidget(forward_button_);
  buttons->addStretch();

  auto* splitter = new QSplitter(this);
  splitter->addWidget(topic_list_);
  splitter->addWidget(browser_);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({290, 590});

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(splitter, 1);

  connect(contents_button_, &QPushButton::clicked, this, [this] { show_topic(1); });
  connect(back_button_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
  connect(forward_button_, &QPushButton::clicked, browser_, &QTextBrowser::forward);
  connect(browser_, &QTextBrowser::backwardAvailable, back_button_, &QWidget::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward_button_, &QWidget::setEnabled);
  connect(browser_, &QTextBrowser::sourceChanged, this, &HelpWindow::on_source_changed);
  connect(topic_list_, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { show_topic(item->data(Qt::UserRole).toInt()); });
  connect(topic_list_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { show_topic(item->data(Qt::UserRole).toInt()); });

  read_file();
}

QTextBrowser* HelpWindow::browser() const { return browser_; }

void HelpWindow::follow_modal_window() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal != this && modal != parentWidget()) attach_to(modal);
}

void HelpWindow::attach_to(QWidget* owner) {
  if (QWidget* old = parentWidget()) old->removeEventFilter(this);
  bool was_visible = isVisible();
  setParent(owner, Qt::Window);  // hides the window
  if (owner) owner->installEventFilter(this);
  if (was_visible) show();
}

bool HelpWindow::eventFilter(QObject* watched, QEvent* event) {
  // The modal window that owns the help is closing (a window being destroyed hides first):
  // the help stays open and moves to the modal window below it, if any, else stands alone.
  if (watched == parentWidget() && event->type() == QEvent::Hide) {
    QWidget* next = nullptr;
    for (QWidget* w = parentWidget()->parentWidget(); w && !next; w = w->parentWidget()) {
      QWidget* window = w->window();
      if (window->isVisible() && window->windowModality() != Qt::NonModal) next = window;
    }
    attach_to(next);
  }
  return false;
}

void HelpWindow::read_file() {
  file_read_ = file_.load(path_) == 1;
  topic_list_->clear();
  for (const HelpTopic& topic : file_.topics()) {
    auto* item = new QListWidgetItem(QString::fromUtf8(topic.title), topic_list_);
    item->setData(Qt::UserRole, topic.number);
  }
}

void HelpWindow::show_topic(int topic) {
  if (!file_read_) read_file();
  if (!file_read_) {
    current_topic_ = 0;
    browser_->clearHistory();
    browser_->setHtml(missing_file_page(path_));
    setWindowTitle(kWindowTitle);
    return;
  }
  browser_->setSource(topic_url(help_topic_to_show(topic)));
}

void HelpWindow::on_source_changed(const QUrl& url) {
  current_topic_ = topic_of(url);
  const HelpTopic* topic = file_.find(current_topic_);
  setWindowTitle(topic ? QString("%1 - %2").arg(kWindowTitle, QString::fromUtf8(topic->title))
                       : QString(kWindowTitle));
  for (int row = 0; row < topic_list_->count(); ++row) {
    QListWidgetItem* item = topic_list_->item(row);
    if (item->data(Qt::UserRole).toInt() == current_topic_) {
      topic_list_->setCurrentItem(item);
      return;
    }
  }
  topic_list_->clearSelection();
}

namespace {
QPointer<HelpWindow> shared_viewer;
}  // namespace

void show_help(int topic) {
  if (!shared_viewer) {
    shared_viewer = new HelpWindow(help_file_path());
    // Closing the help never ends the program; quitting the program ends the help.
    shared_viewer->setAttribute(Qt::WA_QuitOnClose, false);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, shared_viewer.data(),
                     &QObject::deleteLater);
  }
  shared_viewer->show_topic(topic);
  shared_viewer->follow_modal_window();
  if (shared_viewer->isMinimized()) shared_viewer->showNormal();
  if (!shared_viewer->isVisible()) keep_inside_screen(shared_viewer);
  shared_viewer->show();
  shared_viewer->raise();
  shared_viewer->activateWindow();
}

HelpWindow* help_window() { return shared_viewer.data(); }

}  // namespace kw
