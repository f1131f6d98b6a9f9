// Hand-built GIF streams for the freezer's tests: every block written out byte by byte, so a
// test can put together an animation, a still, broken or cut images and the exact frozen form it
// expects. Image data is real LZW (code size 2, a clear code before every second pixel, so codes
// stay 3 bits wide) that any decoder reads. freeze() runs the freezer over such an image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/gif_freezer.h"
#include "fed_message.h"

namespace kw::test::gif {

struct Frozen {
  int result;
  std::string bytes;  // what the browser received
};

// freeze_gif over the body arriving in the given pieces.
inline Frozen freeze(const std::vector<std::string>& pieces) {
  FedMessage server(pieces);
  SinkMessage browser;
  const int result = freeze_gif(&server.msg, &browser.msg);
  return {result, browser.received()};
}

inline std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

inline std::string le16(int v) { return bytes({v & 0xFF, (v >> 8) & 0xFF}); }

// Signature, version and logical screen descriptor (13 bytes).
inline std::string head(const char* version, int width, int height, int flags) {
  return std::string("GIF") + version + le16(width) + le16(height) + bytes({flags, 0, 0});
}

// A colour table of 4 entries (flag bits 0x81 for a global table, 0x81 for a local one).
inline std::string colours(int tint = 0) {
  return bytes({255, tint, 0, 0, 255, tint, tint, 0, 255, 255, 255, 255});
}

// Data sub-blocks of the text, then the terminating 0.
inline std::string sub_blocks(const std::string& data, size_t block = 255) {
  std::string s;
  for (size_t at = 0; at < data.size(); at += block) {
    const std::string piece = data.substr(at, block);
    s += static_cast<char>(piece.size());
    s += piece;
  }
  return s + '\0';
}

// An application extension that makes an animation loop forever.
inline std::string loop_extension() {
  return bytes({0x21, 0xFF, 11}) + "ANIMLOOP1.0" + bytes({3, 1, 0, 0, 0});
}

inline std::string comment(const std::string& text) {
  return bytes({0x21, 0xFE}) + sub_blocks(text);
}

// A graphic control extension with the given flag byte, a delay and a transparent index.
inline std::string control(int flags, int delay = 10, int transparent = 3) {
  return bytes({0x21, 0xF9, 4, flags}) + le16(delay) + bytes({transparent, 0});
}

inline std::string descriptor(int width, int height, int flags) {
  return bytes({0x2C}) + le16(0) + le16(0) + le16(width) + le16(height) + bytes({flags});
}

// LZW image data of the pixels (colour indexes 0-3): code size, sub-blocks, terminator.
inline std::string image_data(const std::vector<int>& pixels, size_t block = 255) {
  std::string packed;
  uint32_t bits = 0;
  int count = 0;
  auto put = [&](int code) {
    bits |= static_cast<uint32_t>(code) << count;
    count += 3;
    while (count >= 8) {
      packed += static_cast<char>(bits & 0xFF);
      bits >>= 8;
      count -= 8;
    }
  };
  for (size_t i = 0; i < pixels.size(); ++i) {
    if (i % 2 == 0) put(4);  // clear
    put(pixels[i]);
  }
  put(5);  // end of information
  if (count > 0) packed += static_cast<char>(bits & 0xFF);
  return bytes({2}) + sub_blocks(packed, block);
}

// A 4x4 frame whose pixels all have colour index `colour`, except the first, which has 0.
inline std::vector<int> frame_pixels(int colour) {
  std::vector<int> pixels(16, colour);
  pixels[0] = 0;
  return pixels;
}

// An animation of `frames` 4x4 frames, each behind a control extension with flags 0x0D, with
// the looping extension and a comment before the first frame.
inline std::string animation(int frames) {
  std::string s = head("89a", 4, 4, 0x81) + colours() + loop_extension() + comment("made by hand");
  for (int i = 0; i < frames; ++i) {
    s += control(0x0D) + descriptor(4, 4, 0) + image_data(frame_pixels(1 + i % 3));
  }
  return s + ';';
}

// What the freezer makes of animation(): the first frame, its control extension changed.
inline std::string frozen_animation() {
  return head("89a", 4, 4, 0x81) + colours() + control(0x05) + descriptor(4, 4, 0) +
         image_data(frame_pixels(1)) + ';';
}

}  // namespace kw::test::gif
