// What the engine needs to inspect secure tunnels this run: the leaf certificates of the user's
// authority (none while the authority could not be loaded, so tunnels then pass through as
// when inspection is off), and the hosts whose tunnels are never inspected.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "secure/leaf_certificates.h"

namespace kw {

// Loads the authority from authority_directory() afresh, making it the first time. On failure
// the status line and the log say why (and inspection stays off until a later load works);
// nothing on disk is changed. Called when a configuration with inspection switched on was
// loaded, on the thread that loads configurations.
bool prepare_inspection();
// The leaf certificates in use, or null when no authority is loaded. Any thread.
std::shared_ptr<LeafCertificates> inspection_leaves();
// Writes the certificate of the loaded authority (loading it first when none is) to path.
bool export_inspection_certificate(const std::string& path, std::string* error);

// The pass-through hosts: "name" or "*.name" (the subdomains of name). Read by connection
// threads without a lock, so it is changed only under the connection lock while no connection
// is active (as the configuration reader replaces its lists).
std::vector<std::string>& pass_through_hosts();
// True when host (any case) is one of the pass-through hosts or a subdomain of a "*." entry.
bool is_passed_through(std::string_view host);

}  // namespace kw
