// GIF freezer. Images are not rewritten yet: the body is relayed unchanged.
#include "engine/gif_freezer.h"

namespace kw {

int freeze_gif(HttpMessage* server, HttpMessage* browser) {
  return relay_to_end(server, browser) > 0 ? 1 : 0;
}

}  // namespace kw
