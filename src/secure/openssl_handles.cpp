// Key pairs and certificate skeletons shared by the authority and the leaf certificates.
#include "secure/openssl_handles.h"

#include <openssl/rand.h>
#include <openssl/x509v3.h>

namespace kw {

KeyHandle make_ec_key() { return KeyHandle(EVP_EC_gen("P-256")); }

CertHandle new_certificate(EVP_PKEY* key, long days) {
  CertHandle cert(X509_new());
  unsigned char serial[16];
  if (!cert || RAND_bytes(serial, sizeof serial) != 1) return nullptr;
  serial[0] &= 0x7F;  // a positive number
  BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
  bool ok = number != nullptr && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert.get())) &&
            X509_set_version(cert.get(), X509_VERSION_3) &&
            X509_gmtime_adj(X509_getm_notBefore(cert.get()), -24L * 3600) &&
            X509_gmtime_adj(X509_getm_notAfter(cert.get()), days * 24L * 3600) &&
            X509_set_pubkey(cert.get(), key);
  BN_free(number);
  return ok ? std::move(cert) : nullptr;
}

bool add_extension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (ext == nullptr) return false;
  const bool added = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return added;
}

}  // namespace kw
