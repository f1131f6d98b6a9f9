// One TLS session over a connected socket of the socket layer, as a ByteStream. The bytes move
// through net_recv and net_send_all, so a session ends like any connection when every socket is
// shut down (Abort), and no send can raise SIGPIPE. Bytes that were read from the socket before
// the session began (`early`) are the first the handshake reads. Lives on its connection thread.
#pragma once

#include <string>
#include <string_view>

#include "platform/byte_stream.h"
#include "secure/openssl_handles.h"

namespace kw {

class TlsStream final : public ByteStream {
 public:
  TlsStream() = default;
  ~TlsStream();
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  // The browser's side: a handshake as the server with the leaf certificate and key, offering
  // only http/1.1 in ALPN. False with *reason when the browser broke it off.
  bool accept(Socket s, X509* leaf, EVP_PKEY* key, std::string_view early, std::string* reason);
  // The site's side: a handshake as the client with the host in SNI (unless it is numeric),
  // TLS 1.2 at least, and the site's chain checked against OpenSSL's default trust store
  // (SSL_CERT_FILE and SSL_CERT_DIR select another) and the host name. False with *reason
  // (the check that failed, or what went wrong in the handshake).
  bool connect(Socket s, const char* host, std::string_view early, std::string* reason);

  int recv(void* data, int n) override;
  int send_all(const void* data, size_t n) override;
  // Sends the close alert, so the peer can tell the end of the data from a cut connection.
  void send_close_alert();

 private:
  bool start(SSL_CTX* context, Socket s, std::string_view early);

  SslHandle ssl_;
};

// Why the last handshake on this thread failed, from OpenSSL's error queue (which it clears).
std::string tls_failure_text(const char* fallback);

}  // namespace kw
