// The skin: text colours from textures, loading texture files, tiling from an anchor, buttons
// in each state and the menu-bar icons. Pixel checks use coded textures whose every pixel
// says where it came from.
#include <gtest/gtest.h>

#include <QPainter>
#include <algorithm>
#include <array>
#include <string>
#include <tuple>
#include <vector>

#include "base/settings.h"
#include "shell/desktop_frontend.h"
#include "skin/builtin_art.h"
#include "skin/painter.h"
#include "skin/textures.h"
#include "support/child_record.h"
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
TEST(TextColours, FromTheDiagonalAndDisabledOnesStandOutFromTheirBackdrop) {
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

  // Disabled text keeps a contrast of 3:1 against what is behind it, the built-in textures too.
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
  const test::ScratchDir dir;
  const std::string black = dir.file("black.bmp");
  ASSERT_TRUE(filled(20, 20, Qt::black).save(QString::fromStdString(black), "BMP"));
  const std::string missing = dir.file("missing.bmp");
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

// Owner-drawn items are painted only from what they carry: a row is an item and the texture
// its picture shows, with its grid through `origin` in the item's coordinates, and the colours
// of its edge.
TEST_F(SkinTest, ItemsShowTheTextureTheirStateAndAnchorChoose) {
  QWidget parent;
  parent.resize(300, 200);
  QWidget control(&parent), sibling(&parent), below_right(&parent), panel(&parent);
  control.setGeometry(37, 21, 100, 50);
  sibling.setGeometry(30, 10, 20, 20);
  below_right.setGeometry(50, 40, 20, 20);
  panel.setGeometry(10, 5, 20, 20);
  panel.setContentsMargins(2, 2, 2, 2);  // a 2-pixel edge: its client area starts inside it
  const QPixmap tile = QPixmap::fromImage(coded(16, 16, 7));
  const QPixmap inset = QPixmap::fromImage(coded(250, 35, 100));
  const QPixmap& back = textures().bitmaps[kBackTexture] = QPixmap::fromImage(coded(64, 64, 200));
  const QPixmap& button = textures().bitmaps[kButtonTexture] =
      QPixmap::fromImage(coded(163, 35, 50));

  // Paints the item over the control. The edge's colours at (0, 0), (1, 1) and the far corner
  // (where none is given) and two points inside must show the texture.
  auto expect_picture = [&](DrawItem item, const QPixmap* bitmap, Anchor anchor,
                            const QPixmap& shows, QPoint origin, std::array<QColor, 3> edge) {
    QImage image = filled(control.width(), control.height(), Qt::magenta);
    QPainter painter(&image);
    item.rect = image.rect();
    item.painter = &painter;
    item.widget = &control;
    draw_skinned_item(item, bitmap, anchor);
    painter.end();
    const QImage source = shows.toImage();
    const int w = source.width(), h = source.height();
    const QPoint points[] = {{0, 0}, {1, 1}, {99, 49}, {5, 9}, {17, 33}};
    for (int i = 0; i < 5; ++i) {
      const QPoint p = points[i] - origin;
      const QColor texel = source.pixel((p.x() % w + w) % w, (p.y() % h + h) % h);
      EXPECT_EQ(QColor(image.pixel(points[i])), i < 3 && edge[i].isValid() ? edge[i] : texel)
          << points[i].x() << "," << points[i].y();
    }
  };

  using enum SysColour;
  const QColor light = sys_colour(ButtonLight), white = sys_colour(ButtonHighlight), none;
  const QColor shadow = sys_colour(ButtonShadow), dark = sys_colour(DarkShadow);
  // The Button texture is cut from a point by state; pushed buttons have a sunken edge. Disabled
  // ones show one sunken line around their backdrop, by default the parent's Background.
  const struct {
    uint32_t state;
    const QPixmap* backdrop;  // anchored to the panel
    const QPixmap& shows;
    QPoint origin;
    QColor outer, inner, far;
  } buttons[] = {
      {0, nullptr, button, {-10, -8}, light, white, dark},
      {kStateFocus, nullptr, button, {-20, -13}, light, white, dark},
      {kStateSelected, nullptr, button, {0, 0}, shadow, dark, white},
      {kStateSelected | kStateFocus, nullptr, button, {-10, -5}, shadow, dark, white},
      {kStateDisabled, nullptr, back, {-37, -21}, shadow, none, white},
      {kStateDisabled, &inset, inset, {-25, -14}, shadow, none, white},
  };
  for (const auto& b : buttons) {
    SCOPED_TRACE("button state " + std::to_string(b.state));
    DrawItem item(DrawKind::Button, 1010);
    item.state = b.state;
    item.backdrop = b.backdrop;
    item.backdrop_anchor = &panel;
    expect_picture(item, nullptr, kAnchorSelf, b.shows, b.origin, {b.outer, b.inner, b.far});
  }

  // Anchors above and left lie several tiles away; one below and right must be moved a tile
  // back, or a strip at the top left would stay unpainted.
  const std::tuple<const char*, Anchor, QPoint> statics[] = {
      {"anchored to itself", kAnchorSelf, {0, 0}},
      {"to the parent", kAnchorParent, {-37, -21}},
      {"to a sibling above and left", anchor_to(&sibling), {-7, -11}},
      {"to a sibling below and right", anchor_to(&below_right), {13, 19}},
      {"to a panel's client area", anchor_to(&panel), {-25, -14}},
  };
  for (const auto& [name, anchor, origin] : statics) {
    SCOPED_TRACE(name);
    expect_picture(DrawItem(DrawKind::Static, 1041), &tile, anchor, tile, origin, {});
  }
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
  using enum SysColour;
  const QImage highlighted = draw(kStateSelected);
  EXPECT_EQ(QColor(highlighted.pixel(2, 5)), sys_colour(ButtonShadow));
  EXPECT_EQ(QColor(highlighted.pixel(0, 5)), sys_colour(ButtonFace));
  const QImage disabled = draw(kStateDisabled | kStateGrayed);
  const QColor embossed[] = {sys_colour(ButtonFace), sys_colour(ButtonHighlight),
                             sys_colour(ButtonShadow)};
  for (int y = 0; y < disabled.height(); ++y) {
    for (int x = 0; x < disabled.width(); ++x) {
      EXPECT_TRUE(std::ranges::count(embossed, QColor(disabled.pixel(x, y))) == 1) << x << "," << y;
    }
  }
  EXPECT_EQ(draw(kStateSelected | kStateDisabled | kStateGrayed), disabled);
}

}  // namespace
}  // namespace kw
