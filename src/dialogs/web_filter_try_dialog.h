// "Try Filter": the web filter editor's window for trying the filter as its fields stand on a
// sample (typed or pasted, loaded from a file, or the body of a recent page that went through
// the proxy). Each change of the editor's fields or of the sample runs the filter again through
// the proxy's own page passes (filter_trial.h): the matches are marked in the sample and listed,
// the selected one's variables listed, and the rewritten text shown beside the sample with what
// the filter wrote marked. A field that does not compile shows the editor's message for it in
// the window's status line instead. While the window is open the proxy keeps the bodies of the
// pages it filters (recent_pages.h). User-interface thread only.
#pragma once

#include <memory>
#include <span>

#include <QPointer>

#include "filters/filter_editing.h"
#include "ui/dialog.h"

namespace kw {

struct BuildMessage;

inline constexpr int kTryTemplate = 150;
inline constexpr int kTryRecentCombo = 1501;
inline constexpr int kTryLoadButton = 1502;
inline constexpr int kTrySample = 1503;
inline constexpr int kTryRewritten = 1504;
inline constexpr int kTryMatches = 1505;
inline constexpr int kTryVariables = 1506;
inline constexpr int kTryStatus = 1507;

class TryFilterProc;

// One editor's try window: opened beside the editor, closed by the user or with the editor.
class TryFilterWindow {
 public:
  // `messages`: what the editor says about each failed build, naming the field.
  explicit TryFilterWindow(std::span<const BuildMessage> messages);
  ~TryFilterWindow();

  // Shows the window beside `editor` trying `fields`, or raises it when it is open.
  void open(QWidget* editor, const WebFilterFields& fields);
  // The editor's fields changed: tried again while the window is open.
  void try_fields(const WebFilterFields& fields);
  // The window while it is open, else none.
  Dialog* dialog() const;

 private:
  std::unique_ptr<TryFilterProc> proc_;
  QPointer<Dialog> dialog_;  // a child of the editor, which deletes it when it goes
};

}  // namespace kw
