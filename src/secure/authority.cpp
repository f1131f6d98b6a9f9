// Making, loading and exporting the user's authority; see authority.h.
#include "secure/authority.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace kw {
namespace {

constexpr long kAuthorityDays = 3650;
constexpr char kKeyFile[] = "/ca.key";
constexpr char kCertFile[] = "/ca.crt";

bool exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

// Creates the folder and its missing parents, each with mode 0700.
bool make_folders(const std::string& directory) {
  for (size_t slash = 1; slash != std::string::npos;) {
    slash = directory.find('/', slash + 1);
    const std::string part = directory.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// Writes PEM text to a new file (O_EXCL: an existing file is never touched).
bool write_new_file(const std::string& path, const std::string& text, mode_t mode) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    p += n;
    left -= static_cast<size_t>(n);
  }
  const bool synced = left == 0 && fsync(fd) == 0;
  return close(fd) == 0 && synced;
}

std::string bio_text(BIO* bio) {
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio, &data);
  return std::string(data, static_cast<size_t>(n > 0 ? n : 0));
}

std::string key_pem(EVP_PKEY* key) {
  BioHandle bio(BIO_new(BIO_s_mem()));
  if (!bio || !PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr)) {
    return "";
  }
  return bio_text(bio.get());
}

std::string cert_pem(X509* cert) {
  BioHandle bio(BIO_new(BIO_s_mem()));
  if (!bio || !PEM_write_bio_X509(bio.get(), cert)) return "";
  return bio_text(bio.get());
}

// "Kestrelwick CA on <host> <YYYY-MM-DD>": which machine made it and when, so that a user who
// finds it among the browser's authorities knows where it came from.
std::string authority_name() {
  char host[256] = "this machine";
  gethostname(host, sizeof host - 1);
  host[sizeof host - 1] = '\0';
  char date[16];
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::strftime(date, sizeof date, "%Y-%m-%d", &utc);
  std::string name = std::string("Kestrelwick CA on ") + host + " " + date;
  return name.substr(0, 64);  // the longest common name a certificate may hold
}

bool make_authority(Authority* out) {
  out->key = make_ec_key();
  if (!out->key) return false;
  out->cert = new_certificate(out->key.get(), kAuthorityDays);
  X509* cert = out->cert.get();
  if (cert == nullptr) return false;
  X509_NAME* name = X509_get_subject_name(cert);
  const std::string common = authority_name();
  auto text = [](const char* s) { return reinterpret_cast<const unsigned char*>(s); };
  if (!X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, text("Kestrelwick"), -1, -1, 0) ||
      !X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, text(common.c_str()), -1, -1, 0) ||
      !X509_set_issuer_name(cert, name)) {
    return false;
  }
  return add_extension(cert, cert, NID_basic_constraints, "critical,CA:TRUE") &&
         add_extension(cert, cert, NID_key_usage, "critical,keyCertSign,cRLSign") &&
         add_extension(cert, cert, NID_subject_key_identifier, "hash") &&
         X509_sign(cert, out->key.get(), EVP_sha256()) > 0;
}

bool create(const std::string& directory, Authority* out, std::string* error) {
  const std::string key_path = directory + kKeyFile;
  if (!make_folders(directory)) {
    *error = "Cannot make the folder " + directory + ": " + std::strerror(errno);
    return false;
  }
  if (!make_authority(out)) {
    *error = "Cannot make a certificate authority";
    return false;
  }
  if (!write_new_file(key_path, key_pem(out->key.get()), 0600)) {
    *error = "Cannot write " + key_path + ": " + std::strerror(errno);
    return false;
  }
  if (!write_new_file(directory + kCertFile, cert_pem(out->cert.get()), 0644)) {
    *error = "Cannot write " + directory + kCertFile + ": " + std::strerror(errno);
    unlink(key_path.c_str());  // this call's own key, useless without its certificate
    return false;
  }
  return true;
}

// Reads one PEM file into a BIO; *error names the file and the reason on failure.
BioHandle open_pem(const std::string& path, std::string* error) {
  std::FILE* probe = std::fopen(path.c_str(), "r");
  if (probe == nullptr) {
    *error = "Cannot read " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  std::fclose(probe);
  BioHandle bio(BIO_new_file(path.c_str(), "r"));
  if (!bio) *error = "Cannot read " + path;
  return bio;
}

bool load(const std::string& directory, Authority* out, std::string* error) {
  const std::string key_path = directory + kKeyFile;
  const std::string cert_path = directory + kCertFile;
  for (const std::string* path : {&cert_path, &key_path}) {
    if (!exists(*path)) {
      *error = *path + " is missing; the other file of the authority is still there";
      return false;
    }
  }
  BioHandle cert_bio = open_pem(cert_path, error);
  if (!cert_bio) return false;
  out->cert.reset(PEM_read_bio_X509(cert_bio.get(), nullptr, nullptr, nullptr));
  if (!out->cert) {
    *error = cert_path + " is not a PEM certificate";
    return false;
  }
  BioHandle key_bio = open_pem(key_path, error);
  if (!key_bio) return false;
  out->key.reset(PEM_read_bio_PrivateKey(key_bio.get(), nullptr, nullptr, nullptr));
  if (!out->key) {
    *error = key_path + " is not a PEM private key";
    return false;
  }
  if (X509_check_private_key(out->cert.get(), out->key.get()) != 1) {
    *error = key_path + " does not belong to " + cert_path;
    return false;
  }
  if (X509_check_ca(out->cert.get()) == 0) {
    *error = cert_path + " is not a certificate authority";
    return false;
  }
  return true;
}

}  // namespace

std::string authority_directory() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/kestrelwick";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.config/kestrelwick";
  return "";
}

bool load_or_make_authority(const std::string& directory, Authority* out, std::string* error) {
  *out = Authority{};
  if (directory.empty()) {
    *error = "No folder for the certificate authority (neither XDG_CONFIG_HOME nor HOME is set)";
    return false;
  }
  const bool ok = !exists(directory + kKeyFile) && !exists(directory + kCertFile)
                      ? create(directory, out, error)
                      : load(directory, out, error);
  if (!ok) *out = Authority{};
  return ok;
}

bool export_authority_certificate(const Authority& authority, const std::string& path,
                                  std::string* error) {
  const std::string pem = cert_pem(authority.cert.get());
  std::FILE* file = std::fopen(path.c_str(), "w");
  bool ok = file != nullptr && !pem.empty() && std::fwrite(pem.data(), 1, pem.size(), file) == pem.size();
  if (file != nullptr && std::fclose(file) != 0) ok = false;
  if (!ok) *error = "Cannot write " + path + ": " + std::strerror(errno);
  return ok;
}

std::string certificate_fingerprint(X509* cert) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (cert == nullptr || X509_digest(cert, EVP_sha256(), digest, &n) != 1) return "";
  std::string hex;
  char pair[3];
  for (unsigned int i = 0; i < n; ++i) {
    std::snprintf(pair, sizeof pair, "%02X", digest[i]);
    hex += pair;
  }
  return hex;
}

}  // namespace kw
