// Certificates for the hosts whose tunnels are inspected, signed by the user's authority: the
// host name (or the IP address of a numeric host) as subjectAltName, valid for a year, all on
// one EC P-256 key pair made with the cache. Made on first use and kept per host, at most
// kLeafCacheHosts of them (the oldest goes first). Any connection thread may ask.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "secure/authority.h"

namespace kw {

inline constexpr size_t kLeafCacheHosts = 1000;

class LeafCertificates {
 public:
  // Takes over the authority. key() is null when the leaf key pair could not be made.
  explicit LeafCertificates(Authority authority);
  LeafCertificates(const LeafCertificates&) = delete;
  LeafCertificates& operator=(const LeafCertificates&) = delete;

  // The certificate for host (the caller owns the returned reference), or null for a host that
  // is no DNS name or IPv4 address, or when signing failed.
  CertHandle for_host(std::string_view host);
  EVP_PKEY* key() const { return key_.get(); }
  X509* authority_certificate() const { return authority_.cert.get(); }
  size_t cached() const;

 private:
  CertHandle make(const std::string& host) const;

  Authority authority_;
  KeyHandle key_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, CertHandle> by_host_;  // guarded by mutex_
  std::deque<std::string> order_;                        // oldest first; guarded by mutex_
};

}  // namespace kw
