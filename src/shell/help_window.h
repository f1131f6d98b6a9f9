// The help viewer: a top-level window that shows the topics of the help file beside the program
// (help_file.h) with a list of topics, a text browser, and Contents, Back and Forward buttons.
// Links between topics (href="topic:N", optionally with "#anchor") are followed inside the
// viewer; links of any other kind are not followed, so the help never opens anything else.
// A help file that cannot be read, or a topic it lacks, is explained on the page itself.
//
// show_help keeps one shared viewer for the whole run, as the main window's Help command, its
// F1 key, the log window and the dialogs all open the same help: it is made on first use and
// deleted when the application quits. User-interface thread only.
#pragma once

#include <QWidget>
#include <string>

#include "shell/help_file.h"

class QListWidget;
class QPushButton;
class QTextBrowser;
class QUrl;

namespace kw {

class HelpBrowser;

class HelpWindow : public QWidget {
  Q_OBJECT

 public:
  // Reads the help file at path; parent, when given, owns the window (it stays a window).
  explicit HelpWindow(std::string path, QWidget* parent = nullptr);

  // Shows the topic (0 means 1). A file that could not be read is tried again first, so help
  // installed while the program runs is found.
  void show_topic(int topic);

  // The topic on display, 0 while none is (the file could not be read).
  int current_topic() const { return current_topic_; }
  bool file_read() const { return file_read_; }
  QTextBrowser* browser() const;
  QListWidget* topic_list() const { return topic_list_; }

  // A modal window blocks input to every window that is not its own. While one is active, the
  // help is made a window of it so that help asked for from a dialog can be read and used;
  // when that window closes, the help stays open and moves to the modal window below it, or
  // becomes a window of its own again.
  void follow_modal_window();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void read_file();
  void attach_to(QWidget* owner);
  void on_source_changed(const QUrl& url);

  std::string path_;
  HelpFile file_;
  bool file_read_ = false;
  int current_topic_ = 0;
  HelpBrowser* browser_;
  QListWidget* topic_list_;
  QPushButton* contents_button_;
  QPushButton* back_button_;
  QPushButton* forward_button_;
};

// Opens the shared help viewer on the help file beside the program, at the topic (0 means 1),
// and brings it to the front.
void show_help(int topic);
// The shared viewer, none before the first show_help.
HelpWindow* help_window();

}  // namespace kw
