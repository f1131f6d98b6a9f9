// TLS sessions over the socket layer; see tls_stream.h. A BIO of our own carries the records:
// it hands out the early bytes first, then receives with net_recv and sends with net_send_all.
#include "secure/tls_stream.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <mutex>

namespace kw {

namespace {

// What the BIO reads and writes: owned by the BIO, freed with it.
struct Source {
  Socket socket;
  std::string early;
  size_t early_pos = 0;
};

constexpr unsigned char kAlpnHttp11[] = {8, 'h', 't', 't', 'p', '/', '1', '.', '1'};

int source_read(BIO* bio, char* out, size_t n, size_t* got) {
  auto* source = static_cast<Source*>(BIO_get_data(bio));
  if (source->early_pos < source->early.size()) {
    const size_t piece = std::min(n, source->early.size() - source->early_pos);
    std::memcpy(out, source->early.data() + source->early_pos, piece);
    source->early_pos += piece;
    *got = piece;
    return 1;
  }
  const int limit = n > (1u << 30) ? 1 << 30 : static_cast<int>(n);
  const int received = net_recv(source->socket, out, limit);
  if (received <= 0) {
    if (received == 0) BIO_set_flags(bio, BIO_FLAGS_IN_EOF);
    return 0;
  }
  *got = static_cast<size_t>(received);
  return 1;
}

int source_write(BIO* bio, const char* data, size_t n, size_t* sent) {
  auto* source = static_cast<Source*>(BIO_get_data(bio));
  if (!net_send_all(source->socket, data, n)) return 0;
  *sent = n;
  return 1;
}

long source_ctrl(BIO* bio, int command, long, void*) {
  switch (command) {
    case BIO_CTRL_FLUSH:
      return 1;
    case BIO_CTRL_EOF:
      return BIO_test_flags(bio, BIO_FLAGS_IN_EOF) != 0 ? 1 : 0;
    default:
      return 0;
  }
}

int source_destroy(BIO* bio) {
  delete static_cast<Source*>(BIO_get_data(bio));
  BIO_set_data(bio, nullptr);
  return 1;
}

BIO_METHOD* source_method() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "kw socket");
    BIO_meth_set_read_ex(m, source_read);
    BIO_meth_set_write_ex(m, source_write);
    BIO_meth_set_ctrl(m, source_ctrl);
    BIO_meth_set_destroy(m, source_destroy);
    return m;
  }();
  return method;
}

int choose_http11(SSL*, const unsigned char** out, unsigned char* out_len, const unsigned char* in,
                  unsigned int in_len, void*) {
  unsigned char* chosen = nullptr;
  if (SSL_select_next_proto(&chosen, out_len, kAlpnHttp11, sizeof kAlpnHttp11, in, in_len) !=
      OPENSSL_NPN_NEGOTIATED) {
    return SSL_TLSEXT_ERR_NOACK;  // no ALPN in the answer: the browser falls back to HTTP/1.1
  }
  *out = chosen;
  return SSL_TLSEXT_ERR_OK;
}

// Both contexts are made once per run; the client's reads the trust store when it is made.
SSL_CTX* server_context() {
  static SSL_CTX* context = [] {
    SSL_CTX* c = SSL_CTX_new(TLS_server_method());
    if (c == nullptr) return c;
    SSL_CTX_set_min_proto_version(c, TLS1_2_VERSION);
    SSL_CTX_set_alpn_select_cb(c, choose_http11, nullptr);
    SSL_CTX_set_session_cache_mode(c, SSL_SESS_CACHE_OFF);
    SSL_CTX_set_num_tickets(c, 0);
    return c;
  }();
  return context;
}

SSL_CTX* client_context() {
  static SSL_CTX* context = [] {
    SSL_CTX* c = SSL_CTX_new(TLS_client_method());
    if (c == nullptr) return c;
    SSL_CTX_set_min_proto_version(c, TLS1_2_VERSION);
    SSL_CTX_set_verify(c, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_verify_paths(c);
    // Sites ending an HTTP/1.0 reply by closing without the close alert are common; the end of
    // such a body is the close, as it is without TLS.
    SSL_CTX_set_options(c, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_alpn_protos(c, kAlpnHttp11, sizeof kAlpnHttp11);
    return c;
  }();
  return context;
}

}  // namespace

std::string tls_failure_text(const char* fallback) {
  const unsigned long error = ERR_get_error();
  ERR_clear_error();
  if (error == 0) return fallback;
  const char* reason = ERR_reason_error_string(error);
  return reason != nullptr ? reason : fallback;
}

TlsStream::~TlsStream() = default;

bool TlsStream::start(SSL_CTX* context, Socket s, std::string_view early) {
  ERR_clear_error();
  if (context == nullptr) return false;
  ssl_.reset(SSL_new(context));
  BIO* bio = BIO_new(source_method());
  if (!ssl_ || bio == nullptr) {
    BIO_free(bio);
    return false;
  }
  BIO_set_data(bio, new Source{s, std::string(early)});
  BIO_set_init(bio, 1);
  SSL_set_bio(ssl_.get(), bio, bio);
  return true;
}

bool TlsStream::accept(Socket s, X509* leaf, EVP_PKEY* key, std::string_view early,
                       std::string* reason) {
  if (!start(server_context(), s, early) || SSL_use_certificate(ssl_.get(), leaf) != 1 ||
      SSL_use_PrivateKey(ssl_.get(), key) != 1) {
    *reason = tls_failure_text("no TLS session could be set up");
    return false;
  }
  if (SSL_accept(ssl_.get()) == 1) return true;
  *reason = tls_failure_text("the browser closed the connection during the handshake");
  return false;
}

bool TlsStream::connect(Socket s, const char* host, std::string_view early, std::string* reason) {
  if (!start(client_context(), s, early)) {
    *reason = tls_failure_text("no TLS session could be set up");
    return false;
  }
  SSL* ssl = ssl_.get();
  // SNI carries names only; SSL_set1_host checks a numeric host as an IP address.
  ASN1_OCTET_STRING* address = a2i_IPADDRESS(host);
  const bool numeric = address != nullptr;
  ASN1_OCTET_STRING_free(address);
  if (!numeric) SSL_set_tlsext_host_name(ssl, host);
  if (SSL_set1_host(ssl, host) != 1) {
    *reason = "the host name cannot be checked";
    return false;
  }
  if (SSL_connect(ssl) == 1) return true;
  const long verified = SSL_get_verify_result(ssl);
  if (verified != X509_V_OK) {
    ERR_clear_error();
    *reason = X509_verify_cert_error_string(verified);
  } else {
    *reason = tls_failure_text("the site closed the connection during the handshake");
  }
  return false;
}

int TlsStream::recv(void* data, int n) {
  size_t got = 0;
  if (SSL_read_ex(ssl_.get(), data, static_cast<size_t>(n), &got) == 1) {
    return static_cast<int>(got);
  }
  const int error = SSL_get_error(ssl_.get(), 0);
  ERR_clear_error();
  return error == SSL_ERROR_ZERO_RETURN ? 0 : -1;
}

int TlsStream::send_all(const void* data, size_t n) {
  if (n == 0) return 1;
  size_t sent = 0;
  const int ok = SSL_write_ex(ssl_.get(), data, n, &sent);
  if (ok != 1) ERR_clear_error();
  return ok == 1 && sent == n ? 1 : 0;
}

void TlsStream::send_close_alert() {
  if (ssl_) SSL_shutdown(ssl_.get());
  ERR_clear_error();
}

}  // namespace kw
