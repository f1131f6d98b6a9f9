// The skinned file dialogs and the "Default" strip of the texture choices (template 136).
#include "dialogs/file_dialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QTreeView>

#include "skin/painter.h"
#include "skin/skinned_dialog.h"
#include "skin/textures.h"
#include "ui/text.h"

namespace kw {
namespace {

using enum ControlKind;

// Columns of the file dialog's detail view.
constexpr int kTypeColumn = 2;
constexpr int kDateColumn = 3;

// Template 136: the strip below the texture file dialog's own controls.
const ControlTemplate kStripControls[] = {
    {kNoId, EtchedLine, "", 0, 1, 283, 1},
    {kNoId, Static, "Click here to reset bitmap to the default:", 80, 10, 129, 9, kRightAligned},
    {kDefaultBitmapButton, Button, "Default", 222, 8, 50, 14},
};
const DialogTemplate kStripTemplate{136, "", 283, 28, kDialogChild, kStripControls};

class SkinnedFileDialog : public QFileDialog {
 public:
  SkinnedFileDialog(QWidget* owner, const FileRequest& request)
      : QFileDialog(owner, from_8bit(request.title)), must_exist_(request.file_must_exist) {
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::DontConfirmOverwrite);
    setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    setFileMode(request.save || !request.file_must_exist ? QFileDialog::AnyFile
                                                         : QFileDialog::ExistingFile);
    QStringList filters;
    for (const FileFilter& f : request.filters) {
      const QString pattern = f.pattern == "*.*" ? QStringLiteral("*") : from_8bit(f.pattern);
      filters << QStringLiteral("%1 (%2)").arg(from_8bit(f.name), pattern);
    }
    if (!filters.isEmpty()) setNameFilters(filters);
    // Programs here carry no extension of their own: the execute permission marks them.
    if (request.programs_only) {
      setFilter(QDir::AllDirs | QDir::Files | QDir::Executable | QDir::NoDotAndDotDot);
    }
    if (!request.default_extension.empty()) setDefaultSuffix(from_8bit(request.default_extension));
    const QFileInfo start(from_path(request.file));
    if (!request.file.empty() && start.dir().exists() && start.path() != QLatin1String(".")) {
      setDirectory(start.dir());
    }
    if (!request.file.empty()) selectFile(start.fileName());
    colour_labels();
    size_columns_to_contents();
  }

  void finish(int result) { done(result); }

  // The detail view's Type and Date columns follow their longest entry, so that neither is cut
  // at the width the dialog opened with; the name column takes the rest.
  void size_columns_to_contents() {
    auto* view = findChild<QTreeView*>();
    if (view == nullptr) return;
    QHeaderView* header = view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column : {kTypeColumn, kDateColumn}) {
      header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
  }

  void colour_labels() {
    for (QLabel* label : findChildren<QLabel*>()) {
      QPalette palette = label->palette();
      palette.setColor(QPalette::WindowText, texture_text_colour(kBackTexture));
      label->setPalette(palette);
    }
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    tile_texture(this, painter, texture(kBackTexture), kAnchorSelf);
  }

  void accept() override {
    // A save dialog whose file must exist refuses new names, as the designed dialogs did.
    const QStringList chosen = selectedFiles();
    if (must_exist_ && acceptMode() == QFileDialog::AcceptSave && !chosen.isEmpty() &&
        !QFileInfo::exists(chosen.first())) {
      QMessageBox::warning(this, windowTitle(),
                           QStringLiteral("%1\nFile not found.\nCheck the file name and try again.")
                               .arg(QFileInfo(chosen.first()).fileName()));
      return;
    }
    QFileDialog::accept();
  }

 private:
  bool must_exist_;
};

// The strip's procedure: its background continues the file dialog's; "Default" marks the
// request and ends the file dialog.
class StripProc : public SkinnedDialogProc {
 public:
  StripProc(FileRequest& request, SkinnedFileDialog& file_dialog)
      : SkinnedDialogProc(kBackTexture), request_(request), file_dialog_(file_dialog) {}

  void on_paint_background(Dialog& d, QPainter& painter) override {
    tile_texture(d.client_area(), painter, texture(kBackTexture), anchor_to(&file_dialog_));
  }

  void on_command(Dialog&, int id, int code) override {
    if (id != kDefaultBitmapButton || code != kClicked) return;
    request_.custom_data = kDefaultBitmapMark;
    file_dialog_.finish(kDefaultBitmapMark);
  }

 private:
  FileRequest& request_;
  SkinnedFileDialog& file_dialog_;
};

}  // namespace

int run_file_dialog(QWidget* owner, FileRequest& request) {
  SkinnedFileDialog file_dialog(owner, request);
  StripProc strip_proc(request, file_dialog);
  std::unique_ptr<Dialog> strip;
  if (request.default_strip) {
    strip = std::make_unique<Dialog>(kStripTemplate, strip_proc, &file_dialog);
    if (auto* grid = qobject_cast<QGridLayout*>(file_dialog.layout())) {
      grid->addWidget(strip.get(), grid->rowCount(), 0, 1, grid->columnCount());
    }
    strip->show_modeless();
  }
  if (file_dialog.exec() != QDialog::Accepted) return 0;
  const QStringList chosen = file_dialog.selectedFiles();
  if (chosen.isEmpty()) return 0;
  const std::string path = to_path(chosen.first());
  if (path.size() + 1 > request.buffer_size) return 0;
  request.file = path;
  return 1;
}

}  // namespace kw
