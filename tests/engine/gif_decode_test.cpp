// The frozen form of an animation, read by a real GIF decoder (Qt's): one image, the first frame.
// Skipped, saying so, when the Qt build at hand has no GIF reader.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <string>

#include "gif_builder.h"

namespace kw {
namespace {

using namespace test::gif;

struct Decoded {
  int images = 0;
  QImage first;
};

Decoded decode(const std::string& bytes) {
  QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "gif");
  Decoded d;
  d.images = reader.imageCount();
  d.first = reader.read();
  return d;
}

TEST(GifDecoder, FrozenAnimationIsOneImageOfTheFirstFrame) {
  if (!QImageReader::supportedImageFormats().contains("gif")) {
    GTEST_SKIP() << "this Qt has no GIF reader: the frozen image was not decoded";
  }
  const Decoded original = decode(animation(10));
  ASSERT_EQ(original.images, 10) << "the hand-built animation must read as ten frames";

  const Frozen result = freeze({animation(10)});
  ASSERT_EQ(result.result, 1);
  const Decoded frozen = decode(result.bytes);
  EXPECT_EQ(frozen.images, 1);
  ASSERT_FALSE(frozen.first.isNull());
  EXPECT_EQ(frozen.first, original.first);
}

}  // namespace
}  // namespace kw
