// The web filter editor's try window; see web_filter_try_dialog.h.
#include "dialogs/web_filter_try_dialog.h"

#include <QScreen>
#include <QTimer>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dialogs/file_dialog.h"
#include "dialogs/filter_editor_proc.h"
#include "filters/filter_trial.h"
#include "filters/recent_pages.h"
#include "ui/text.h"
#include "ui/window_placement.h"

namespace kw {
namespace {

using enum ControlKind;

constexpr int kFixedFontHeight = 12;       // pixels at 96 dpi
constexpr int kRecentPollMs = 500;         // how often the recent pages are looked at
constexpr size_t kFileSampleBytes = 1 << 20;  // a file is tried on its first MiB
constexpr int kSampleLimit = 1 << 20;
constexpr int kWindowGap = 8;  // pixels between the editor and the window

const QColor kMatchColour(255, 236, 140);
const QColor kSelectedMatchColour(255, 170, 90);
const QColor kChangeColour(170, 230, 170);
const QColor kErrorColour(176, 0, 0);

const ControlTemplate kControls[] = {
    {1510, Static, "Recent page", 7, 8, 42, 8},
    {kTryRecentCombo, ComboBox, "", 50, 6, 260, 100, kVScroll},
    {kTryLoadButton, Button, "Load File...", 316, 5, 50, 14, kOwnerDraw},
    {kIdCancel, Button, "Close", 372, 5, 36, 14, kOwnerDraw},
    {1511, Static, "Sample", 7, 25, 60, 8},
    {kTrySample, Edit, "", 7, 35, 198, 120, kMultiLine | kVScroll | kWantReturn, kSampleLimit},
    {1512, Static, "Rewritten", 210, 25, 60, 8},
    {kTryRewritten, Edit, "", 210, 35, 198, 120, kMultiLine | kVScroll | kReadOnly},
    {1513, Static, "Matches", 7, 160, 60, 8},
    {kTryMatches, ListBox, "", 7, 170, 198, 52, kNotify | kVScroll | kBorder},
    {1514, Static, "Variables of the selected match", 210, 160, 120, 8},
    {kTryVariables, ListBox, "", 210, 170, 198, 52, kVScroll | kBorder},
    {kTryStatus, Static, "", 7, 227, 401, 18},
};
const DialogTemplate kTemplate{kTryTemplate, "Try Filter", 415, 248, 0, kControls};

std::string one_line(const char* text) {
  std::string out = text;
  for (size_t at; (at = out.find('\n')) != std::string::npos;) out.replace(at, 1, ". ");
  return out;
}

bool read_sample(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string bytes;
  bytes.resize(kFileSampleBytes);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) return false;
  bytes.resize(static_cast<size_t>(in.gcount()));
  *out = std::move(bytes);
  return true;
}

}  // namespace

class TryFilterProc : public SkinnedDialogProc {
 public:
  explicit TryFilterProc(std::span<const BuildMessage> messages)
      : SkinnedDialogProc(kFace2Texture), messages_(messages) {}
  ~TryFilterProc() override { watch(false); }

  void set_fields(Dialog* d, const WebFilterFields& fields) {
    fields_ = fields;
    if (d != nullptr && d->is_running()) run(*d);
  }

  void on_init(Dialog& d) override {
    watch(true);
    const QFont fixed =
        fixed_font(static_cast<int>(std::lround(kFixedFontHeight * d.units().scale())));
    d.set_font(kTrySample, fixed);
    d.set_font(kTryRewritten, fixed);
    d.set_font(kTryMatches, fixed);
    d.set_font(kTryVariables, fixed);
    show_sample(d);
    fill_recent(d);
    // Pages that went through the proxy since join the list as they come.
    auto* timer = new QTimer(&d);
    QObject::connect(timer, &QTimer::timeout, &d, [this, &d] {
      if (recent_pages_kept() != recent_seen_) fill_recent(d);
    });
    timer->start(kRecentPollMs);
  }

