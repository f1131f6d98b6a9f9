// The log window's find bar: "Find:", the entry field (an edit control whose input goes to the
// log window first, so that Enter, F3 and Escape act on the log) and how many kept lines hold
// the text ("2 of 7", "Not found"). Black like the log, white text. User-interface thread only.
#pragma once

#include <QWidget>

namespace kw {

class ControlHost;
class EditControl;

class LogFindBar : public QWidget {
 public:
  LogFindBar(ControlHost* host, int edit_id, QWidget* parent);

  EditControl* edit() const { return edit_; }
  QString result() const { return result_; }
  void set_result(const QString& text);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  int label_width() const;

  EditControl* edit_;
  QString result_;
};

}  // namespace kw
