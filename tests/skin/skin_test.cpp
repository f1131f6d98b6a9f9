// The skin: text colours from textures, loading texture files, tiling from an anchor, buttons
// in each state and the menu-bar icons. Pixel checks use coded textures whose every pixel
// says where it came from.
#include <gtest/gtest.h>

#include <QDir>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "base/settings.h"
#include "shell/desktop_frontend.h"
#include "skin/builtin_art.h"
#include "skin/painter.h"
#include "skin/skinned_dialog.h"
#include "skin/textures.h"
#include "support/recording_frontend.h"
#include "support/ui_driver.h"
#include "ui/system_colours.h"

namespace kw {
namespace {

QImage filled(int width, int height, QColor colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

// A texture whose pixel (x, y) is (x, y, tag): any painted pixel names its source point.
QImage coded(int width, int height, int tag) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(x, y, tag));
  }
  return image;
}

constexpr int kBackTag = 200, kInsetTag = 100, kFace2Tag = 150, kButtonTag = 50;

// Keeps the program-wide texture set and settings as they were before each test.
class SkinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_set_ = textures();
    saved_flags_ = settings_flags();
    for (int i = 0; i < kTextureCount; ++i) saved_paths_[i] = settings().texture_paths[i];
    settings_set_flags(kLoadDefaultFlags);
  }
  void TearDown() override {
    textures() = saved_set_;
    settings_set_flags(saved_flags_);
    for (int i = 0; i < kTextureCount; ++i) settings().texture_paths[i] = saved_paths_[i];
  }

  TextureSet saved_set_;
  uint32_t saved_flags_ = 0;
  std::string saved_paths_[kTextureCount];
};

// The diagonal of a non-square bitmap is walked by the ratio of its sides; the marked bitmaps
// are white but black exactly at the points of that walk.
TEST_F(SkinTest, TextColourComesFromTheDiagonal) {
  auto marked = [](int width, int height, int dx, int dy) {
    QImage image = filled(width, height, Qt::white);
    for (int x = 0, y = 0; x < width && y < height; x += dx, y += dy) {
      image.setPixel(x, y, qRgb(0, 0, 0));
    }
    return image;
  };
  const std::tuple<const char*, QImage, QColor> rows[] = {
      {"pure green (sum 510)", filled(8, 8, QColor(0, 255, 0)), Qt::white},
      {"green and a little red (sum 511)", filled(8, 8, QColor(1, 255, 0)), Qt::black},
      {"tall: 35 / 10 down", marked(10, 35, 1, 3), Qt::white},
      {"wide: 300 / 35 across", marked(300, 35, 8, 1), Qt::white},
      {"marked on a plain 45-degree diagonal", marked(300, 35, 1, 1), Qt::black},
  };
  for (const auto& [name, bitmap, text] : rows) EXPECT_EQ(text_colour_for(bitmap), text) << name;
}

// Disabled text keeps a contrast of 3:1 against what is behind it, the built-in textures too.
TEST(DisabledText, StandsAtLeastThreeToOneAgainstItsBackdrop) {
  std::vector<QColor> backdrops = {Qt::white, Qt::black, sys_colour(SysColour::GrayText),
                                   QColor(118, 118, 118), QColor(96, 40, 28)};
  for (int i = 0; i < kTextureCount; ++i) {
    backdrops.push_back(average_colour_of(builtin_texture(static_cast<TextureIndex>(i)).toImage()));
  }
  for (const QColor& backdrop : backdrops) {
    EXPECT_GE(contrast_ratio(disabled_text_colour(backdrop), backdrop), 3.0)
        << backdrop.name().toStdString();
  }
  EXPECT_EQ(average_colour_of(filled(4, 2, QColor(10, 20, 30))), QColor(10, 20, 30));
}

// A file that cannot be loaded is reported, its built-in bitmap used and its path dropped, so
// the next load does not try it again; the paths of loaded files stay. (The text colours of
// loaded files are checked with the preferences.)
TEST_F(SkinTest, MissingTextureFilesAreReportedAndDropped) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string black = QDir(dir.path()).filePath("black.bmp").toStdString();
  ASSERT_TRUE(filled(20, 20, Qt::black).save(QString::fromStdString(black), "BMP"));
  const std::string missing = QDir(dir.path()).filePath("missing.bmp").toStdString();
  test::RecordingFrontend frontend;
  settings().texture_paths[kFace2Texture] = black;
  settings().texture_paths[kBackTexture] = missing;
  for (int load = 0; load < 2; ++load) {
    record_texture_load(load_textures(32));
    EXPECT_EQ(frontend.errors(),
              std::vector<std::string>{"Failed to load texture bitmap:\n" + missing});
  }
  EXPECT_EQ(texture(kFace2Texture).size(), QSize(20, 20));
  EXPECT_EQ(texture(kBackTexture).toImage(), builtin_texture(kBackTexture).toImage());
  EXPECT_TRUE(settings().texture_paths[kBackTexture].empty());
  EXPECT_EQ(settings().texture_paths[kFace2Texture], black);
}

