// Leaf certificates; see leaf_certificates.h. The host comes from the browser's CONNECT line,
// so it goes into the certificate as a name record built here, never through a text that
// OpenSSL would parse for further entries.
#include "secure/leaf_certificates.h"

#include <openssl/x509v3.h>

#include <cctype>

namespace kw {
namespace {

constexpr long kLeafDays = 365;

// Letters, digits, '-', '_' and '.' only, at most 253 characters: a name a certificate can hold.
bool is_dns_name(const std::string& host) {
  if (host.empty() || host.size() > 253) return false;
  for (char c : host) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') {
      return false;
    }
  }
  return true;
}

bool add_subject_alt_name(X509* cert, const std::string& host) {
  GENERAL_NAME* name = nullptr;
  if (ASN1_OCTET_STRING* ip = a2i_IPADDRESS(host.c_str())) {
    name = GENERAL_NAME_new();
    if (name != nullptr) {
      GENERAL_NAME_set0_value(name, GEN_IPADD, ip);
    } else {
      ASN1_OCTET_STRING_free(ip);
    }
  } else if (is_dns_name(host)) {
    ASN1_IA5STRING* dns = ASN1_IA5STRING_new();
    if (dns != nullptr && ASN1_STRING_set(dns, host.data(), static_cast<int>(host.size()))) {
      name = GENERAL_NAME_new();
    }
    if (name != nullptr) {
      GENERAL_NAME_set0_value(name, GEN_DNS, dns);
    } else {
      ASN1_IA5STRING_free(dns);
    }
  }
  if (name == nullptr) return false;
  GENERAL_NAMES* names = sk_GENERAL_NAME_new_null();
  bool ok = names != nullptr && sk_GENERAL_NAME_push(names, name) > 0;
  if (!ok) GENERAL_NAME_free(name);
  ok = ok && X509_add1_ext_i2d(cert, NID_subject_alt_name, names, 0, X509V3_ADD_DEFAULT) == 1;
  GENERAL_NAMES_free(names);
  return ok;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

LeafCertificates::LeafCertificates(Authority authority)
    : authority_(std::move(authority)), key_(make_ec_key()) {}

CertHandle LeafCertificates::make(const std::string& host) const {
  if (!key_) return nullptr;
  CertHandle cert = new_certificate(key_.get(), kLeafDays);
  X509* c = cert.get();
  if (c == nullptr || !add_subject_alt_name(c, host)) return nullptr;
  X509_NAME* subject = X509_get_subject_name(c);
  // The common name is only for people reading the certificate; longer names live in the
  // subjectAltName alone.
  if (host.size() <= 64 &&
      !X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                                  reinterpret_cast<const unsigned char*>(host.c_str()), -1, -1,
                                  0)) {
    return nullptr;
  }
  X509* issuer = authority_.cert.get();
  if (!X509_set_issuer_name(c, X509_get_subject_name(issuer)) ||
      !add_extension(c, issuer, NID_basic_constraints, "critical,CA:FALSE") ||
      !add_extension(c, issuer, NID_key_usage, "critical,digitalSignature") ||
      !add_extension(c, issuer, NID_ext_key_usage, "serverAuth") ||
      !add_extension(c, issuer, NID_subject_key_identifier, "hash") ||
      !add_extension(c, issuer, NID_authority_key_identifier, "keyid:always") ||
      X509_sign(c, authority_.key.get(), EVP_sha256()) <= 0) {
    return nullptr;
  }
  return cert;
}

CertHandle LeafCertificates::for_host(std::string_view host_name) {
  const std::string host = lower(host_name);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = by_host_.find(host);
    if (found != by_host_.end()) {
      X509_up_ref(found->second.get());
      return CertHandle(found->second.get());
    }
  }
  // Made outside the lock: signing is the slow part, and two threads making the same host's
  // certificate at once only means one of them is dropped.
  CertHandle made = make(host);
  if (!made) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  auto [slot, fresh] = by_host_.try_emplace(host);
  if (fresh) {
    slot->second = std::move(made);
    order_.push_back(host);
    if (order_.size() > kLeafCacheHosts) {
      by_host_.erase(order_.front());
      order_.pop_front();
    }
  }
  X509_up_ref(slot->second.get());
  return CertHandle(slot->second.get());
}

size_t LeafCertificates::cached() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return by_host_.size();
}

}  // namespace kw
