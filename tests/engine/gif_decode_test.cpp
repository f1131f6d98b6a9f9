// The frozen form of an animation, read by a real GIF decoder (Qt's): one image, the first frame.
// Skipped, saying so, when the Qt build at hand has no GIF reader.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <string>

#include "engine/gif_freezer.h"
#include "fed_message.h"
#include "gif_builder.h"

namespace kw {
namespace {

using namespace test::gif;

std::string freeze(const std::string& body) {
  test::FedMessage server({body});
  int fds[2];
  EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
  Socket browser_socket = fds[0];
  HttpMessage browser{};
  browser.socket = &browser_socket;
  EXPECT_EQ(freeze_gif(&server.msg, &browser), 1);
  ::shutdown(fds[0], SHUT_WR);
  std::string out;
  char buffer[4096];
  ssize_t got;
  while ((got = ::recv(fds[1], buffer, sizeof buffer, 0)) > 0) out.append(buffer, got);
  ::close(fds[0]);
  ::close(fds[1]);
  return out;
}

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

  const Decoded frozen = decode(freeze(animation(10)));
  EXPECT_EQ(frozen.images, 1);
  ASSERT_FALSE(frozen.first.isNull());
  EXPECT_EQ(frozen.first.size(), QSize(4, 4));
  EXPECT_EQ(frozen.first, original.first);
  // Colour index 0 is red in the table, index 1 green.
  EXPECT_EQ(frozen.first.pixelColor(0, 0), QColor(255, 0, 0));
  EXPECT_EQ(frozen.first.pixelColor(3, 3), QColor(0, 255, 0));
}

}  // namespace
}  // namespace kw