// A window that tiles itself with a coded texture from a chosen anchor.
class TiledWidget : public QWidget {
 public:
  TiledWidget(QWidget* parent, const QPixmap& texture) : QWidget(parent), texture_(texture) {}
  Anchor anchor = kAnchorSelf;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    tile_texture(this, painter, texture_, anchor);
  }

 private:
  QPixmap texture_;
};

// Anchors above and left lie several tiles away; one below and right must be moved a tile back,
// or a strip at the top left would stay unpainted.
TEST_F(SkinTest, TilingLinesUpWithItsAnchor) {
  const QPixmap tile = QPixmap::fromImage(coded(16, 16, 7));
  QWidget parent;
  parent.resize(300, 200);
  TiledWidget child(&parent, tile);
  child.setGeometry(37, 21, 100, 50);
  QWidget sibling(&parent);
  sibling.setGeometry(30, 10, 20, 20);
  QWidget below_right(&parent);
  below_right.setGeometry(50, 40, 20, 20);
  // A panel with a 2-pixel edge: its client area starts 2 pixels in.
  QWidget panel(&parent);
  panel.setGeometry(10, 5, 20, 20);
  panel.setContentsMargins(2, 2, 2, 2);

  // The anchor and its client origin in the child's coordinates.
  const std::tuple<const char*, Anchor, QPoint> rows[] = {
      {"anchor 0: the window itself", kAnchorSelf, {0, 0}},
      {"anchor 1: the parent", kAnchorParent, {-37, -21}},
      {"a sibling above and left", anchor_to(&sibling), {-7, -11}},
      {"a sibling below and right", anchor_to(&below_right), {13, 19}},
      {"a panel's client area", anchor_to(&panel), {-25, -14}},
  };
  for (const auto& [name, anchor, origin] : rows) {
    child.anchor = anchor;
    const QImage image = test::grab(&child);
    for (QPoint p : {QPoint(0, 0), QPoint(5, 9), QPoint(99, 49), QPoint(17, 33)}) {
      const int x = ((p.x() - origin.x()) % 16 + 16) % 16;
      const int y = ((p.y() - origin.y()) % 16 + 16) % 16;
      EXPECT_EQ(image.pixel(p), qRgb(x, y, 7)) << name << " at " << p.x() << "," << p.y();
    }
  }
}

using enum ControlKind;

constexpr int kInsetPanel = 1057;
constexpr int kApplyButton = 3;

const ControlTemplate kButtonControls[] = {
    {kInsetPanel, Frame, "", 6, 125, 203, 24, kClientEdge | kOwnerDraw},
    {1010, Button, "&Edit", 21, 22, 27, 14, kOwnerDraw},
    {1011, Button, "&New", 61, 22, 27, 14, kOwnerDraw},
    {kApplyButton, Button, "&Apply", 125, 130, 50, 15, kOwnerDraw | kStartsDisabled},
    {1041, Static, "^lCaption", 100, 22, 60, 10, kOwnerDraw},
};

// The list dialogs' painting: Background behind, panel 1057 Inset, the rest Face Two.
class ButtonDialogProc : public SkinnedDialogProc {
 public:
  ButtonDialogProc() : SkinnedDialogProc(kBackTexture) {}

 protected:
  const QPixmap* owner_draw_texture(Dialog&, int id) override {
    return id == kInsetPanel ? &texture(kInsetTexture) : &texture(kFace2Texture);
  }
  Anchor owner_draw_anchor(Dialog& d, int id) override {
    return id == 1041 ? anchor_to(d.client_area()) : kAnchorSelf;
  }
  void on_draw_item(Dialog& d, DrawItem& item) override {
    if (item.id == kApplyButton) {
      item.backdrop = &texture(kInsetTexture);
      item.backdrop_anchor = d.control_widget(kInsetPanel);
    }
    SkinnedDialogProc::on_draw_item(d, item);
  }
};

