// A status bar along the bottom of a window: parts side by side, each a sunken field with one
// line of text. Part edges are given as the right edge of each part in pixels; -1 stretches
// the part to the right end. User-interface thread only.
#pragma once

#include <QString>
#include <QWidget>
#include <vector>

namespace kw {

class StatusBar : public QWidget {
 public:
  explicit StatusBar(QWidget* parent);

  void set_parts(std::vector<int> right_edges);
  int part_count() const { return static_cast<int>(edges_.size()); }
  void set_text(int part, const QString& text);
  QString text(int part) const;
  // The part's place in the bar.
  QRect part_rect(int part) const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<int> edges_{-1};
  std::vector<QString> texts_{QString()};
};

}  // namespace kw
