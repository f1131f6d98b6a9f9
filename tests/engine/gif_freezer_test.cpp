// The GIF freezer on hand-built images: the exact bytes the browser receives, fed to the freezer
// in every cut, and through the whole proxy for the replies it is chosen for.
#include "engine/gif_freezer.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "base/settings.h"
#include "gif_builder.h"
#include "support/origin_server.h"
#include "support/proxy_fixture.h"
#include "support/raw_client.h"

namespace kw {
namespace {

using namespace test::gif;
using test::FedMessage;

const std::string kStill = head("89a", 4, 4, 0x81) + colours();
const std::string kFrame = descriptor(4, 4, 0) + image_data(frame_pixels(2));
const std::string kLongComment = comment(std::string(300, 'c'));

// The same bytes and result whether the image arrives whole or in pieces of every size up to 16
// bytes.
TEST(FreezeGif, SendsExactlyInEveryCut) {
  // The body, what the browser receives, and the result.
  const std::tuple<const char*, std::string, std::string, int> cases[] = {
      {"AnimationKeepsItsFirstFrameOnly", animation(10), frozen_animation(), 1},
      {"ControlFlagsBecomeLeaveInPlace",
       kStill + control(0x08) + control(0x0D, 7, 1) + control(0xFF) + kFrame + ';',
       kStill + control(0x04) + control(0x05, 7, 1) + control(0x05) + kFrame + ';', 1},
      {"CommentsAndApplicationExtensionsAreDropped",
       kStill + kLongComment + loop_extension() + control(0) + comment("x") + kFrame + control(0) +
           kFrame + ';',
       kStill + control(0x04) + kFrame + ';', 1},
      {"NoGlobalColourTable",
       head("89a", 4, 4, 0x00) + control(0x0D) + descriptor(4, 4, 0x81) + colours(9) +
           image_data(frame_pixels(3)) + control(0) + kFrame + ';',
       head("89a", 4, 4, 0x00) + control(0x05) + descriptor(4, 4, 0x81) + colours(9) +
           image_data(frame_pixels(3)) + ';',
       1},
      {"ManySubBlocksPassWhole",
       kStill + descriptor(4, 4, 0) + image_data(frame_pixels(1), 3) + kFrame + ';',
       kStill + descriptor(4, 4, 0) + image_data(frame_pixels(1), 3) + ';', 1},
      {"TrailerComesRightAfterTheFirstImage", kStill + kFrame + "junk after", kStill + kFrame + ';',
       1},
      {"Gif87aPassesWhole", head("87a", 4, 4, 0x81) + colours() + kFrame + kFrame + ';',
       head("87a", 4, 4, 0x81) + colours() + kFrame + kFrame + ';', 1},
      {"OtherDataPassesWhole", "<html><body>not an image</body></html>",
       "<html><body>not an image</body></html>", 1},
      {"SignatureIsCaseSensitive", "gif89a" + kStill.substr(6) + kFrame + kFrame,
       "gif89a" + kStill.substr(6) + kFrame + kFrame, 1},
      {"ShortBodyPassesAsItIsAndFails", "GIF89a", "GIF89a", 0},
      {"CutInsideAnExtensionFails", kStill + control(0x0D) + kLongComment.substr(0, 100),
       kStill + control(0x05), 0},
      {"CutInsideTheDescriptorFails", kStill + kFrame.substr(0, 6), kStill, 0},
      {"CutInsideTheImageDataStillSendsTheTrailer",
       kStill + descriptor(4, 4, 0) + image_data(frame_pixels(1), 2).substr(0, 6),
       // code size and first size, the first sub-block and the next size, trailer
       kStill + descriptor(4, 4, 0) + image_data(frame_pixels(1), 2).substr(0, 5) + ';', 1}};

  for (const auto& [name, body, expected, result] : cases) {
    for (size_t size = 0; size <= 16; ++size) {
      SCOPED_TRACE(std::string(name) + " in pieces of " + std::to_string(size));
      const Frozen frozen = freeze(size ? FedMessage::cut(body, size) : std::vector{body});
      EXPECT_EQ(frozen.bytes, expected);
      EXPECT_EQ(frozen.result, result);
    }
  }
}

// The freezer through the whole proxy, chosen while FreezeGIF is set (which types choose it is
// the forwarding tests' job): the frozen image goes out without its Content-Length.
using GifRelay = test::ProxyTest;

TEST_F(GifRelay, FrozenWhileFreezeGifIsSet) {
  const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: image/gif\r\n";
  const std::string length = "Content-Length: " + std::to_string(animation(10).size()) + "\r\n";
  test::OriginServer origin(head + length + "X-After: kept\r\n\r\n" + animation(10));
  const std::string request = "GET " + origin.url("/spin.gif") + " HTTP/1.0\r\n\r\n";
  EXPECT_EQ(test::exchange(port_, request), head + "X-After: kept\r\n\r\n" + frozen_animation());
  settings_clear_flags(FreezeGIF);
  EXPECT_EQ(test::exchange(port_, request),
            head + length + "X-After: kept\r\n\r\n" + animation(10));
}

}  // namespace
}  // namespace kw