// Buttons in each state and owner-drawn pieces that continue the texture
// of their anchor: a disabled Apply the Inset panel, a caption anchored to the dialog its
// background.
TEST_F(SkinTest, ButtonsAndPiecesByPixels) {
  // Coded textures, 64 pixels square except the Button and Inset shapes.
  TextureSet& set = textures();
  set.bitmaps[kBackTexture] = QPixmap::fromImage(coded(64, 64, kBackTag));
  set.bitmaps[kInsetTexture] = QPixmap::fromImage(coded(250, 35, kInsetTag));
  set.bitmaps[kFace2Texture] = QPixmap::fromImage(coded(64, 64, kFace2Tag));
  set.bitmaps[kButtonTexture] = QPixmap::fromImage(coded(163, 35, kButtonTag));
  ButtonDialogProc proc;
  const DialogTemplate form{103, "Buttons", 220, 160, 0, kButtonControls};
  Dialog dialog(form, proc, nullptr);
  dialog.show_modeless();
  test::activate(&dialog);
  dialog.focus(1011);  // keep the focus away from the buttons under test
  auto picture = [&](int id) { return test::grab(dialog.control_widget(id)); };
  auto in_client = [&](int id) { return dialog.control_rect(id).topLeft(); };
  auto* edit = static_cast<QPushButton*>(dialog.control_widget(1010));
  const QSize size = edit->size();
  const QPoint inside(5, 6);

  // The Button texture is cut from a point by state; pushed buttons have a sunken edge.
  const struct {
    bool down, focus;
    QPoint from;
  } states[] = {{false, false, {10, 8}},
                {true, false, {0, 0}},
                {true, true, {10, 5}},
                {false, true, {20, 13}}};
  for (const auto& state : states) {
    SCOPED_TRACE(std::to_string(state.down) + " " + std::to_string(state.focus));
    edit->setDown(state.down);
    dialog.focus(state.focus ? 1010 : 1011);
    ASSERT_EQ(edit->hasFocus(), state.focus);
    const QImage image = picture(1010);
    const QPoint at = state.from + inside;
    EXPECT_EQ(image.pixel(inside), qRgb(at.x(), at.y(), kButtonTag));
    EXPECT_EQ(QColor(image.pixel(0, 0)),
              sys_colour(state.down ? SysColour::ButtonShadow : SysColour::ButtonLight));
    EXPECT_EQ(QColor(image.pixel(1, 1)),
              sys_colour(state.down ? SysColour::DarkShadow : SysColour::ButtonHighlight));
    if (!state.down) {
      EXPECT_EQ(QColor(image.pixel(size.width() - 1, size.height() - 1)),
                sys_colour(SysColour::DarkShadow));
    }
  }

  // Disabled: no Button texture; Background tiled from the parent, one sunken outer line.
  edit->setDown(false);
  dialog.focus(1011);
  dialog.enable(1010, false);
  const QImage image = picture(1010);
  const QPoint at = in_client(1010) + inside;
  EXPECT_EQ(image.pixel(inside), qRgb(at.x() % 64, at.y() % 64, kBackTag));
  EXPECT_EQ(QColor(image.pixel(0, 0)), sys_colour(SysColour::ButtonShadow));
  const QPoint one_in = in_client(1010) + QPoint(1, 1);
  EXPECT_EQ(image.pixel(1, 1), qRgb(one_in.x() % 64, one_in.y() % 64, kBackTag));

  const QImage apply = picture(kApplyButton);
  // The panel's client area starts inside its 2-pixel edge.
  const QPoint panel =
      in_client(kApplyButton) + QPoint(5, 6) - in_client(kInsetPanel) - QPoint(2, 2);
  EXPECT_EQ(apply.pixel(5, 6), qRgb(panel.x() % 250, panel.y() % 35, kInsetTag));

  // Face Two anchored to the dialog: a pixel away from the text shows the dialog's point.
  const QImage caption = picture(1041);
  const QPoint from = in_client(1041);
  EXPECT_EQ(caption.pixel(caption.width() - 1, 0),
            qRgb((from.x() + caption.width() - 1) % 64, from.y() % 64, kFace2Tag));
}

// A highlighted icon sits in a sunken edge; a disabled one is embossed in the highlight and
// shadow colours only, and stays drawn exactly so under the pointer: no press, no edge.
TEST_F(SkinTest, DisabledMenuBarIconsStayEmbossedUnderThePointer) {
  QImage canvas(22, 20, QImage::Format_RGB32);
  auto draw = [&](uint32_t item_state) {
    canvas.fill(Qt::magenta);
    QPainter painter(&canvas);
    DrawItem item(DrawKind::MenuItem, 40016);
    item.state = item_state;
    item.rect = canvas.rect();
    item.painter = &painter;
    draw_menu_bar_icon(item, kSaveLastIcon);
    painter.end();
    return canvas.copy();
  };
  const QImage highlighted = draw(kStateSelected);
  EXPECT_EQ(QColor(highlighted.pixel(2, 5)), sys_colour(SysColour::ButtonShadow));
  EXPECT_EQ(QColor(highlighted.pixel(0, 5)), sys_colour(SysColour::ButtonFace));
  const QImage disabled = draw(kStateDisabled | kStateGrayed);
  const QColor embossed[] = {sys_colour(SysColour::ButtonFace),
                             sys_colour(SysColour::ButtonHighlight),
                             sys_colour(SysColour::ButtonShadow)};
  for (int y = 0; y < disabled.height(); ++y) {
    for (int x = 0; x < disabled.width(); ++x) {
      EXPECT_TRUE(std::ranges::count(embossed, QColor(disabled.pixel(x, y))) == 1) << x << "," << y;
    }
  }
  EXPECT_EQ(draw(kStateSelected | kStateDisabled | kStateGrayed), disabled);
}

}  // namespace
}  // namespace kw
