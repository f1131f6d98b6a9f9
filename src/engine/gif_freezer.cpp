// The GIF freezer; see gif_freezer.h.
//
// The image is walked block by block as it arrives, through the reply message's buffered stream:
// the 13-byte head (signature, version, logical screen descriptor) and the global colour table
// pass unchanged; before the first image, graphic control extensions pass with their disposal
// method set to "leave in place" (transparency kept, user input and reserved bits cleared) and
// every other extension, the looping application extension among them, is dropped; the first
// image passes whole (descriptor, local colour table, code size and data sub-blocks) and the
// trailer follows it at once. The frames after the first are never read. Anything that does not
// begin with "GIF89a" passes unchanged.
#include "engine/gif_freezer.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace kw {
namespace {

constexpr int kHeadSize = 13;        // signature, version, logical screen descriptor
constexpr int kDescriptorSize = 10;  // image descriptor, ',' included
constexpr int kControlSize = 8;      // graphic control extension, terminator included
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kGraphicControl = 0xF9;
constexpr uint8_t kTrailer = 0x3B;

// Bytes of a colour table whose flag byte says it is present.
int colour_table_size(uint8_t flags) { return 3 * (1 << ((flags & 7) + 1)); }

}  // namespace

int freeze_gif(HttpMessage* server, HttpMessage* browser) {
  uint8_t work[512];  // one sub-block and the next size byte at a time (at most 256 bytes)
  char* const buffer = reinterpret_cast<char*>(work);

  // A body shorter than the head is passed on as it is (it is no GIF89a either); the transfer
  // still counts as failed.
  int head = 0;
  while (head < kHeadSize && read_bytes(server, buffer + head, 1) == 1) ++head;
  if (head < kHeadSize) {
    if (head > 0) message_send_all(browser, work, head);
    return 0;
  }
  if (!message_send_all(browser, work, kHeadSize)) return 0;
  if (std::memcmp(work, "GIF89a", 6) != 0) return relay_to_end(server, browser) > 0 ? 1 : 0;

  if ((work[10] & 0x80) != 0 && relay_bytes(server, browser, colour_table_size(work[10])) == 0) {
    return 0;
  }

  // Blocks before the first image: introducer, label, first sub-block size.
  if (read_bytes(server, buffer, 3) == 0) return 0;
  while (work[0] != kImageSeparator) {
    if (work[1] == kGraphicControl) {
      if (read_bytes(server, buffer + 3, kControlSize - 3) == 0) return 0;
      work[3] = static_cast<uint8_t>((work[3] & 0x01) | 0x04);
      if (!message_send_all(browser, work, kControlSize)) return 0;
    } else {
      for (int size = work[2]; size != 0; size = work[size]) {
        if (read_bytes(server, buffer, size + 1) == 0) return 0;
      }
    }
    if (read_bytes(server, buffer, 3) == 0) return 0;
  }

  // The first image: the rest of its descriptor, its colour table, its data.
  if (read_bytes(server, buffer + 3, kDescriptorSize - 3) == 0) return 0;
  if (!message_send_all(browser, work, kDescriptorSize)) return 0;
  if ((work[9] & 0x80) != 0 && relay_bytes(server, browser, colour_table_size(work[9])) == 0) {
    return 0;
  }
  if (read_bytes(server, buffer, 2) == 0) return 0;
  if (!message_send_all(browser, work, 2)) return 0;
  // A server that stops inside the data still gets its image terminated by the trailer.
  for (int size = work[1]; size != 0; size = work[size]) {
    if (read_bytes(server, buffer, size + 1) == 0) break;
    if (!message_send_all(browser, work, size + 1)) {
      std::fputs("Write failed\n", stdout);
      return 0;
    }
  }
  const uint8_t trailer = kTrailer;
  return message_send_all(browser, &trailer, 1);
}

}  // namespace kw
