// The run's inspection state; see interception.h.
#include "secure/interception.h"

#include <cctype>
#include <mutex>

#include "report/frontend.h"

namespace kw {
namespace {

std::mutex leaves_mutex;
std::shared_ptr<LeafCertificates> leaves;  // guarded by leaves_mutex

void install(std::shared_ptr<LeafCertificates> next) {
  std::lock_guard<std::mutex> lock(leaves_mutex);
  leaves = std::move(next);
}

bool ends_with_ignoring_case(std::string_view text, std::string_view end) {
  if (end.size() > text.size()) return false;
  text.remove_prefix(text.size() - end.size());
  for (size_t i = 0; i < end.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(end[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool prepare_inspection() {
  Authority authority;
  std::string error;
  if (!load_or_make_authority(authority_directory(), &authority, &error)) {
    install(nullptr);
    set_status_textf(kRed, "Secure pages are not inspected: %s", error.c_str());
    add_log_linef("RSecure pages are not inspected: %s", error.c_str());
    return false;
  }
  auto made = std::make_shared<LeafCertificates>(std::move(authority));
  if (made->key() == nullptr) {
    install(nullptr);
    add_log_line("RSecure pages are not inspected: no key pair for the site certificates");
    return false;
  }
  install(std::move(made));
  return true;
}

std::shared_ptr<LeafCertificates> inspection_leaves() {
  std::lock_guard<std::mutex> lock(leaves_mutex);
  return leaves;
}

bool export_inspection_certificate(const std::string& path, std::string* error) {
  std::shared_ptr<LeafCertificates> current = inspection_leaves();
  Authority authority;
  if (current == nullptr &&
      !load_or_make_authority(authority_directory(), &authority, error)) {
    return false;
  }
  if (current != nullptr) {
    X509_up_ref(current->authority_certificate());
    authority.cert.reset(current->authority_certificate());
  }
  return export_authority_certificate(authority, path, error);
}

std::vector<std::string>& pass_through_hosts() {
  static std::vector<std::string> hosts;
  return hosts;
}

bool is_passed_through(std::string_view host) {
  for (const std::string& entry : pass_through_hosts()) {
    std::string_view listed = entry;
    if (listed.substr(0, 2) == "*.") {
      listed.remove_prefix(1);  // ".name": a subdomain has at least one label before it
      if (host.size() > listed.size() && ends_with_ignoring_case(host, listed)) return true;
    } else if (host.size() == listed.size() && ends_with_ignoring_case(host, listed)) {
      return true;
    }
  }
  return false;
}

}  // namespace kw
