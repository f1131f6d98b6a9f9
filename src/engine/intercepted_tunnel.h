// Inspected tunnels: a CONNECT whose host is not passed through, while inspection is on and the
// user's authority is loaded, is opened as usual, and then the proxy ends the browser's TLS
// with a certificate made for the host and speaks TLS to the site itself, checking the site's
// certificate. The one request inside is handled like a plain request (header and page
// filters, GIF freezing, its log block with the URL https://host/path) and the connection
// closes after the reply. A site that fails the check gets the browser the 502 error page
// naming the host and the reason. Runs on the connection thread.
#pragma once

#include <memory>

#include "engine/connection.h"
#include "secure/interception.h"

namespace kw {

// The leaf certificates to inspect the tunnel c->request names with, or null when it passes
// through untouched (inspection off, Bypass, a pass-through host, no authority loaded).
std::shared_ptr<LeafCertificates> leaves_for_tunnel(const Connection* c);

// Serves the inspected tunnel once "200 Connection established" went to the browser and the
// server socket reaches the site (directly or through the remote proxy's tunnel).
void serve_inspected(Connection* c, LeafCertificates* leaves);

}  // namespace kw