  void on_command(Dialog& d, int id, int code) override {
    if (id == kTrySample && code == kEditChange) {
      if (!d.is_modified(kTrySample)) return;  // the window set it
      sample_ = d.text(kTrySample);
      run(d);
    } else if (id == kTryRecentCombo && code == kComboSelChange) {
      pick_recent(d);
    } else if (id == kTryMatches && code == kListSelChange) {
      show_selected(d);
    } else if (id == kTryLoadButton && code == kClicked) {
      load_file(d);
    } else if (id == kIdCancel && code == kClicked) {
      close(d);
    }
  }

  void on_close(Dialog& d) override { close(d); }

  QColor on_text_colour(Dialog& d, int id) override {
    if (id == kTryStatus && failed_) return kErrorColour;
    return SkinnedDialogProc::on_text_colour(d, id);
  }

 private:
  void watch(bool on) {
    if (watching_ == on) return;
    watching_ = on;
    watch_recent_pages(on);
  }

  void close(Dialog& d) {
    watch(false);
    d.end(0);
  }

  void fill_recent(Dialog& d) {
    recent_seen_ = recent_pages_kept();
    recent_ = recent_pages();
    auto* combo = d.combo(kTryRecentCombo);
    const QString shown = combo->text();
    combo->reset();
    for (size_t i = 0; i < recent_.size(); ++i) {
      combo->add_string(from_8bit(recent_[i].url), i);
    }
    combo->set_text(shown);
  }

  void pick_recent(Dialog& d) {
    const int index = d.combo(kTryRecentCombo)->current_selection();
    if (index < 0 || static_cast<size_t>(index) >= recent_.size()) return;
    sample_ = recent_[static_cast<size_t>(index)].body;
    url_ = recent_[static_cast<size_t>(index)].url;
    show_sample(d);
  }

  void load_file(Dialog& d) {
    FileRequest request;
    request.title = "Load Sample";
    request.filters = {{"HTML Files", "*.htm;*.html"}, {"All Files", "*.*"}};
    if (run_file_dialog(&d, request) != 1) return;
    std::string bytes;
    if (!read_sample(request.file, &bytes)) {
      failed_ = true;
      d.set_text(kTryStatus, "Cannot read " + request.file);
      return;
    }
    sample_ = std::move(bytes);
    url_.clear();
    d.combo(kTryRecentCombo)->set_current_selection(-1);
    show_sample(d);
  }

  void show_sample(Dialog& d) {
    d.set_text(kTrySample, sample_);
    d.set_modified(kTrySample, false);
    run(d);
  }

  std::string build_message(int result, int limit_result) const {
    const BuildMessage* message = &messages_.back();
    for (const BuildMessage& m : messages_) {
      if (m.result == result) message = &m;
    }
    std::string text = one_line(message->text);
    if (limit_result != kResultOk) text += std::string(" (") + result_name(limit_result) + ")";
    return text;
  }

  void run(Dialog& d) {
    // A match shown selected may be gone: the selection shrinks to its start.
    if (selection_start_ >= 0 && d.focused_id() != kTrySample) {
      d.select_text(kTrySample, selection_start_, 0);
    }
    selection_start_ = -1;
    d.list(kTryMatches)->reset_content();
    d.list(kTryVariables)->reset_content();
    OwnedWebFilter filter;
    int limit_result = kResultOk;
    const int built = build_trial_filter(fields_, &filter, &limit_result);
    failed_ = built != kResultOk;
    if (failed_) {
      trial_ = FilterTrial{};
      d.set_marks(kTrySample, {});
      d.set_text(kTryRewritten, "");
      d.set_text(kTryStatus, build_message(built, limit_result));
      return;
    }
    trial_ = try_web_filter(*filter, sample_, url_);
    sample_positions_ = shown_positions(sample_);
    for (const TrialMatch& m : trial_.matches) {
      std::string line = std::to_string(m.offset) + " +" + std::to_string(m.length);
      if (m.rescanned) line += " again";
      d.list(kTryMatches)->add_string(from_8bit(line + ": " + escaped_bytes(m.text)));
    }
    mark_sample(d, -1);
    d.set_text(kTryRewritten, trial_.rewritten);
    const std::vector<int> rewritten = shown_positions(trial_.rewritten);
    std::vector<TextMark> changes;
    for (const FilterTrial::Stretch& s : trial_.changes) {
      changes.push_back({rewritten[s.offset], rewritten[s.offset + s.length] - rewritten[s.offset],
                         kChangeColour});
    }
    d.set_marks(kTryRewritten, changes);
    d.set_text(kTryStatus, status());
  }

