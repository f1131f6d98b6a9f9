// The user's own certificate authority: a key pair and a self-signed CA certificate made on this
// machine the first time inspection is switched on, kept as ca.key and ca.crt in the user's
// configuration folder. The key file is made with mode 0600 and never overwritten; nothing here
// ever deletes or rewrites a file that was there before. Called on the thread that loads
// configurations (and by tests).
#pragma once

#include <string>

#include "secure/openssl_handles.h"

namespace kw {

struct Authority {
  KeyHandle key;
  CertHandle cert;
};

// $XDG_CONFIG_HOME/kestrelwick when that is set and absolute, else $HOME/.config/kestrelwick.
// Empty when neither can be found.
std::string authority_directory();

// The authority stored in `directory`: made there (folder, key, then certificate) when neither
// file exists, else loaded and checked (both readable PEM, the key the certificate's own). On
// failure *error says what is wrong in a sentence for the user, and the files stay as they were
// (a key made by this call whose certificate could not be written is removed again).
bool load_or_make_authority(const std::string& directory, Authority* out, std::string* error);

// Writes the authority's certificate (never its key) as PEM to path, replacing that file.
bool export_authority_certificate(const Authority& authority, const std::string& path,
                                  std::string* error);

// The SHA-256 fingerprint of a certificate in hex, for messages and comparisons.
std::string certificate_fingerprint(X509* cert);

}  // namespace kw
