// The GIF freezer on hand-built images: the exact bytes the browser receives, fed to the freezer
// in every cut, and through the whole proxy for the replies it is chosen for.
#include "engine/gif_freezer.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "config/settings.h"
#include "fed_message.h"
#include "gif_builder.h"
#include "support/origin_server.h"
#include "support/proxy_fixture.h"
#include "support/raw_client.h"

namespace kw {
namespace {

using namespace test::gif;
using test::FedMessage;

struct Frozen {
  int result;
  std::string bytes;
};

// freeze_gif over the body fed in the given pieces; what the browser's socket received.
Frozen freeze(const std::vector<std::string>& pieces) {
  FedMessage server(pieces);
  int fds[2];
  EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
  Socket browser_socket = fds[0];
  HttpMessage browser{};
  browser.socket = &browser_socket;
  Frozen out;
  out.result = freeze_gif(&server.msg, &browser);
  ::shutdown(fds[0], SHUT_WR);
  char buffer[4096];
  ssize_t got;
  while ((got = ::recv(fds[1], buffer, sizeof buffer, 0)) > 0) out.bytes.append(buffer, got);
  ::close(fds[0]);
  ::close(fds[1]);
  return out;
}

struct GifCase {
  const char* name;
  std::string body;
  std::string expected;
  int result;
};

void PrintTo(const GifCase& c, std::ostream* os) { *os << c.name; }

class FreezeGif : public ::testing::TestWithParam<GifCase> {};

TEST_P(FreezeGif, SendsExactly) {
  const GifCase& c = GetParam();
  const Frozen whole = freeze({c.body});
  EXPECT_EQ(whole.bytes, c.expected);
  EXPECT_EQ(whole.result, c.result);
}

// The same bytes whatever the pieces the image arrives in.
TEST_P(FreezeGif, InEveryCut) {
  const GifCase& c = GetParam();
  for (size_t size = 1; size <= 16; ++size) {
    const Frozen cut = freeze(FedMessage::cut(c.body, size));
    EXPECT_EQ(cut.bytes, c.expected) << "pieces of " << size;
    EXPECT_EQ(cut.result, c.result) << "pieces of " << size;
  }
}

const std::string kStill = head("89a", 4, 4, 0x81) + colours();
const std::string kFrame = descriptor(4, 4, 0) + image_data(frame_pixels(2));
const std::string kLongComment = comment(std::string(300, 'c'));

INSTANTIATE_TEST_SUITE_P(
    Table, FreezeGif,
    ::testing::Values(
        GifCase{"AnimationKeepsItsFirstFrameOnly", animation(10), frozen_animation(), 1},
        GifCase{"ControlFlagsBecomeLeaveInPlace",
                kStill + control(0x08) + control(0x0D, 7, 1) + control(0xFF) + kFrame + ';',
                kStill + control(0x04) + control(0x05, 7, 1) + control(0x05) + kFrame + ';', 1},
        GifCase{"CommentsAndApplicationExtensionsAreDropped",
                kStill + kLongComment + loop_extension() + control(0) + comment("x") + kFrame +
                    control(0) + kFrame + ';',
                kStill + control(0x04) + kFrame + ';', 1},
        GifCase{"NoGlobalColourTable",
                head("89a", 4, 4, 0x00) + control(0x0D) + descriptor(4, 4, 0x81) + colours(9) +
                    image_data(frame_pixels(3)) + control(0) + kFrame + ';',
                head("89a", 4, 4, 0x00) + control(0x05) + descriptor(4, 4, 0x81) + colours(9) +
                    image_data(frame_pixels(3)) + ';',
                1},
        GifCase{"ManySubBlocksPassWhole",
                kStill + descriptor(4, 4, 0) + image_data(frame_pixels(1), 3) + kFrame + ';',
                kStill + descriptor(4, 4, 0) + image_data(frame_pixels(1), 3) + ';', 1},
        GifCase{"TrailerComesRightAfterTheFirstImage", kStill + kFrame + "junk after",
                kStill + kFrame + ';', 1},
        GifCase{"Gif87aPassesWhole", head("87a", 4, 4, 0x81) + colours() + kFrame + kFrame + ';',
                head("87a", 4, 4, 0x81) + colours() + kFrame + kFrame + ';', 1},
        GifCase{"OtherDataPassesWhole", "<html><body>not an image</body></html>",
                "<html><body>not an image</body></html>", 1},
        GifCase{"SignatureIsCaseSensitive", "gif89a" + kStill.substr(6) + kFrame + kFrame,
                "gif89a" + kStill.substr(6) + kFrame + kFrame, 1},
        GifCase{"ShortBodyPassesAsItIsAndFails", "GIF89a", "GIF89a", 0},
        GifCase{"EmptyBodyFails", "", "", 0},
        GifCase{"CutInsideAnExtensionFails", kStill + control(0x0D) + kLongComment.substr(0, 100),
                kStill + control(0x05), 0},
        GifCase{"CutInsideTheDescriptorFails", kStill + kFrame.substr(0, 6), kStill, 0},
        GifCase{"CutInsideTheImageDataStillSendsTheTrailer",
                kStill + descriptor(4, 4, 0) + image_data(frame_pixels(1), 2).substr(0, 6),
                // code size and first size, the first sub-block and the next size, trailer
                kStill + descriptor(4, 4, 0) + image_data(frame_pixels(1), 2).substr(0, 5) + ';',
                1}),
    [](const auto& info) { return std::string(info.param.name); });

// The freezer through the whole proxy: chosen for exactly "image/gif" while FreezeGIF is set.
class GifRelay : public test::ProxyTest {
 protected:
  std::string fetch(const std::string& type, const std::string& body) {
    test::OriginServer origin("HTTP/1.0 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\nX-After: kept\r\n\r\n" + body);
    return test::exchange(port_, "GET " + origin.url("/spin.gif") + " HTTP/1.0\r\n\r\n");
  }
};

TEST_F(GifRelay, FreezesImageGifWithoutItsLength) {
  EXPECT_EQ(
      fetch("image/gif", animation(10)),
      "HTTP/1.0 200 OK\r\nContent-Type: image/gif\r\nX-After: kept\r\n\r\n" + frozen_animation());
}

TEST_F(GifRelay, OtherTypesAndFreezeGifOffPassUnchanged) {
  const std::string body = animation(3);
  for (const char* type : {"image/GIF", "image/gif; x=1", "image/png"}) {
    EXPECT_EQ(fetch(type, body), std::string("HTTP/1.0 200 OK\r\nContent-Type: ") + type +
                                     "\r\nContent-Length: " + std::to_string(body.size()) +
                                     "\r\nX-After: kept\r\n\r\n" + body)
        << type;
  }
  settings_clear_flags(FreezeGIF);
  EXPECT_EQ(fetch("image/gif", body),
            "HTTP/1.0 200 OK\r\nContent-Type: image/gif\r\n"
            "Content-Length: " +
                std::to_string(body.size()) + "\r\nX-After: kept\r\n\r\n" + body);
}

}  // namespace
}  // namespace kw