  std::string status() const {
    const size_t n = trial_.matches.size();
    std::string text = n == 0 ? "No match" : n == 1 ? "1 match" : std::to_string(n) + " matches";
    if (!trial_.applies) text = "The URL Match does not match " + url_ + ": the page goes through unchanged";
    return text;
  }

  // Marks every match taken from the sample; the selected one stands out.
  void mark_sample(Dialog& d, int selected) {
    std::vector<TextMark> marks;
    for (size_t i = 0; i < trial_.matches.size(); ++i) {
      const TrialMatch& m = trial_.matches[i];
      if (m.rescanned) continue;
      const int start = sample_positions_[m.offset];
      marks.push_back({start, sample_positions_[m.offset + m.length] - start,
                       static_cast<int>(i) == selected ? kSelectedMatchColour : kMatchColour});
    }
    d.set_marks(kTrySample, marks);
  }

  void show_selected(Dialog& d) {
    const int index = d.list(kTryMatches)->current_selection();
    auto* variables = d.list(kTryVariables);
    variables->reset_content();
    if (index < 0 || static_cast<size_t>(index) >= trial_.matches.size()) return;
    const TrialMatch& m = trial_.matches[static_cast<size_t>(index)];
    for (int i = 0; i < kVariableCount; ++i) {
      if (m.variables[i].empty()) continue;
      variables->add_string(from_8bit("\\" + std::to_string(i) + " = " +
                                      escaped_bytes(m.variables[i])));
    }
    mark_sample(d, index);
    if (!m.rescanned) {
      selection_start_ = sample_positions_[m.offset];
      d.select_text(kTrySample, selection_start_,
                    sample_positions_[m.offset + m.length] - selection_start_);
    }
  }

  const std::span<const BuildMessage> messages_;
  WebFilterFields fields_;
  std::string sample_;
  std::string url_;  // the recent page the sample came from; empty for others
  std::vector<RecentPage> recent_;
  uint64_t recent_seen_ = 0;
  FilterTrial trial_;
  std::vector<int> sample_positions_;
  int selection_start_ = -1;  // where the selected match begins in the sample field
  bool failed_ = false;       // the status line shows a failure
  bool watching_ = false;
};

TryFilterWindow::TryFilterWindow(std::span<const BuildMessage> messages)
    : proc_(std::make_unique<TryFilterProc>(messages)) {}

TryFilterWindow::~TryFilterWindow() = default;

Dialog* TryFilterWindow::dialog() const {
  return dialog_ != nullptr && dialog_->is_running() ? dialog_.data() : nullptr;
}

void TryFilterWindow::open(QWidget* editor, const WebFilterFields& fields) {
  proc_->set_fields(dialog(), fields);
  if (Dialog* d = dialog()) {
    d->raise();
    d->activateWindow();
    return;
  }
  delete dialog_.data();  // one that was closed
  dialog_ = new Dialog(kTemplate, *proc_, editor);
  dialog_->show_modeless();
  // Beside the editor, to its right. When the screen ends there but has room for both, the
  // editor moves left to make it; otherwise the window goes where it fits best.
  const QRect area = editor->screen()->availableGeometry();
  const QRect frame = dialog_->frameGeometry();
  const int left_margin = dialog_->geometry().left() - frame.left();
  QRect editor_frame = editor->frameGeometry();
  const int overflow = editor_frame.right() + kWindowGap + frame.width() - area.right();
  if (overflow > 0 && editor_frame.width() + kWindowGap + frame.width() <= area.width()) {
    editor->move(editor_frame.left() - overflow, editor_frame.top());
    editor_frame = editor->frameGeometry();
  }
  place_inside_screen(dialog_, QPoint(editor_frame.right() + 1 + kWindowGap + left_margin,
                                      editor->geometry().top()));
}

void TryFilterWindow::try_fields(const WebFilterFields& fields) { proc_->set_fields(dialog(), fields); }

}  // namespace kw
