// The GIF freezer: passes an animated GIF89a image on as its first frame only. Called on the
// connection thread after the reply head went out (without a Content-length); the server
// message's buffer may already hold the first bytes of the image.
#pragma once

#include "http/http_message.h"

namespace kw {

// 1 when the image (or the unchanged stream) reached the browser, 0 when reading from the
// server or sending to the browser failed.
int freeze_gif(HttpMessage* server, HttpMessage* browser);

}  // namespace kw
