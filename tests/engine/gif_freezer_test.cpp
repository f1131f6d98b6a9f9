// The GIF freezer on hand-built images: the exact bytes the browser receives, fed to the freezer
// in every cut, and through the whole proxy for the replies it is chosen for. Every block is
// written out byte by byte.
#include "engine/gif_freezer.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "base/settings.h"
#include "fed_message.h"
#include "support/origin_server.h"
#include "support/proxy_fixture.h"
#include "support/raw_client.h"

namespace kw {
namespace {

using test::FedMessage;

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

std::string le16(int v) { return bytes({v & 0xFF, (v >> 8) & 0xFF}); }

// Signature, version and logical screen descriptor (13 bytes).
std::string head(const char* version, int width, int height, int flags) {
  return std::string("GIF") + version + le16(width) + le16(height) + bytes({flags, 0, 0});
}

// A colour table of 4 entries (flag bits 0x81 for a global or a local one).
std::string colours(int tint = 0) {
  return bytes({255, tint, 0, 0, 255, tint, tint, 0, 255, 255, 255, 255});
}

// Data sub-blocks of the text, then the terminating 0.
std::string sub_blocks(const std::string& data, size_t block = 255) {
  std::string s;
  for (size_t at = 0; at < data.size(); at += block) {
    const std::string piece = data.substr(at, block);
    s += static_cast<char>(piece.size()) + piece;
  }
  return s + '\0';
}

// An application extension that makes an animation loop forever.
std::string loop_extension() {
  return bytes({0x21, 0xFF, 11}) + "ANIMLOOP1.0" + bytes({3, 1, 0, 0, 0});
}

std::string comment(const std::string& text) { return bytes({0x21, 0xFE}) + sub_blocks(text); }

// A graphic control extension with the given flag byte, a delay and a transparent index.
std::string control(int flags, int delay = 10, int transparent = 3) {
  return bytes({0x21, 0xF9, 4, flags}) + le16(delay) + bytes({transparent, 0});
}

std::string descriptor(int width, int height, int flags) {
  return bytes({0x2C}) + le16(0) + le16(0) + le16(width) + le16(height) + bytes({flags});
}

// Image data whose bytes all tell the frame's colour index: code size, sub-blocks of `block`
// bytes, terminator. The freezer passes image data on without decoding it.
std::string image_data(int colour, size_t block = 255) {
  return bytes({2}) + sub_blocks(std::string(7, static_cast<char>(colour)), block);
}

// An animation of `frames` 4x4 frames, each behind a control extension with flags 0x0D, with
// the looping extension and a comment before the first frame.
std::string animation(int frames) {
  std::string s = head("89a", 4, 4, 0x81) + colours() + loop_extension() + comment("made by hand");
  for (int i = 0; i < frames; ++i) s += control(0x0D) + descriptor(4, 4, 0) + image_data(1 + i % 3);
  return s + ';';
}

// What the freezer makes of animation(): the first frame, its control extension changed.
std::string frozen_animation() {
  return head("89a", 4, 4, 0x81) + colours() + control(0x05) + descriptor(4, 4, 0) + image_data(1) +
         ';';
}

const std::string kStill = head("89a", 4, 4, 0x81) + colours();
const std::string kFrame = descriptor(4, 4, 0) + image_data(2);
const std::string kLongComment = comment(std::string(300, 'c'));

// The same bytes and result whether the image arrives whole or in pieces of every size up to 16
// bytes.
TEST(FreezeGif, SendsExactlyInEveryCut) {
  const std::string bare = head("89a", 4, 4, 0x00);
  const std::string local = descriptor(4, 4, 0x81) + colours(9) + image_data(3);
  const std::string split = descriptor(4, 4, 0) + image_data(1, 3);
  const std::string gif87 = head("87a", 4, 4, 0x81) + colours() + kFrame + kFrame + ';';
  const std::string lower = "gif89a" + kStill.substr(6) + kFrame + kFrame;
  // The body, what the browser receives (empty: the body as it is), and the result.
  const std::tuple<const char*, std::string, std::string, int> cases[] = {
      {"AnimationKeepsItsFirstFrameOnly", animation(10), frozen_animation(), 1},
      {"ControlFlagsBecomeLeaveInPlace",
       kStill + control(0x08) + control(0x0D, 7, 1) + control(0xFF) + kFrame + ';',
       kStill + control(0x04) + control(0x05, 7, 1) + control(0x05) + kFrame + ';', 1},
      {"CommentsAndApplicationExtensionsAreDropped",
       kStill + kLongComment + loop_extension() + control(0) + comment("x") + kFrame + control(0) +
           kFrame + ';',
       kStill + control(0x04) + kFrame + ';', 1},
      {"NoGlobalColourTable", bare + control(0x0D) + local + control(0) + kFrame + ';',
       bare + control(0x05) + local + ';', 1},
      {"ManySubBlocksPassWhole", kStill + split + kFrame + ';', kStill + split + ';', 1},
      {"TrailerComesRightAfterTheFirstImage", kStill + kFrame + "junk after",
       kStill + kFrame + ';', 1},
      {"Gif87aPassesWhole", gif87, "", 1},
      {"SignatureIsCaseSensitive", lower, "", 1},
      {"ShortBodyPassesAsItIsAndFails", "GIF89a", "", 0},
      {"CutInsideAnExtensionFails", kStill + control(0x0D) + kLongComment.substr(0, 100),
       kStill + control(0x05), 0},
      {"CutInsideTheDescriptorFails", kStill + kFrame.substr(0, 6), kStill, 0},
      {"CutInsideTheImageDataStillSendsTheTrailer",
       kStill + descriptor(4, 4, 0) + image_data(1, 2).substr(0, 6),
       // code size and first size, the first sub-block and the next size, trailer
       kStill + descriptor(4, 4, 0) + image_data(1, 2).substr(0, 5) + ';', 1}};

  for (const auto& [name, body, expected, result] : cases) {
    for (size_t size = 0; size <= 16; ++size) {
      SCOPED_TRACE(std::string(name) + " in pieces of " + std::to_string(size));
      FedMessage server(size ? FedMessage::cut(body, size) : std::vector{body});
      test::SinkMessage browser;
      EXPECT_EQ(freeze_gif(&server.msg, &browser.msg), result);
      EXPECT_EQ(browser.received(), expected.empty() ? body : expected);
    }
  }
}

// The freezer through the whole proxy, chosen while FreezeGIF is set (which types choose it is
// the relay mode table's job): the frozen image goes out without its Content-Length.
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
