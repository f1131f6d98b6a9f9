// Owning handles for the OpenSSL objects this floor keeps, freed with their own free functions.
#pragma once

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <memory>

namespace kw {

struct OpenSslFree {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
  void operator()(X509* p) const { X509_free(p); }
  void operator()(SSL* p) const { SSL_free(p); }
  void operator()(SSL_CTX* p) const { SSL_CTX_free(p); }
  void operator()(BIO* p) const { BIO_free_all(p); }
};
using KeyHandle = std::unique_ptr<EVP_PKEY, OpenSslFree>;
using CertHandle = std::unique_ptr<X509, OpenSslFree>;
using SslHandle = std::unique_ptr<SSL, OpenSslFree>;
using SslContextHandle = std::unique_ptr<SSL_CTX, OpenSslFree>;
using BioHandle = std::unique_ptr<BIO, OpenSslFree>;

// A new EC P-256 key pair, or null.
KeyHandle make_ec_key();
// A new certificate with version 3, a random 128-bit serial, the public key and a validity from
// a day before now (clocks disagree) to `days` from now. Null on failure.
CertHandle new_certificate(EVP_PKEY* key, long days);
// Adds an extension given in OpenSSL's configuration syntax (constant texts only, never
// anything from the network). False on failure.
bool add_extension(X509* cert, X509* issuer, int nid, const char* value);

}  // namespace kw
